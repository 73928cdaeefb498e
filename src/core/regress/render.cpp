#include "render.hpp"

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string_view>
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

// The text is written in one pass over a tree of the terms: building it
// piece by piece, each operation copying its operands' text, would cost the
// square of the term count for a deeply nested formula.
struct Node {
    const Term* term;
    std::uint32_t a = 0, b = 0;  // operand nodes of an operation
    int strength = kAtom;
};

int unary_strength(Fn f) {
    switch (f) {
        case Fn::Neg: return kNegative;
        case Fn::Inv: return kProduct;
        case Fn::Square: return kPower;
        default: return kAtom;
    }
}

int binary_strength(Fn f) {
    if (f == Fn::Zyl) return kAtom;
    return f == Fn::Add || f == Fn::Sub ? kSum : kProduct;
}

// What is still to be written: literal text, or a node (in parentheses or
// not).
struct Pending {
    std::string_view text;
    std::uint32_t node;
    bool is_node;
    bool paren;
};

Pending literal(std::string_view text) { return {text, 0, false, false}; }
Pending operand(std::uint32_t node, bool paren) { return {{}, node, true, paren}; }

class Writer {
public:
    Writer(const std::vector<Node>& nodes, std::span<const std::string> names) : nodes_(nodes), names_(names) {}

    std::string write(std::uint32_t root) {
        std::string out;
        todo_.push_back(operand(root, false));
        while (!todo_.empty()) {
            const Pending p = todo_.back();
            todo_.pop_back();
            if (!p.is_node) out += p.text;
            else if (p.paren) later({literal("("), operand(p.node, false), literal(")")});
            else expand(p.node, out);
        }
        return out;
    }

private:
    // Queues parts to be written in the order given.
    void later(std::initializer_list<Pending> parts) {
        for (auto it = std::rbegin(parts); it != std::rend(parts); ++it) todo_.push_back(*it);
    }

    void expand(std::uint32_t i, std::string& out) {
        const Node& n = nodes_[i];
        const Term& t = *n.term;
        if (t.kind == Kind::Var) {
            out += t.var < names_.size() ? names_[t.var] : "x" + std::to_string(t.var);
            return;
        }
        if (t.kind == Kind::Const) {
            out += constant_piece(t).text;
            return;
        }
        const int sa = nodes_[n.a].strength;
        switch (t.fn) {
            case Fn::Neg: return later({literal("-"), operand(n.a, sa < kNegative)});
            case Fn::Inv: return later({literal("1/"), operand(n.a, sa < kPower)});
            case Fn::Square: return later({operand(n.a, sa < kAtom), literal("**2")});
            case Fn::Zyl:
                return later({literal("zyl("), operand(n.a, false), literal(", "), operand(n.b, false), literal(")")});
            case Fn::Add:
            case Fn::Sub:
            case Fn::Mul:
            case Fn::Div: {
                const int sb = nodes_[n.b].strength;
                const bool ordered = t.fn == Fn::Sub || t.fn == Fn::Div;
                const bool right_paren = sb < n.strength || (ordered && sb == n.strength) || sb == kNegative;
                const char* sep = t.fn == Fn::Add ? " + " : t.fn == Fn::Sub ? " - " : t.fn == Fn::Mul ? "*" : "/";
                return later({operand(n.a, sa < n.strength), literal(sep), operand(n.b, right_paren)});
            }
            default:
                out += fn_name(t.fn);
                return later({literal("("), operand(n.a, false), literal(")")});
        }
    }

    const std::vector<Node>& nodes_;
    std::span<const std::string> names_;
    std::vector<Pending> todo_;
};

}  // namespace

std::string to_text(const Formula& f, std::span<const std::string> names) {
    std::vector<Node> nodes;
    std::vector<std::uint32_t> stack;
    nodes.reserve(f.size());
    for (const Term& t : f) {
        Node n{&t};
        switch (t.kind) {
            case Kind::Var:
                break;
            case Kind::Const:
                n.strength = constant_piece(t).strength;
                break;
            case Kind::Op:
                if (static_cast<std::uint8_t>(t.fn) >= kFnCount || stack.size() < arity(t.fn)) return "?";
                if (arity(t.fn) == 2) {
                    n.b = stack.back();
                    stack.pop_back();
                    n.strength = binary_strength(t.fn);
                } else {
                    n.strength = unary_strength(t.fn);
                }
                n.a = stack.back();
                stack.pop_back();
                break;
            default:
                return "?";
        }
        stack.push_back(static_cast<std::uint32_t>(nodes.size()));
        nodes.push_back(n);
    }
    if (stack.size() != 1) return "?";
    return Writer(nodes, names).write(stack.back());
}

}  // namespace zyl::regress
