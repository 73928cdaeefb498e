#include "dimensions.hpp"

#include <numeric>

namespace zyl::regress {
namespace {

// Exponents stay far inside this bound for any formula of kMaxTerms terms
// built from physical units; beyond it a ratio is refused, never wrapped.
// Cross products of two bounded ratios and their sums fit in 64 bits.
constexpr std::int64_t kRatioLimit = std::int64_t{1} << 30;

std::optional<Ratio> reduced(std::int64_t p, std::int64_t q) {
    if (q < 0) {
        p = -p;
        q = -q;
    }
    const std::int64_t g = std::gcd(p, q);
    if (g > 1) {
        p /= g;
        q /= g;
    }
    if (p > kRatioLimit || p < -kRatioLimit || q > kRatioLimit) return std::nullopt;
    return Ratio{p, q};
}

// Element-wise a + sign * b, or a * r when b is null.
std::optional<Dimension> each(const Dimension& a, const Dimension* b, std::int64_t sign, Ratio r) {
    Dimension out;
    for (std::size_t k = 0; k < kBaseUnits; ++k) {
        const Ratio& x = a.exponent[k];
        std::optional<Ratio> v = b ? reduced(x.p * b->exponent[k].q + sign * b->exponent[k].p * x.q,
                                             x.q * b->exponent[k].q)
                                   : reduced(x.p * r.p, x.q * r.q);
        if (!v) return std::nullopt;
        out.exponent[k] = *v;
    }
    return out;
}

std::optional<Dimensioned> known(std::optional<Dimension> d) {
    if (!d) return std::nullopt;
    return Dimensioned{*d, false};
}

// A formula's terms as a tree: where the subtree ending at each term begins.
std::vector<std::size_t> subtree_starts(const Formula& f) {
    std::vector<std::size_t> start(f.size()), stack;
    for (std::size_t i = 0; i < f.size(); ++i) {
        std::size_t first = i;
        if (f[i].kind == Kind::Op)
            for (unsigned k = 0; k < arity(f[i].fn) && !stack.empty(); ++k) {
                first = stack.back();
                stack.pop_back();
            }
        start[i] = first;
        stack.push_back(first);
    }
    return start;
}

// Walks one result formula and records the dimension each constant takes.
class Walk {
public:
    Walk(const Formula& f, const DimensionRules& rules)
        : f_(f), rules_(rules), start_(subtree_starts(f)), constants_(f.size()) {}

    // Whether the subtree ending at term i can have dimension d; `outer`
    // while on the path from the root that one overall scale may stand on.
    bool fits(std::size_t i, const Dimension& d, bool outer) {
        const Term& t = f_[i];
        if (t.kind == Kind::Op && (t.fn == Fn::Add || t.fn == Fn::Sub)) {
            const std::size_t right = i - 1, left = start_[right] - 1;
            // Beside an offset the other side still carries the overall
            // scale; two dimensional scales in one sum are not allowed.
            return fits(left, d, outer && adopts(right)) && fits(right, d, outer && adopts(left));
        }
        if (t.kind == Kind::Op && t.fn == Fn::Neg) return fits(i - 1, d, outer);
        if (outer && t.kind == Kind::Op && (t.fn == Fn::Mul || t.fn == Fn::Div)) {
            const std::size_t right = i - 1, left = start_[right] - 1;
            if (scales(right)) {
                auto g = up(left);
                auto carried = g ? (t.fn == Fn::Mul ? quotient(d, g->dim) : quotient(g->dim, d)) : std::nullopt;
                if (!carried) return false;
                constants_[right] = *carried;
                return true;
            }
            if (t.fn == Fn::Mul && scales(left)) {
                auto g = up(right);
                auto carried = g ? quotient(d, g->dim) : std::nullopt;
                if (!carried) return false;
                constants_[left] = *carried;
                return true;
            }
        }
        auto u = up(i);
        if (!u) return false;
        if (u->adopting) {
            constants_[i] = d;
            return true;
        }
        return u->dim == d;
    }

