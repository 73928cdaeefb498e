#include "tidy_form.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "tidy_ratio.hpp"

namespace zyl::regress::tidy {

bool negative(const Node& n) {
    if (n.shape != Shape::Number && n.shape != Shape::Product) return false;
    return n.number.inexact ? std::signbit(n.number.value) : n.number.p < 0;
}

namespace {

// Beyond this, repeated squaring stops merging powers: x**(2**40) is
// already past anything a search builds.
constexpr std::int64_t kMaxHalves = std::int64_t{1} << 40;
// Inexact constants raised to larger powers stay written as powers.
constexpr std::int64_t kMaxRepeats = 4;

void put_number(KeyBuilder& b, const Number& n) {
    b.token(ordered(n.value));
    b.token(n.inexact ? 1 : 0);
    b.hashed(ordered(n.p));
    b.hashed(static_cast<std::uint64_t>(n.q));
}

Number exact(const Ratio& r) { return {false, r.value(), r.p, r.q}; }
Number inexact(double v) { return {true, v, 0, 1}; }
Ratio ratio_of(const Number& n) { return {n.p, n.q}; }
bool is_one(const Number& n) { return !n.inexact && n.p == 1 && n.q == 1; }

// Inexact constants multiply and add in an order that does not depend on
// how the formula was assembled, so that the rounding does not either.
void sort_by_value(std::vector<double>& values) {
    std::sort(values.begin(), values.end(), [](double a, double b) { return ordered(a) < ordered(b); });
}

double ordered_product(std::vector<double>& values) {
    sort_by_value(values);
    double out = 1.0;
    for (double v : values) out *= v;
    return out;
}

// A formula under construction: a finished node, or a product or sum that
// may still grow. Sign changes and inversions are recorded, not applied, so
// that long chains of them cost no more than their length.
struct Draft {
    enum class Shape : std::uint8_t { Done, Product, Sum };
    Shape shape = Shape::Done;
    NodeId done = 0;
    Ratio ratio;                  // the exact part of a product's coefficient
    std::vector<double> over;     // inexact constants it multiplies by
    std::vector<double> under;    // inexact constants it divides by
    std::vector<Factor> factors;  // powers, to be negated when `inverted`
    bool inverted = false;
    std::vector<NodeId> terms;  // a sum's finished terms, to be negated when `negated`
    bool negated = false;

    std::size_t weight() const { return over.size() + under.size() + factors.size() + terms.size(); }
};

Draft done(NodeId id) {
    Draft d;
    d.done = id;
    return d;
}

Draft powers(std::vector<Factor> factors) {
    Draft d;
    d.shape = Draft::Shape::Product;
    d.factors = std::move(factors);
    return d;
}

Node shaped(Shape shape) {
    Node n;
    n.shape = shape;
    return n;
}

Node product_node(const Number& coefficient, std::vector<Factor> factors) {
    Node n = shaped(Shape::Product);
    n.number = coefficient;
    n.factors = std::move(factors);
    return n;
}

struct VectorHash {
    std::size_t operator()(const std::vector<std::uint64_t>& v) const {
        std::uint64_t h = v.size();
        for (std::uint64_t x : v) h = mix(h, x);
        return static_cast<std::size_t>(h);
    }
};

}  // namespace

// Makes the nodes of one form; equal nodes are made once, so that equal
// subformulas are recognised by their id.
class Builder {
public:
    explicit Builder(std::vector<Node>& nodes) : nodes_(nodes) {}

    Draft leaf(const Term& t) {
        if (t.kind == Kind::Var) return done(variable(t.var));
        Draft d = powers({});
        if (!t.has_exact) {
            // A zero is a factor, so that dividing by it stays written (x/0.0).
            if (t.value == 0.0) d.factors = {{number(inexact(t.value)), 2}};
            else d.over = {t.value};
            return d;
        }
        d.ratio = ratio(t.exact.p, t.exact.q).value_or(Ratio{});
        auto pi = [this](std::int64_t halves) { return Factor{constant(Irrational::Pi), halves}; };
        auto root_two = [this] { return Factor{number(exact({2, 1})), 1}; };
        switch (t.exact.basis) {
            case Basis::One: break;
            case Basis::Pi: d.factors = {pi(2)}; break;
            case Basis::PiSquared: d.factors = {pi(4)}; break;
            case Basis::E: d.factors = {{constant(Irrational::E), 2}}; break;
            case Basis::SqrtTwoPi: d.factors = {root_two(), pi(1)}; break;
            case Basis::SqrtTwo: d.factors = {root_two()}; break;
            case Basis::SqrtPi: d.factors = {pi(1)}; break;
        }
        return d;
    }

