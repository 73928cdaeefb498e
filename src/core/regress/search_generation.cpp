#include "search_generation.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_set>

#include "scaling.hpp"
#include "search_dimensions.hpp"
#include "search_keys.hpp"

namespace zyl::regress::stage {
namespace {

// A fresh constant leaf starts at 1, the most common constant of all, so an
// unfitted candidate already reads as its constant-free cousin.
constexpr double kFreshConstant = 1.0;
constexpr double kPi = 3.141592653589793;

bool commutative(Fn f) { return f == Fn::Add || f == Fn::Mul; }

// Moves the wrap's constant leaf (first or last operand) to `start` and
// recomputes the wrap's values; false when they cannot be evaluated.
bool reseat(State& s, Entry& e, bool leaf_first, double start) {
    Term& leaf = leaf_first ? e.formula.front() : e.formula[e.formula.size() - 2];
    leaf.value = start;
    Evaluator& ev = s.scratch[0].evaluator;
    if (!ev.run(e.formula, s.data)) return false;
    e.values.assign(ev.values().begin(), ev.values().end());
    if (!ev.run(shadowed(e.formula), s.data)) return false;
    e.shadow.assign(ev.values().begin(), ev.values().end());
    return true;
}

// Sums start where the wrap is positive on every sample (keeping 1 when it
// already is), so that sqrt, log and division built on it can be evaluated
// and fitted from the start. Products start at `scale`.
std::optional<Entry> wrap_of(State& s, const Move& m, std::size_t c, double scale) {
    Entry e = entry_of(s, m, c);
    e.block = true;
    const bool leaf_first = m.a == s.constant_leaf || m.a == s.negative_leaf;
    if (m.fn == Fn::Mul) {
        if (scale != e.formula.front().value && !reseat(s, e, leaf_first, scale)) return std::nullopt;
        return e;
    }
    const Entry& other = s.pool[leaf_first ? m.b : m.a];
    double lo = kInf, hi = -kInf, block_lo = kInf;
    for (std::size_t i = 0; i < s.n; ++i) {
        lo = std::fmin(lo, other.values[i]);
        hi = std::fmax(hi, other.values[i]);
        block_lo = std::fmin(block_lo, e.values[i]);
    }
    const double spread = hi - lo;
    if (block_lo > 0.25 * spread) return e;
    // C + e: lift the least value to half the spread; C - e: the same for
    // the mirrored values; e - C: positive needs C below lo.
    double start = 0.0;
    if (m.fn == Fn::Add) start = 0.5 * spread - lo;
    else if (leaf_first) start = hi + 0.5 * spread;
    else start = lo - 0.5 * spread;
    if (!reseat(s, e, leaf_first, start)) return std::nullopt;
    return e;
}

}  // namespace

void seed(State& s) {
    for (std::uint32_t j = 0; j < s.data.columns.size(); ++j) {
        Entry e;
        e.formula = {Term::variable(j)};
        e.dim = leaf_dim(s, e.formula[0]);
        e.values.assign(s.data.columns[j], s.data.columns[j] + s.n);
        e.has_var = true;
        s.normal.resize(s.n);
        if (auto score = s.targets.score(e.values); score && normalise(e.values, s.normal)) {
            e.error = score->error;
            s.seen.insert(normalised_key(s.normal, 0));
            s.best_error = std::fmin(s.best_error, e.error);
        }
        s.add_entry(std::move(e));
    }
    for (double start : {kFreshConstant, -kFreshConstant}) {
        Entry c;
        c.formula = {Term::constant(start, true)};
        c.dim = leaf_dim(s, c.formula[0]);
        c.values.assign(s.n, start);
        c.shadow.assign(s.n, shadow_of(start));
        c.free = 1;
        (start > 0.0 ? s.constant_leaf : s.negative_leaf) = static_cast<std::uint32_t>(s.pool.size());
        s.add_entry(std::move(c));
    }
    Entry pi;
    pi.formula = {Term::exact_constant({1, 1, Basis::Pi}, false)};
    pi.values.assign(s.n, pi.formula[0].value);
    s.add_entry(std::move(pi));
}

std::vector<Move> moves_for(const State& s, std::size_t c) {
    std::vector<Move> moves;
    const std::size_t budget_left = s.evaluations < s.level_budget() ? s.level_budget() - s.evaluations : 0;
    auto room = [&] { return moves.size() < budget_left; };
    if (c - 1 < s.by_complexity.size())
        for (std::uint32_t e : s.by_complexity[c - 1])
            if (s.pool[e].has_var)
                for (Fn u : s.unary)
                    if (room() && consistent(s, {u, e, kNone})) moves.push_back({u, e, kNone});
    for (std::size_t ca = 1; ca + 2 <= c; ++ca) {
        const std::size_t cb = c - 1 - ca;
        if (ca >= s.by_complexity.size() || cb >= s.by_complexity.size()) continue;
        for (std::uint32_t ia : s.by_complexity[ca])
            for (std::uint32_t ib : s.by_complexity[cb]) {
                const Entry& a = s.pool[ia];
                const Entry& b = s.pool[ib];
                if ((!a.has_var && !b.has_var) || a.unary_only || b.unary_only) continue;
                if (a.free + b.free > s.options.max_constants) continue;
                for (Fn f : s.binary) {
                    if (commutative(f) && (ca > cb || (ca == cb && ia > ib))) continue;
                    if (!room()) return moves;
                    if (consistent(s, {f, ia, ib})) moves.push_back({f, ia, ib});
                }
            }
    }
    return moves;
}

void add_wraps(State& s, std::size_t c) {
    if (c < 3 || c - 2 >= s.by_complexity.size() || s.options.max_constants == 0) return;
    // The best of the level by error and by what they explain of a residual
    // target, taken in turn.
    std::vector<std::uint32_t> by_error, by_residual, bases;
    for (std::uint32_t e : s.by_complexity[c - 2]) {
        const Entry& x = s.pool[e];
        if (!x.block && x.has_var && x.free < s.options.max_constants) by_error.push_back(e);
    }
    by_residual = by_error;
    auto rank = [&](auto key) {
        return [&, key](std::uint32_t a, std::uint32_t b) {
            return key(s.pool[a]) < key(s.pool[b]) || (key(s.pool[a]) == key(s.pool[b]) && a < b);
        };
    };
    std::sort(by_error.begin(), by_error.end(), rank([](const Entry& e) { return e.error; }));
    std::sort(by_residual.begin(), by_residual.end(), rank([](const Entry& e) { return e.residual; }));
    // Every kept structure gets its wraps for the unary operations; the
    // first few also take part in binary combinations.
    const std::size_t binary_bases = std::max<std::size_t>(2, s.options.beam_width / 8);
    for (std::size_t i = 0; i < by_error.size(); ++i) {
        for (std::uint32_t e : {by_error[i], by_residual[i]})
            if (std::find(bases.begin(), bases.end(), e) == bases.end()) bases.push_back(e);
    }
    std::unordered_set<std::uint64_t> keys;
    bool unary_only = false;
    auto add = [&](const Move& m, double scale) {
        if (!consistent(s, m)) return;
        auto wrap = wrap_of(s, m, c, scale);
        if (!wrap || !keys.insert(raw_key(wrap->shadow, raw_key(wrap->values, 1))).second) return;
        wrap->unary_only = unary_only;
        s.add_entry(std::move(*wrap));
    };
    for (std::size_t k = 0; k < bases.size() && !s.poll_stop() && !s.over_time(); ++k) {
        const std::uint32_t e = bases[k];
        unary_only = k >= binary_bases;
        // Rates inside exp, sin and cos: unit starts and starts that bring
        // the wrapped values to unit size.
        double ss = 0.0;
        for (double v : s.pool[e].values) ss += v * v;
        const double size = std::sqrt(ss / static_cast<double>(s.n));
        for (double scale : {-1.0, 1.0, -1.0 / size, 1.0 / size, kPi / size, 2.0 * kPi / size})
            if (std::isfinite(scale)) add({Fn::Mul, scale < 0.0 ? s.negative_leaf : s.constant_leaf, e}, scale);
        add({Fn::Add, e, s.constant_leaf}, 0.0);
        add({Fn::Sub, s.constant_leaf, e}, 0.0);
        add({Fn::Sub, e, s.constant_leaf}, 0.0);
    }
}

Formula formula_of(const State& s, const Move& m) {
    Formula f = s.pool[m.a].formula;
    if (m.b != kNone) f.insert(f.end(), s.pool[m.b].formula.begin(), s.pool[m.b].formula.end());
    f.push_back(Term::operation(m.fn));
    return f;
}

Entry entry_of(const State& s, const Move& m, std::size_t c) {
    const Entry& a = s.pool[m.a];
    const Entry* b = m.b == kNone ? nullptr : &s.pool[m.b];
    Entry e;
    e.formula = formula_of(s, m);
    e.complexity = static_cast<std::uint32_t>(c);
    e.free = a.free + (b ? b->free : 0);
    e.has_var = a.has_var || (b && b->has_var);
    if (s.options.dimensions) e.dim = *move_dimension(s, m);
    e.values.resize(s.n);
    apply(m.fn, a.values.data(), b ? b->values.data() : nullptr, e.values.data(), s.n);
    if (e.free > 0) {
        e.shadow.resize(s.n);
        apply(m.fn, a.shadow_values().data(), b ? b->shadow_values().data() : nullptr, e.shadow.data(), s.n);
    }
    return e;
}

}  // namespace zyl::regress::stage