    // Bottom-up dimension of the subtree ending at term i.
    std::optional<Dimensioned> up(std::size_t i) {
        const Term& t = f_[i];
        if (t.kind != Kind::Op) return leaf_dimension(t, rules_);
        if (arity(t.fn) == 1) {
            auto a = up(i - 1);
            return a ? combine(t.fn, *a, nullptr) : std::nullopt;
        }
        const std::size_t right = i - 1, left = start_[right] - 1;
        auto a = up(left);
        auto b = a ? up(right) : std::nullopt;
        if (!b) return std::nullopt;
        auto out = combine(t.fn, *a, &*b);
        if (out && (t.fn == Fn::Add || t.fn == Fn::Sub)) {
            if (a->adopting) constants_[left] = out->dim;
            if (b->adopting) constants_[right] = out->dim;
        }
        return out;
    }

    std::vector<Dimension> constants() const {
        std::vector<Dimension> out;
        for (std::size_t i = 0; i < f_.size(); ++i)
            if (f_[i].kind == Kind::Const) out.push_back(constants_[i]);
        return out;
    }

private:
    bool adopts(std::size_t i) const { return leaf_dimension(f_[i], rules_).adopting; }
    // Only a free fitted constant may be the overall scale: a number written
    // exactly is a pure number.
    bool scales(std::size_t i) const { return rules_.dimensional_constants && f_[i].free(); }

    const Formula& f_;
    const DimensionRules& rules_;
    std::vector<std::size_t> start_;
    std::vector<Dimension> constants_;
};

}  // namespace

bool Dimension::dimensionless() const {
    for (const Ratio& r : exponent)
        if (r.p != 0) return false;
    return true;
}

std::optional<Dimension> product(const Dimension& a, const Dimension& b) { return each(a, &b, 1, {}); }
std::optional<Dimension> quotient(const Dimension& a, const Dimension& b) { return each(a, &b, -1, {}); }
std::optional<Dimension> power(const Dimension& a, Ratio r) { return each(a, nullptr, 0, r); }

std::optional<Dimensioned> combine(Fn f, const Dimensioned& a, const Dimensioned* b) {
    switch (f) {
        case Fn::Neg:
        case Fn::Abs: return Dimensioned{a.dim, false};
        case Fn::Inv: return known(power(a.dim, {-1, 1}));
        case Fn::Sqrt: return known(power(a.dim, {1, 2}));
        case Fn::Square: return known(power(a.dim, {2, 1}));
        case Fn::Exp:
        case Fn::Log:
        case Fn::Sin:
        case Fn::Cos:
            if (!a.dim.dimensionless()) return std::nullopt;
            return Dimensioned{};
        case Fn::Zyl:
            if (!a.dim.dimensionless() || !b->dim.dimensionless()) return std::nullopt;
            return Dimensioned{};
        case Fn::Add:
        case Fn::Sub:
            if (a.adopting && b->adopting) return Dimensioned{};
            if (a.adopting) return Dimensioned{b->dim, false};
            if (b->adopting) return Dimensioned{a.dim, false};
            if (!(a.dim == b->dim)) return std::nullopt;
            return Dimensioned{a.dim, false};
        case Fn::Mul: return known(product(a.dim, b->dim));
        case Fn::Div: return known(quotient(a.dim, b->dim));
    }
    return std::nullopt;
}

Dimensioned leaf_dimension(const Term& t, const DimensionRules& rules) {
    if (t.kind == Kind::Var) return {t.var < rules.variables.size() ? rules.variables[t.var] : Dimension{}, false};
    return {Dimension{}, rules.dimensional_constants && t.free()};
}

std::optional<Dimensioned> dimension_of(const Formula& f, const DimensionRules& rules) {
    if (f.empty()) return std::nullopt;
    return Walk(f, rules).up(f.size() - 1);
}

std::optional<std::vector<Dimension>> constant_dimensions(const Formula& f, const DimensionRules& rules) {
    if (f.empty()) return std::nullopt;
    Walk walk(f, rules);
    const bool mean_of_y = f.size() == 1 && f[0].kind == Kind::Const && f[0].fitted;
    if (mean_of_y) return std::vector<Dimension>{rules.target};
    if (!walk.fits(f.size() - 1, rules.target, true)) return std::nullopt;
    return walk.constants();
}

}  // namespace zyl::regress