    Draft apply(Fn f, Draft a) {
        switch (f) {
            case Fn::Neg: negate(a); return a;
            case Fn::Inv: invert(a); return a;
            case Fn::Square: square(a); return a;
            case Fn::Sqrt: root(a); return a;
            default: return done(call(f, finish(std::move(a))));
        }
    }

    Draft apply(Fn f, Draft a, Draft b) {
        switch (f) {
            case Fn::Add: return add(std::move(a), std::move(b));
            case Fn::Sub: negate(b); return add(std::move(a), std::move(b));
            case Fn::Mul: return multiply(std::move(a), std::move(b));
            case Fn::Div: invert(b); return multiply(std::move(a), std::move(b));
            default: {  // zyl(a, b) = exp(a) - log(b) where both are defined
                Draft log = apply(Fn::Log, std::move(b));
                negate(log);
                return add(apply(Fn::Exp, std::move(a)), std::move(log));
            }
        }
    }

    NodeId finish(Draft d) {
        switch (d.shape) {
            case Draft::Shape::Done: return d.done;
            case Draft::Shape::Sum: return finish_sum(std::move(d.terms), d.negated);
            case Draft::Shape::Product: break;
        }
        return finish_product(std::move(d));
    }

private:
    // ---- nodes ------------------------------------------------------------

    NodeId number(const Number& x) {
        Node n = shaped(Shape::Number);
        n.number = x;
        return intern(std::move(n));
    }
    NodeId constant(Irrational c) { return indexed(Shape::Constant, static_cast<std::uint32_t>(c)); }
    NodeId variable(std::uint32_t j) { return indexed(Shape::Variable, j); }
    NodeId indexed(Shape shape, std::uint32_t index) {
        Node n = shaped(shape);
        n.index = index;
        return intern(std::move(n));
    }
    NodeId call(Fn f, NodeId arg) {
        Node n = shaped(Shape::Call);
        n.fn = f;
        n.arg = arg;
        return intern(std::move(n));
    }

    NodeId negation(NodeId id) {
        const Node& n = nodes_[id];
        if (n.shape == Shape::Number || n.shape == Shape::Product) {
            Number c = n.number;
            c.p = -c.p;
            c.value = c.inexact ? -c.value : ratio_of(c).value();
            if (n.shape == Shape::Number) return number(c);
            if (is_one(c) && n.factors.size() == 1 && n.factors[0].halves == 2) return n.factors[0].base;
            return intern(product_node(c, n.factors));
        }
        return intern(product_node(exact({-1, 1}), {{id, 2}}));
    }

    NodeId intern(Node n) {
        std::vector<std::uint64_t> identity{static_cast<std::uint64_t>(n.shape), static_cast<std::uint64_t>(n.fn),
                                            n.index,
                                            n.number.inexact ? 1U : 0U,
                                            std::bit_cast<std::uint64_t>(n.number.value),
                                            static_cast<std::uint64_t>(n.number.p),
                                            static_cast<std::uint64_t>(n.number.q),
                                            n.arg};
        for (const Factor& f : n.factors) {
            identity.push_back(f.base);
            identity.push_back(static_cast<std::uint64_t>(f.halves));
        }
        identity.insert(identity.end(), n.terms.begin(), n.terms.end());
        auto [it, fresh] = ids_.try_emplace(std::move(identity), static_cast<NodeId>(nodes_.size()));
        if (!fresh) return it->second;
        n.key = key_of(n);
        nodes_.push_back(std::move(n));
        return it->second;
    }

    Key key_of(const Node& n) const {
        KeyBuilder b;
        b.token(static_cast<std::uint64_t>(n.shape));
        switch (n.shape) {
            case Shape::Number: put_number(b, n.number); break;
            case Shape::Constant:
            case Shape::Variable: b.token(n.index); break;
            case Shape::Call:
                b.token(static_cast<std::uint64_t>(n.fn));
                b.child(nodes_[n.arg].key);
                break;
            case Shape::Sum:
                b.token(n.terms.size());
                for (NodeId t : n.terms) b.child(nodes_[t].key);
                break;
            case Shape::Product: put_powers(b, n.factors, n.number); break;
        }
        return b.key();
    }

    void put_powers(KeyBuilder& b, const std::vector<Factor>& factors, const Number& coefficient) const {
        b.token(factors.size());
        for (const Factor& f : factors) {
            b.child(nodes_[f.base].key);
            b.token(ordered(-f.halves));  // higher powers first
        }
        put_number(b, coefficient);
    }

