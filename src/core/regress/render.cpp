#include "render.hpp"

#include <vector>

#include "format/number_format.hpp"

namespace zyl::regress {
namespace {

// Binding strength of a piece of text: what it may stand next to without
// parentheses.
enum Strength : int { kSum = 1, kProduct = 2, kNegative = 3, kPower = 4, kAtom = 5 };

struct Piece {
    std::string text;
    int strength;
};

Piece basis_piece(Basis b) {
    return {std::string(basis_name(b)), b == Basis::PiSquared ? kPower : kAtom};
}

Piece exact_piece(const Exact& x) {
    const int p = x.p < 0 ? -x.p : x.p;
    Piece out;
    if (x.basis == Basis::One) {
        out.text = std::to_string(p);
        out.strength = kAtom;
    } else {
        Piece b = basis_piece(x.basis);
        out = p == 1 ? b : Piece{std::to_string(p) + "*" + b.text, kProduct};
    }
    if (x.q != 1) {
        out.text += "/" + std::to_string(x.q);
        out.strength = kProduct;
    }
    if (x.p < 0) out = {"-" + out.text, kNegative};
    return out;
}

Piece constant_piece(const Term& t) {
    if (t.has_exact) return exact_piece(t.exact);
    std::string text = format_shortest(t.value);
    const int strength = !text.empty() && text[0] == '-' ? kNegative : kAtom;
    return {std::move(text), strength};
}

std::string wrapped(const Piece& p, bool paren) { return paren ? "(" + p.text + ")" : p.text; }

Piece unary_piece(Fn f, const Piece& a) {
    switch (f) {
        case Fn::Neg: return {"-" + wrapped(a, a.strength < kNegative), kNegative};
        case Fn::Inv: return {"1/" + wrapped(a, a.strength < kPower), kProduct};
        case Fn::Square: return {wrapped(a, a.strength < kAtom) + "**2", kPower};
        default: return {std::string(fn_name(f)) + "(" + a.text + ")", kAtom};
    }
}

Piece binary_piece(Fn f, const Piece& a, const Piece& b) {
    if (f == Fn::Zyl) return {"zyl(" + a.text + ", " + b.text + ")", kAtom};
    const bool sum = f == Fn::Add || f == Fn::Sub;
    const int strength = sum ? kSum : kProduct;
    const bool ordered = f == Fn::Sub || f == Fn::Div;
    const bool left_paren = a.strength < strength;
    const bool right_paren = b.strength < strength || (ordered && b.strength == strength) || b.strength == kNegative;
    const char* sep = f == Fn::Add ? " + " : f == Fn::Sub ? " - " : f == Fn::Mul ? "*" : "/";
    return {wrapped(a, left_paren) + sep + wrapped(b, right_paren), strength};
}

}  // namespace

std::string to_text(const Formula& f, std::span<const std::string> names) {
    std::vector<Piece> stack;
    for (const Term& t : f) {
        switch (t.kind) {
            case Kind::Var:
                stack.push_back({t.var < names.size() ? names[t.var] : "x" + std::to_string(t.var), kAtom});
                break;
            case Kind::Const:
                stack.push_back(constant_piece(t));
                break;
            case Kind::Op: {
                if (static_cast<std::uint8_t>(t.fn) >= kFnCount || stack.size() < arity(t.fn)) return "?";
                if (arity(t.fn) == 1) {
                    stack.back() = unary_piece(t.fn, stack.back());
                } else {
                    Piece b = std::move(stack.back());
                    stack.pop_back();
                    stack.back() = binary_piece(t.fn, stack.back(), b);
                }
                break;
            }
            default:
                return "?";
        }
    }
    if (stack.size() != 1) return "?";
    return stack.back().text;
}

}  // namespace zyl::regress
