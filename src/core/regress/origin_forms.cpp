#include "origin_forms.hpp"

#include <cstddef>

namespace zyl::regress {
namespace {

struct Range {
    std::size_t first, last;  // [first, last)
};

// The two operands of the binary operation that ends terms [0, end): the
// right one is the subtree just before the operation.
std::optional<std::pair<Range, Range>> operands(const Formula& f, std::size_t end) {
    if (end < 3) return std::nullopt;
    std::size_t need = 1;
    std::size_t i = end - 1;
    while (need > 0) {
        if (i == 0) return std::nullopt;
        --i;
        const Term& t = f[i];
        need = t.kind == Kind::Op ? need + arity(t.fn) - 1 : need - 1;
    }
    if (i == 0) return std::nullopt;
    return std::pair<Range, Range>{{0, i}, {i, end - 1}};
}

bool single_constant(const Formula& f, Range r) { return r.last - r.first == 1 && f[r.first].kind == Kind::Const; }

Formula slice(const Formula& f, Range r) { return Formula(f.begin() + static_cast<std::ptrdiff_t>(r.first),
                                                          f.begin() + static_cast<std::ptrdiff_t>(r.last)); }

void append(Formula& to, const Formula& from) { to.insert(to.end(), from.begin(), from.end()); }

// g for a sum or difference of g and one constant (in either order for a
// sum, g first or second for a difference).
std::optional<Formula> other_than_constant(const Formula& f, Range left, Range right) {
    if (single_constant(f, right) && !single_constant(f, left)) return slice(f, left);
    if (single_constant(f, left) && !single_constant(f, right)) return slice(f, right);
    return std::nullopt;
}

}  // namespace

std::optional<Formula> through_origin(const Formula& s) {
    if (s.size() < 4 || s.back().kind != Kind::Op) return std::nullopt;
    const Fn last = s.back().fn;
    if (last == Fn::Inv) {
        const Term& sum = s[s.size() - 2];
        if (sum.kind != Kind::Op || (sum.fn != Fn::Add && sum.fn != Fn::Sub)) return std::nullopt;
        auto parts = operands(s, s.size() - 1);
        if (!parts) return std::nullopt;
        auto g = other_than_constant(s, parts->first, parts->second);
        if (!g) return std::nullopt;
        Formula out = *g;
        append(out, slice(s, {0, s.size() - 1}));
        out.push_back(Term::operation(Fn::Div));
        return out;
    }
    if (last == Fn::Exp) {
        const Term& product = s[s.size() - 2];
        if (product.kind != Kind::Op || product.fn != Fn::Mul) return std::nullopt;
        auto parts = operands(s, s.size() - 1);
        if (!parts || !other_than_constant(s, parts->first, parts->second)) return std::nullopt;
        Formula out{Term::exact_constant({1, 1, Basis::One}, false)};
        append(out, s);
        out.push_back(Term::operation(Fn::Sub));
        return out;
    }
    return std::nullopt;
}

}  // namespace zyl::regress