    // Terms of a sum are ordered by their powers first and their coefficient
    // last, so that x comes next to 2*x; a bare node counts as itself**1.
    // Constant terms (pi/4) come after the others, as numbers do.
    Key term_key(NodeId id) const {
        const Node& n = nodes_[id];
        auto constant = [this](NodeId base) {
            const Shape s = nodes_[base].shape;
            return s == Shape::Number || s == Shape::Constant;
        };
        const bool constant_term = n.shape == Shape::Product
                                       ? std::all_of(n.factors.begin(), n.factors.end(),
                                                     [&](const Factor& f) { return constant(f.base); })
                                       : constant(id);
        KeyBuilder b;
        b.token(constant_term ? 1 : 0);
        if (n.shape == Shape::Product) put_powers(b, n.factors, n.number);
        else put_powers(b, {{id, 2}}, Number{});
        return b.key();
    }

    bool before(const Factor& a, const Factor& b) const {
        const Key& ka = nodes_[a.base].key;
        const Key& kb = nodes_[b.base].key;
        if (ka < kb) return true;
        if (kb < ka) return false;
        return a.base < b.base;
    }

    // ---- finishing --------------------------------------------------------

    NodeId finish_sum(std::vector<NodeId> terms, bool negated) {
        if (negated)
            for (NodeId& t : terms) t = negation(t);
        std::optional<Ratio> exact_part = Ratio{0, 1};
        std::vector<double> inexact_parts;
        std::vector<NodeId> rest;
        for (NodeId t : terms) {
            const Node& n = nodes_[t];
            if (n.shape != Shape::Number) {
                rest.push_back(t);
            } else if (auto s = n.number.inexact ? std::nullopt : sum(*exact_part, ratio_of(n.number))) {
                exact_part = s;
            } else {
                inexact_parts.push_back(n.number.value);
            }
        }
        std::vector<Key> keys;
        keys.reserve(rest.size());
        for (NodeId t : rest) keys.push_back(term_key(t));
        std::vector<std::size_t> order(rest.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
            if (keys[i] < keys[j]) return true;
            if (keys[j] < keys[i]) return false;
            return rest[i] < rest[j];
        });
        std::vector<NodeId> ordered_terms;
        ordered_terms.reserve(rest.size() + 1);
        for (std::size_t i : order) ordered_terms.push_back(rest[i]);
        if (!inexact_parts.empty()) {
            sort_by_value(inexact_parts);
            double total = exact_part->value();
            for (double v : inexact_parts) total += v;
            if (total != 0.0) ordered_terms.push_back(number(inexact(total)));
        } else if (exact_part->p != 0) {
            ordered_terms.push_back(number(exact(*exact_part)));
        }
        if (ordered_terms.empty()) return number(exact({0, 1}));
        if (ordered_terms.size() == 1) return ordered_terms.front();
        Node n = shaped(Shape::Sum);
        n.terms = std::move(ordered_terms);
        return intern(std::move(n));
    }

    NodeId finish_product(Draft d) {
        if (d.inverted)
            for (Factor& f : d.factors) f.halves = -f.halves;
        std::vector<Factor> factors = std::move(d.factors);
        for (bool expanded = true; expanded;) {
            for (Factor& f : factors) pull_sign(f, d);
            merge_equal_bases(factors);
            expanded = false;
            std::vector<Factor> kept;
            for (const Factor& f : factors)
                if (!absorb(f, d, kept, expanded)) kept.push_back(f);
            factors = std::move(kept);
        }
        const Number coefficient = fold(d);
        const bool zero_divisor = std::any_of(factors.begin(), factors.end(), [&](const Factor& f) {
            return f.halves < 0 && nodes_[f.base].shape == Shape::Number && nodes_[f.base].number.value == 0.0;
        });
        if (factors.empty() || (coefficient.value == 0.0 && !zero_divisor)) return number(coefficient);
        if (is_one(coefficient) && factors.size() == 1 && factors[0].halves == 2) return factors[0].base;
        return intern(product_node(coefficient, std::move(factors)));
    }

    // A sum of negative terms raised to an integer power gives its sign to
    // the coefficient: -x*(x + 1), not x*(-x - 1).
    void pull_sign(Factor& f, Draft& d) {
        const Node& base = nodes_[f.base];
        if (f.halves % 2 != 0 || base.shape != Shape::Sum) return;
        if (!std::all_of(base.terms.begin(), base.terms.end(), [this](NodeId t) { return negative(nodes_[t]); }))
            return;
        f.base = finish_sum(base.terms, true);
        if ((f.halves / 2) % 2 != 0) d.ratio.p = -d.ratio.p;
    }

    // Zeros do not merge: 0.0/0.0 is not 1.
    void merge_equal_bases(std::vector<Factor>& factors) const {
        std::sort(factors.begin(), factors.end(), [this](const Factor& a, const Factor& b) { return before(a, b); });
        std::size_t out = 0;
        for (std::size_t i = 0; i < factors.size();) {
            Factor merged = factors[i];
            const Node& base = nodes_[merged.base];
            const bool zero = base.shape == Shape::Number && base.number.value == 0.0;
            for (++i; !zero && i < factors.size() && factors[i].base == merged.base; ++i)
                merged.halves += factors[i].halves;
            if (merged.halves != 0) factors[out++] = merged;
        }
        factors.resize(out);
    }

    // Folds the integer part of a constant's power into the coefficient
    // (2**(3/2) is 2*sqrt(2)), or spreads an integer power of a product over
    // its factors; false when the factor stays as it is.
    bool absorb(const Factor& f, Draft& d, std::vector<Factor>& kept, bool& expanded) {
        const std::int64_t n = f.halves / 2;  // toward zero: the root, if any, stays
        const Node& base = nodes_[f.base];
        if (n == 0) return false;
        if (base.shape == Shape::Number) {
            if (!scale(d, base.number, n)) return false;
            if (f.halves % 2 != 0) kept.push_back({f.base, f.halves % 2});
            return true;
        }
        if (base.shape != Shape::Product || f.halves % 2 != 0) return false;
        const std::int64_t limit = kMaxHalves / (n < 0 ? -n : n);
        for (const Factor& g : base.factors)
            if (g.halves > limit || g.halves < -limit) return false;
        std::vector<Factor> spread = base.factors;
        if (!scale(d, base.number, n)) return false;
        for (Factor& g : spread) kept.push_back({g.base, g.halves * n});
        expanded = true;
        return true;
    }

    // Multiplies the coefficient of d by c**n; false when that is not
    // written as one coefficient (a power too large, or a division by 0).
    static bool scale(Draft& d, const Number& c, std::int64_t n) {
        if (c.value == 0.0 && n < 0) return false;
        if (!c.inexact) {
            auto p = power(ratio_of(c), n);
            auto r = p ? product(d.ratio, *p) : std::nullopt;
            if (r) d.ratio = *r;
            return r.has_value();
        }
        if (n > kMaxRepeats || n < -kMaxRepeats) return false;
        for (std::int64_t i = 0; i < (n < 0 ? -n : n); ++i) (n < 0 ? d.under : d.over).push_back(c.value);
        return true;
    }

    static Number fold(Draft& d) {
        if (d.over.empty() && d.under.empty()) return exact(d.ratio);
        double value = ordered_product(d.over);
        if (!d.under.empty()) value /= ordered_product(d.under);
        if (!d.ratio.is(1)) value = value * static_cast<double>(d.ratio.p) / static_cast<double>(d.ratio.q);
        return inexact(value);
    }

    // ---- drafts -----------------------------------------------------------

    Draft redraft(NodeId id) {
        const Node& n = nodes_[id];
        if (n.shape != Shape::Number && n.shape != Shape::Product) return powers({{id, 2}});
        Draft d = powers(n.factors);
        if (n.number.inexact) d.over.push_back(n.number.value);
        else d.ratio = ratio_of(n.number);
        return d;
    }

    Draft as_product(Draft d) {
        switch (d.shape) {
            case Draft::Shape::Product: return d;
            case Draft::Shape::Done: return redraft(d.done);
            case Draft::Shape::Sum: break;
        }
        // A negated sum keeps its terms and takes the sign into the
        // coefficient: x*(-(a - b)) and -(x*(a - b)) read alike.
        Draft p = redraft(finish_sum(std::move(d.terms), false));
        if (d.negated) p.ratio.p = -p.ratio.p;
        return p;
    }

    Draft as_sum(Draft d) {
        if (d.shape == Draft::Shape::Sum) return d;
        const NodeId id = finish(std::move(d));
        const Node& n = nodes_[id];
        Draft s;
        s.shape = Draft::Shape::Sum;
        if (n.shape == Shape::Sum) {
            s.terms = n.terms;
        } else if (n.shape == Shape::Product && !n.number.inexact && n.number.q == 1 &&
                   (n.number.p == 1 || n.number.p == -1) && n.factors.size() == 1 && n.factors[0].halves == 2 &&
                   nodes_[n.factors[0].base].shape == Shape::Sum) {
            s.negated = n.number.p == -1;
            s.terms = nodes_[n.factors[0].base].terms;
        } else {
            s.terms = {id};
        }
        return s;
    }

    Draft add(Draft a, Draft b) {
        Draft x = as_sum(std::move(a));
        Draft y = as_sum(std::move(b));
        if (x.terms.size() < y.terms.size()) std::swap(x, y);
        for (NodeId t : y.terms) x.terms.push_back(x.negated == y.negated ? t : negation(t));
        return x;
    }

    Draft multiply(Draft a, Draft b) {
        Draft x = as_product(std::move(a));
        Draft y = as_product(std::move(b));
        if (x.weight() < y.weight()) std::swap(x, y);
        multiply_exact(x, y.ratio);
        x.over.insert(x.over.end(), y.over.begin(), y.over.end());
        x.under.insert(x.under.end(), y.under.begin(), y.under.end());
        for (const Factor& f : y.factors) x.factors.push_back({f.base, x.inverted == y.inverted ? f.halves : -f.halves});
        return x;
    }

    static void multiply_exact(Draft& d, const Ratio& r) {
        if (auto p = product(d.ratio, r)) {
            d.ratio = *p;
            return;
        }
        d.over.push_back(d.ratio.value());
        d.over.push_back(r.value());
        d.ratio = Ratio{};
    }

    void negate(Draft& d) {
        if (d.shape == Draft::Shape::Sum) {
            d.negated = !d.negated;
            return;
        }
        d = as_product(std::move(d));
        d.ratio.p = -d.ratio.p;
    }

    void invert(Draft& d) {
        d = as_product(std::move(d));
        // An exact zero becomes a factor, as inexact ones are from the
        // start, so that 1/0 is written, not folded.
        if (d.ratio.p == 0) {
            d.factors.push_back({number(exact(d.ratio)), d.inverted ? -2 : 2});
            d.ratio = Ratio{};
        }
        std::swap(d.over, d.under);
        d.ratio = ratio(d.ratio.q, d.ratio.p).value_or(Ratio{});
        d.inverted = !d.inverted;
    }

    void square(Draft& d) {
        d = as_product(std::move(d));
        for (const Factor& f : d.factors) {
            if (f.halves > kMaxHalves || f.halves < -kMaxHalves) {
                d = powers({{finish(std::move(d)), 4}});
                return;
            }
        }
        for (Factor& f : d.factors) f.halves *= 2;
        const Ratio r = d.ratio;
        multiply_exact(d, r);
        for (std::vector<double>* side : {&d.over, &d.under}) {
            if (side->empty()) continue;
            const double v = ordered_product(*side);
            *side = {v, v};
        }
    }

    void root(Draft& d) {
        d = d.shape == Draft::Shape::Sum ? redraft(finish(std::move(d))) : as_product(std::move(d));
        merge_equal_bases(d.factors);
        if (d.factors.empty() && d.under.empty()) {
            if (d.over.empty()) {
                if (auto r = exact_root(d.ratio)) d.ratio = *r;
                else d = powers({{number(exact(d.ratio)), 1}});
                return;
            }
            if (d.over.size() == 1 && d.ratio.is(1)) {
                d = powers({{number(inexact(d.over[0])), 1}});
                return;
            }
        }
        // sqrt(x**k) is x**(k/2) for odd k: both need x >= 0. For even k it
        // would be |x|**(k/2), so it stays a root.
        if (d.ratio.is(1) && d.over.empty() && d.under.empty() && d.factors.size() == 1 &&
            d.factors[0].halves % 4 != 0 && d.factors[0].halves % 2 == 0) {
            d.factors[0].halves /= 2;
            return;
        }
        d = powers({{finish(std::move(d)), 1}});
    }

    std::vector<Node>& nodes_;
    std::unordered_map<std::vector<std::uint64_t>, NodeId, VectorHash> ids_;
};

std::optional<Form> Form::of(const Formula& f) {
    Form form;
    Builder builder(form.nodes_);
    std::vector<Draft> stack;
    for (const Term& t : f) {
        if (t.kind == Kind::Var || t.kind == Kind::Const) {
            stack.push_back(builder.leaf(t));
            continue;
        }
        if (t.kind != Kind::Op || static_cast<std::uint8_t>(t.fn) >= kFnCount || stack.size() < arity(t.fn))
            return std::nullopt;
        if (arity(t.fn) == 1) {
            stack.back() = builder.apply(t.fn, std::move(stack.back()));
        } else {
            Draft b = std::move(stack.back());
            stack.pop_back();
            stack.back() = builder.apply(t.fn, std::move(stack.back()), std::move(b));
        }
    }
    if (stack.size() != 1) return std::nullopt;
    form.root_ = builder.finish(std::move(stack.back()));
    return form;
}

}  // namespace zyl::regress::tidy
