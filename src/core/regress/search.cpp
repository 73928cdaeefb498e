#include "search.hpp"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "constant_fit.hpp"
#include "finish.hpp"
#include "reach.hpp"
#include "common_scale.hpp"
#include "scaling.hpp"
#include "scoring.hpp"
#include "statistics.hpp"

namespace zyl::regress {
namespace {

// A fresh constant leaf starts at 1, the most common constant of all, so an
// unfitted candidate already reads as its constant-free cousin.
constexpr double kFreshConstant = 1.0;
// Free constants are moved to this second point to tell a constant that
// shapes the formula from one an outer scale or offset would absorb.
double shadow_of(double c) { return c * 1.37 + 0.29; }
constexpr double kRedundantTolerance = 1e-9;
// Normalised values are compared to this resolution when deduplicating.
constexpr double kKeyResolution = 1e8;
constexpr double kFittedKeyResolution = 1e5;
// Parallel phases are cut into blocks of about this many sample operations,
// and the stop hook is asked between blocks, so that a stop request is seen
// within a few milliseconds whatever the sample count.
constexpr std::size_t kBlockWork = std::size_t{1} << 22;
// Sample passes one constant fit costs at most, roughly.
constexpr std::size_t kFitPasses = 160;
constexpr int kPollMillis = 20;
// Constant fits per level, against y and against residual targets, as a
// multiple of the beam width: a fit costs about a hundred evaluations, and a
// poor starting point must not keep a structure from being fitted.
constexpr std::size_t kFitShare = 2;
// Structures of each complexity finished into front candidates.
constexpr std::size_t kFinishedPerComplexity = 4;
// Parts of the weighted sums of the reach stage: of each complexity up to
// this one, the most accurate few and those that explain most of a residual
// target; a sum of larger parts is rarely worth its length.
constexpr std::size_t kSumPartComplexity = 7;
constexpr std::size_t kSumPartsByError = 6;
constexpr std::size_t kSumPartsByResidual = 2;
// One part in this many of the evaluation budget is kept for the reach
// stage.
constexpr std::size_t kReachShare = 8;
// Finishing one structure takes about as long as scoring this many
// candidates on one thread; a time-limited search leaves that much time,
// for every round of structures the workers finish, before its limit.
constexpr double kFinishInCandidates = 45.0;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793;

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
    v += 0x9E3779B97F4A7C15ull + h;
    v = (v ^ (v >> 30)) * 0xBF58476D1CE4E5B9ull;
    v = (v ^ (v >> 27)) * 0x94D049BB133111EBull;
    return v ^ (v >> 31);
}

std::uint64_t normalised_key(std::span<const double> nv, std::uint64_t seed, double resolution = kKeyResolution) {
    std::uint64_t h = seed;
    for (double v : nv) h = mix(h, static_cast<std::uint64_t>(std::llround(v * resolution)));
    return h;
}

// Raw values to about ten significant digits: the low mantissa bits go.
std::uint64_t raw_key(std::span<const double> v, std::uint64_t seed) {
    std::uint64_t h = seed;
    for (double x : v) h = mix(h, std::bit_cast<std::uint64_t>(x) >> 20);
    return h;
}

struct Entry {
    Formula formula;
    std::vector<double> values;  // at the constants the formula holds
    std::vector<double> shadow;  // with every free constant moved; empty when it has none
    double error = kInf;         // scaled rmse; +inf for leaves without variables and for blocks
    std::uint32_t complexity = 1;
    std::uint32_t free = 0;
    bool has_var = false;
    bool block = false;   // an affine wrap kept only as an operand
    bool helper = false;  // kept for what it explains of a residual target
    bool unary_only = false;  // a wrap offered to the unary operations alone
    double residual = 1.0;  // least unexplained share of a residual target

    std::span<const double> shadow_values() const { return free > 0 ? shadow : values; }
};

struct Move {
    Fn fn;
    std::uint32_t a;
    std::uint32_t b;  // kNone for a unary operation
};

enum class Verdict : std::uint8_t { Failed, Scored, Redundant };

struct Slot {
    double error = kInf;
    double residual = 1.0;
    std::uint32_t target = 0;  // the residual target it explains best
    Verdict verdict = Verdict::Failed;
};

struct Fitted {
    bool ok = false;
    Formula formula;
    std::vector<double> values;
    std::vector<double> shadow;
    double error = kInf;
    std::size_t evaluations = 0;
};

struct Scratch {
    std::vector<double> values, shadow;
    Evaluator evaluator;
};

bool commutative(Fn f) { return f == Fn::Add || f == Fn::Mul; }

Formula shadowed(Formula f) {
    for (Term& t : f)
        if (t.free()) t.value = shadow_of(t.value);
    return f;
}

class Search {
public:
    Search(const Columns& data, std::span<const double> y, std::span<const double> weights,
           const Options& options, const Hooks& hooks)
        : data_(data), y_(y), n_(data.samples), weights_(unit_mean(weights)), w_(weights_), options_(options),
          hooks_(hooks), floor_sse_(rounding_floor_sse(y, w_)), start_(std::chrono::steady_clock::now()),
          targets_(data, y, w_), scratch_(WorkerPool::instance().worker_slots()) {
        unary_ = {Fn::Inv, Fn::Exp, Fn::Log, Fn::Sqrt, Fn::Square};
        if (options.use_trig) {
            unary_.push_back(Fn::Sin);
            unary_.push_back(Fn::Cos);
        }
        binary_ = {Fn::Add, Fn::Sub, Fn::Mul, Fn::Div};
        if (options.use_zyl) binary_.push_back(Fn::Zyl);
        exact_error_ = n_ > 0 ? std::sqrt(floor_sse_ / static_cast<double>(n_)) : 0.0;
        for (Scratch& s : scratch_) {
            s.values.resize(n_);
            s.shadow.resize(n_);
        }
    }

    Outcome run() {
        if (n_ == 0 || y_.size() != n_ || data_.columns.empty()) return outcome_;
        seed();
        for (std::size_t c = 2; c <= options_.max_complexity; ++c) {
            if (should_stop()) return finish_stopped();
            if (best_error_ <= exact_error_ || budget_spent_ || over_time()) break;
            if (!level(c)) return finish_stopped();
            LevelReport report{c, last_candidates_, best_error_, elapsed()};
            if (hooks_.level_done && !hooks_.level_done(report)) {
                ended_early_ = true;
                break;
            }
        }
        if (should_stop()) return finish_stopped();
        if (!finish_front()) return finish_stopped();
        return outcome_;
    }

private:
    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    // The levels leave a share of the budget to the reach stage.
    std::size_t level_budget() const { return options_.max_evaluations - options_.max_evaluations / kReachShare; }
    bool over_time() const {
        return options_.time_limit > 0.0 && elapsed() + finishing_reserve_ > options_.time_limit;
    }
    // No structure is begun past the limit, so finishing runs past it by at
    // most the structures under way; those not begun are left out.
    bool finishing_over_time() const { return options_.time_limit > 0.0 && elapsed() > options_.time_limit; }
    // After a scoring phase: the time finishing is expected to take, from
    // what one candidate cost and how many structures would be finished.
    void reserve_finishing(double scoring_seconds, std::size_t candidates) {
        if (options_.time_limit <= 0.0 || candidates == 0) return;
        const double slots = static_cast<double>(scratch_.size());
        const double candidate_seconds = scoring_seconds * slots / static_cast<double>(candidates);
        const double rounds =
            std::ceil(static_cast<double>(structures_to_finish(kFinishedPerComplexity).size()) / slots);
        finishing_reserve_ = rounds * kFinishInCandidates * candidate_seconds;
    }
    // Once the hook has asked to stop, the answer stays: the request it
    // reported (a raised exception) is not repeated.
    bool should_stop() {
        if (!stop_seen_) stop_seen_ = hooks_.stop && hooks_.stop();
        return stop_seen_;
    }
    // For the sequential stretches of a level, whose length grows with the
    // sample count: asks the hook at most every few milliseconds and keeps
    // the answer.
    bool poll_stop() {
        if (stop_seen_) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_poll_ < std::chrono::milliseconds(kPollMillis)) return false;
        last_poll_ = now;
        return should_stop();
    }
    // Weights scaled to mean 1, so that a noise level is in units of y at
    // an average sample; empty stays empty.
    static std::vector<double> unit_mean(std::span<const double> w) {
        std::vector<double> out(w.begin(), w.end());
        if (out.empty()) return out;
        const double mean = weight_total(w, w.size()) / static_cast<double>(w.size());
        for (double& v : out) v /= mean;
        return out;
    }

    Outcome finish_stopped() {
        outcome_.stopped = true;
        outcome_.front.clear();
        std::vector<Scored> candidates;
        Evaluator& ev = scratch_[0].evaluator;
        if (auto c = constant_candidate(ev)) candidates.push_back(std::move(*c));
        for (const Formula& structure : structures_to_finish(1)) {
            auto fit = scaled_fit(structure, data_, y_, ev, w_);
            if (!fit) continue;
            Formula f{Term::constant(fit->scale, true)};
            f.insert(f.end(), structure.begin(), structure.end());
            f.push_back(Term::operation(Fn::Mul));
            f.push_back(Term::constant(fit->offset, true));
            f.push_back(Term::operation(Fn::Add));
            Scored s;
            s.formula = std::move(f);
            s.sse = fit->sse;
            s.rmse = std::sqrt(fit->sse / weight_total(w_, n_));
            s.plain_rmse = std::sqrt(sum_squared_residuals(ev.values(), y_, fit->scale, fit->offset) /
                                     static_cast<double>(n_));
            for (const Term& t : s.formula)
                if (t.kind == Kind::Const) s.estimates.push_back({t.value, std::numeric_limits<double>::quiet_NaN()});
            candidates.push_back(std::move(s));
        }
        score_candidates(candidates, selection_data(0.0));
        Choice choice = choose(std::move(candidates), Selection::Bic);
        outcome_.front = std::move(choice.front);
        outcome_.best = choice.best;
        outcome_.evaluations = evaluations_;
        return outcome_;
    }

    void add_entry(Entry e) {
        if (by_complexity_.size() <= e.complexity) by_complexity_.resize(e.complexity + 1);
        by_complexity_[e.complexity].push_back(static_cast<std::uint32_t>(pool_.size()));
        pool_.push_back(std::move(e));
    }

    void seed() {
        for (std::uint32_t j = 0; j < data_.columns.size(); ++j) {
            Entry e;
            e.formula = {Term::variable(j)};
            e.values.assign(data_.columns[j], data_.columns[j] + n_);
            e.has_var = true;
            normal_.resize(n_);
            if (auto score = targets_.score(e.values); score && normalise(e.values, normal_)) {
                e.error = score->error;
                seen_.insert(normalised_key(normal_, 0));
                best_error_ = std::fmin(best_error_, e.error);
            }
            add_entry(std::move(e));
        }
        for (double start : {kFreshConstant, -kFreshConstant}) {
            Entry c;
            c.formula = {Term::constant(start, true)};
            c.values.assign(n_, start);
            c.shadow.assign(n_, shadow_of(start));
            c.free = 1;
            (start > 0.0 ? constant_leaf_ : negative_leaf_) = static_cast<std::uint32_t>(pool_.size());
            add_entry(std::move(c));
        }
        Entry pi;
        pi.formula = {Term::exact_constant({1, 1, Basis::Pi}, false)};
        pi.values.assign(n_, pi.formula[0].value);
        add_entry(std::move(pi));
    }

    std::vector<Move> moves_for(std::size_t c) const {
        std::vector<Move> moves;
        const std::size_t budget_left =
            evaluations_ < level_budget() ? level_budget() - evaluations_ : 0;
        auto room = [&] { return moves.size() < budget_left; };
        if (c - 1 < by_complexity_.size())
            for (std::uint32_t e : by_complexity_[c - 1])
                if (pool_[e].has_var)
                    for (Fn u : unary_)
                        if (room()) moves.push_back({u, e, kNone});
        for (std::size_t ca = 1; ca + 2 <= c; ++ca) {
            const std::size_t cb = c - 1 - ca;
            if (ca >= by_complexity_.size() || cb >= by_complexity_.size()) continue;
            for (std::uint32_t ia : by_complexity_[ca])
                for (std::uint32_t ib : by_complexity_[cb]) {
                    const Entry& a = pool_[ia];
                    const Entry& b = pool_[ib];
                    if ((!a.has_var && !b.has_var) || a.unary_only || b.unary_only) continue;
                    if (a.free + b.free > options_.max_constants) continue;
                    for (Fn f : binary_) {
                        if (commutative(f) && (ca > cb || (ca == cb && ia > ib))) continue;
                        if (!room()) return moves;
                        moves.push_back({f, ia, ib});
                    }
                }
        }
        return moves;
    }

    // Values (and shadow values when the move has free constants) into the
    // scratch; false when some sample fails.
    bool values_of(const Move& m, Scratch& s) const {
        const Entry& a = pool_[m.a];
        const Entry* b = m.b == kNone ? nullptr : &pool_[m.b];
        if (!apply(m.fn, a.values.data(), b ? b->values.data() : nullptr, s.values.data(), n_)) return false;
        if (a.free + (b ? b->free : 0) == 0) return true;
        return apply(m.fn, a.shadow_values().data(), b ? b->shadow_values().data() : nullptr, s.shadow.data(), n_);
    }

    void score(const Move& m, Scratch& s, Slot& slot) const {
        slot = Slot{};
        if (!values_of(m, s)) return;
        auto score = targets_.score(s.values);
        if (!score) return;
        slot.error = score->error;
        slot.residual = score->residual;
        slot.target = score->target;
        const bool free = pool_[m.a].free + (m.b == kNone ? 0 : pool_[m.b].free) > 0;
        slot.verdict = free && same_up_to_scale(s.values, s.shadow) ? Verdict::Redundant : Verdict::Scored;
    }

    // Duplicate key of a scored move: its values up to scale and offset, and
    // for free constants also its shadow values; raw values for a wrap.
    std::uint64_t key_of(const Move& m, Verdict verdict) {
        Scratch& s = scratch_[0];
        values_of(m, s);
        const bool free = pool_[m.a].free + (m.b == kNone ? 0 : pool_[m.b].free) > 0;
        if (verdict == Verdict::Redundant) return raw_key(s.shadow, raw_key(s.values, 1));
        normal_.resize(n_);
        if (!normalise(s.values, normal_)) return raw_key(s.values, 2);
        std::uint64_t key = normalised_key(normal_, 0);
        if (free && normalise(s.shadow, normal_)) key = normalised_key(normal_, key);
        return key;
    }

    // Constants wrapped around the best structures two terms simpler:
    // useless alone (the outer fit absorbs them) but the way into
    // exp(-c*x), 1/(x + c), sqrt(c - x^2). They join the pool as operands
    // only.
    void add_wraps(std::size_t c) {
        if (c < 3 || c - 2 >= by_complexity_.size() || options_.max_constants == 0) return;
        // The best of the level by error and by what they explain of a
        // residual target, taken in turn.
        std::vector<std::uint32_t> by_error, by_residual, bases;
        for (std::uint32_t e : by_complexity_[c - 2]) {
            const Entry& x = pool_[e];
            if (!x.block && x.has_var && x.free < options_.max_constants) by_error.push_back(e);
        }
        by_residual = by_error;
        auto rank = [&](auto key) {
            return [&, key](std::uint32_t a, std::uint32_t b) {
                return key(pool_[a]) < key(pool_[b]) || (key(pool_[a]) == key(pool_[b]) && a < b);
            };
        };
        std::sort(by_error.begin(), by_error.end(), rank([](const Entry& e) { return e.error; }));
        std::sort(by_residual.begin(), by_residual.end(), rank([](const Entry& e) { return e.residual; }));
        // Every kept structure gets its wraps for the unary operations; the
        // first few also take part in binary combinations.
        const std::size_t binary_bases = std::max<std::size_t>(2, options_.beam_width / 8);
        for (std::size_t i = 0; i < by_error.size(); ++i) {
            for (std::uint32_t e : {by_error[i], by_residual[i]})
                if (std::find(bases.begin(), bases.end(), e) == bases.end()) bases.push_back(e);
        }
        std::unordered_set<std::uint64_t> keys;
        bool unary_only = false;
        auto add = [&](const Move& m, double scale) {
            auto wrap = wrap_of(m, c, scale);
            if (!wrap || !keys.insert(raw_key(wrap->shadow, raw_key(wrap->values, 1))).second) return;
            wrap->unary_only = unary_only;
            add_entry(std::move(*wrap));
        };
        for (std::size_t k = 0; k < bases.size() && !poll_stop() && !over_time(); ++k) {
            const std::uint32_t e = bases[k];
            unary_only = k >= binary_bases;
            // Rates inside exp, sin and cos: unit starts and starts that
            // bring the wrapped values to unit size.
            double ss = 0.0;
            for (double v : pool_[e].values) ss += v * v;
            const double size = std::sqrt(ss / static_cast<double>(n_));
            for (double scale : {-1.0, 1.0, -1.0 / size, 1.0 / size, kPi / size, 2.0 * kPi / size})
                if (std::isfinite(scale)) add({Fn::Mul, scale < 0.0 ? negative_leaf_ : constant_leaf_, e}, scale);
            add({Fn::Add, e, constant_leaf_}, 0.0);
            add({Fn::Sub, constant_leaf_, e}, 0.0);
            add({Fn::Sub, e, constant_leaf_}, 0.0);
        }
    }

    Formula formula_of(const Move& m) const {
        Formula f = pool_[m.a].formula;
        if (m.b != kNone) f.insert(f.end(), pool_[m.b].formula.begin(), pool_[m.b].formula.end());
        f.push_back(Term::operation(m.fn));
        return f;
    }

    Entry entry_of(const Move& m, std::size_t c) const {
        const Entry& a = pool_[m.a];
        const Entry* b = m.b == kNone ? nullptr : &pool_[m.b];
        Entry e;
        e.formula = formula_of(m);
        e.complexity = static_cast<std::uint32_t>(c);
        e.free = a.free + (b ? b->free : 0);
        e.has_var = a.has_var || (b && b->has_var);
        e.values.resize(n_);
        apply(m.fn, a.values.data(), b ? b->values.data() : nullptr, e.values.data(), n_);
        if (e.free > 0) {
            e.shadow.resize(n_);
            apply(m.fn, a.shadow_values().data(), b ? b->shadow_values().data() : nullptr, e.shadow.data(), n_);
        }
        return e;
    }

    // Moves the wrap's constant leaf (first or last operand) to `start` and
    // recomputes the wrap's values; false when they cannot be evaluated.
    bool reseat(Entry& e, bool leaf_first, double start) {
        Term& leaf = leaf_first ? e.formula.front() : e.formula[e.formula.size() - 2];
        leaf.value = start;
        Evaluator& ev = scratch_[0].evaluator;
        if (!ev.run(e.formula, data_)) return false;
        e.values.assign(ev.values().begin(), ev.values().end());
        if (!ev.run(shadowed(e.formula), data_)) return false;
        e.shadow.assign(ev.values().begin(), ev.values().end());
        return true;
    }

    // Sums start where the wrap is positive on every sample (keeping 1 when
    // it already is), so that sqrt, log and division built on it can be
    // evaluated and fitted from the start. Products start at `scale`.
    std::optional<Entry> wrap_of(const Move& m, std::size_t c, double scale) {
        Entry e = entry_of(m, c);
        e.block = true;
        const bool leaf_first = m.a == constant_leaf_ || m.a == negative_leaf_;
        if (m.fn == Fn::Mul) {
            if (scale != e.formula.front().value && !reseat(e, leaf_first, scale)) return std::nullopt;
            return e;
        }
        const Entry& other = pool_[leaf_first ? m.b : m.a];
        double lo = kInf, hi = -kInf, block_lo = kInf;
        for (std::size_t i = 0; i < n_; ++i) {
            lo = std::fmin(lo, other.values[i]);
            hi = std::fmax(hi, other.values[i]);
            block_lo = std::fmin(block_lo, e.values[i]);
        }
        const double spread = hi - lo;
        if (block_lo > 0.25 * spread) return e;
        // C + e: lift the least value to half the spread; C - e: the same
        // for the mirrored values; e - C: positive needs C below lo.
        double start = 0.0;
        if (m.fn == Fn::Add) start = 0.5 * spread - lo;
        else if (leaf_first) start = hi + 0.5 * spread;
        else start = lo - 0.5 * spread;
        if (!reseat(e, leaf_first, start)) return std::nullopt;
        return e;
    }

    // Fits the move's constants to `target` (y, or the residual target a
    // helper explains); the error is always the one against y.
    void fit_one(const Move& m, std::span<const double> target, Scratch& s, Fitted& out) const {
        out = Fitted{};
        out.formula = formula_of(m);
        ConstantFitLimits limits;
        limits.cancelled = &job_cancelled;
        auto fit = fit_constants(out.formula, data_, target, s.evaluator, limits, w_);
        if (!fit) return;
        out.evaluations = fit->evaluations + 2;
        if (!s.evaluator.run(out.formula, data_)) return;
        out.values.assign(s.evaluator.values().begin(), s.evaluator.values().end());
        if (!s.evaluator.run(shadowed(out.formula), data_)) return;
        out.shadow.assign(s.evaluator.values().begin(), s.evaluator.values().end());
        auto score = targets_.score(out.values);
        if (!score) return;
        out.error = score->error;
        out.ok = std::isfinite(out.error);
    }

    // Fitted twins (c*x and -c*x, or one structure reached from two starts)
    // share their values to the digits the fit settles, and so their key.
    void fitted_key(std::uint32_t i, const Fitted& f, std::unordered_map<std::uint32_t, std::uint64_t>& keys) {
        normal_.resize(n_);
        if (normalise(f.values, normal_)) keys[i] = normalised_key(normal_, 0, kFittedKeyResolution);
    }

    bool has_free(const Move& m) const { return pool_[m.a].free + (m.b == kNone ? 0 : pool_[m.b].free) > 0; }

    // Fits the constants of moves[ids[i]] to targets[i] in parallel; false
    // when stopped.
    bool fit_all(const std::vector<Move>& moves, const std::vector<std::uint32_t>& ids,
                 const std::vector<std::span<const double>>& targets, std::vector<Fitted>& fitted) {
        fitted.assign(ids.size(), Fitted{});
        const std::size_t block = std::max<std::size_t>(2, kBlockWork / (kFitPasses * n_));
        for (std::size_t first = 0; first < ids.size(); first += block) {
            const std::size_t count = std::min(block, ids.size() - first);
            auto done = parallel_for_workers(
                count,
                [&](std::size_t w, std::size_t i) {
                    fit_one(moves[ids[first + i]], targets[first + i], scratch_[w], fitted[first + i]);
                },
                hooks_.control);
            if (done == kCancelled || should_stop()) return false;
            // The fits not made leave their structures unfitted.
            if (over_time()) {
                budget_spent_ = true;
                break;
            }
        }
        for (const Fitted& f : fitted) evaluations_ += f.evaluations;
        return true;
    }

    // Indices of the scored slots in rank order by `rank` (then by index),
    // of which at least the first `want` are sorted; all when `want` is 0.
    template <class Rank>
    std::vector<std::uint32_t> ranked(const std::vector<Slot>& slots, std::vector<std::uint32_t> ids, Rank rank,
                                      std::size_t want) const {
        auto before = [&](std::uint32_t x, std::uint32_t y) {
            const double rx = rank(slots[x]), ry = rank(slots[y]);
            return rx < ry || (rx == ry && x < y);
        };
        if (want > 0 && want < ids.size()) {
            std::nth_element(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(want), ids.end(), before);
            std::sort(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(want), before);
            ids.resize(want);
        } else {
            std::sort(ids.begin(), ids.end(), before);
        }
        return ids;
    }

    // Takes up to `count` moves in rank order whose key is new; keys are
    // recorded in `keys` (shared by the walks of one level).
    template <class Rank>
    std::vector<std::uint32_t> walk(const std::vector<Slot>& slots, const std::vector<std::uint32_t>& ids, Rank rank,
                                    std::size_t count, const std::vector<Move>& moves,
                                    std::unordered_map<std::uint32_t, std::uint64_t>& keys,
                                    std::unordered_set<std::uint64_t>& taken) {
        std::vector<std::uint32_t> out;
        for (std::size_t want = std::min(ids.size(), 4 * count + 64);; want = ids.size()) {
            out.clear();
            std::vector<std::uint32_t> order = ranked(slots, ids, rank, want);
            std::unordered_set<std::uint64_t> local;
            for (std::uint32_t i : order) {
                if (out.size() == count || poll_stop() || over_time()) break;
                auto [it, fresh] = keys.emplace(i, 0);
                if (fresh) it->second = key_of(moves[i], slots[i].verdict);
                if (taken.count(it->second) || !local.insert(it->second).second) continue;
                out.push_back(i);
            }
            if (out.size() == count || want == ids.size() || over_time()) return out;
        }
    }

    // Scores level c and keeps its best structures; false when stopped.
    bool level(std::size_t c) {
        std::vector<Move> moves = moves_for(c);
        last_candidates_ = moves.size();
        if (evaluations_ + moves.size() >= level_budget()) budget_spent_ = true;
        evaluations_ += moves.size();
        std::vector<Slot> slots(moves.size());
        const std::size_t block = std::max<std::size_t>(1, kBlockWork / (4 * n_));
        const double scoring_start = elapsed();
        for (std::size_t first = 0; first < moves.size(); first += block) {
            const std::size_t count = std::min(block, moves.size() - first);
            auto done = parallel_for_workers(
                count, [&](std::size_t w, std::size_t i) { score(moves[first + i], scratch_[w], slots[first + i]); },
                hooks_.control);
            if (done == kCancelled || should_stop()) return false;
            reserve_finishing(elapsed() - scoring_start, first + count);
            if (over_time()) {
                budget_spent_ = true;
                return true;
            }
        }
        std::vector<std::uint32_t> scored, fittable;
        for (std::uint32_t i = 0; i < moves.size(); ++i) {
            if (slots[i].verdict != Verdict::Scored) continue;
            scored.push_back(i);
            if (pool_[moves[i].a].free + (moves[i].b == kNone ? 0 : pool_[moves[i].b].free) > 0)
                fittable.push_back(i);
        }
        std::unordered_map<std::uint32_t, std::uint64_t> keys;
        auto by_error = [](const Slot& s) { return s.error; };
        auto by_residual = [](const Slot& s) { return s.residual; };

        // Constant fitting for the most promising structures with constants.
        std::vector<std::uint32_t> to_fit = walk(slots, fittable, by_error, kFitShare * options_.beam_width, moves, keys, seen_);
        std::vector<Fitted> fitted;
        if (!fit_all(moves, to_fit, std::vector<std::span<const double>>(to_fit.size(), y_), fitted)) return false;
        std::unordered_map<std::uint32_t, Fitted*> fitted_at;
        for (std::size_t i = 0; i < to_fit.size(); ++i) {
            if (!fitted[i].ok) continue;
            slots[to_fit[i]].error = fitted[i].error;
            fitted_at.emplace(to_fit[i], &fitted[i]);
            fitted_key(to_fit[i], fitted[i], keys);
        }

        // Structures with constants that best explain a residual target get
        // their constants fitted to that target, so that the law they are a
        // part of can form at a later level.
        std::vector<std::uint32_t> to_refit =
            walk(slots, fittable, by_residual, kFitShare * options_.beam_width, moves, keys, seen_);
        std::vector<std::span<const double>> refit_targets;
        for (std::uint32_t i : to_refit) refit_targets.push_back(targets_.residual(slots[i].target));
        std::vector<Fitted> refitted;
        if (!fit_all(moves, to_refit, refit_targets, refitted)) return false;
        std::unordered_map<std::uint32_t, Fitted*> refitted_at;
        for (std::size_t i = 0; i < to_refit.size(); ++i) {
            if (!refitted[i].ok) continue;
            refitted_at.emplace(to_refit[i], &refitted[i]);
            fitted_key(to_refit[i], refitted[i], keys);
        }

        std::vector<std::uint32_t> kept = walk(slots, scored, by_error, options_.beam_width, moves, keys, seen_);
        for (std::uint32_t i : kept) seen_.insert(keys.at(i));
        // The refitted helpers rank by what they explain after fitting; a
        // move kept for its error keeps its fit against y.
        std::vector<Slot> helper_slots = slots;
        for (const auto& [i, f] : refitted_at) {
            auto score = targets_.score(f->values);
            if (!score) continue;
            helper_slots[i].residual = score->residual;
            helper_slots[i].error = score->error;
        }
        std::vector<std::uint32_t> helpers =
            walk(helper_slots, scored, by_residual, options_.beam_width / 2, moves, keys, seen_);
        for (std::uint32_t i : helpers) {
            seen_.insert(keys.at(i));
            if (auto it = refitted_at.find(i); it != refitted_at.end() && !fitted_at.count(i)) {
                fitted_at.emplace(i, it->second);
                slots[i] = helper_slots[i];
            }
        }

        const std::size_t n_main = kept.size();
        kept.insert(kept.end(), helpers.begin(), helpers.end());
        if (stop_seen_) return false;
        for (std::size_t k = 0; k < kept.size() && !poll_stop() && !over_time(); ++k) {
            const std::uint32_t i = kept[k];
            Entry e = entry_of(moves[i], c);
            e.error = slots[i].error;
            e.residual = slots[i].residual;
            e.helper = k >= n_main;
            if (auto it = fitted_at.find(i); it != fitted_at.end()) {
                Fitted& f = *it->second;
                e.formula = std::move(f.formula);
                e.values = std::move(f.values);
                e.shadow = std::move(f.shadow);
            }
            best_error_ = std::fmin(best_error_, e.error);
            add_entry(std::move(e));
        }
        add_wraps(c);
        return !stop_seen_;
    }

    // The best `per_complexity` structures of each complexity that read a
    // variable, simplest first.
    std::vector<Formula> structures_to_finish(std::size_t per_complexity) const {
        std::vector<Formula> structures;
        for (const auto& ids : by_complexity_) {
            std::size_t taken = 0;
            for (std::uint32_t id : ids) {
                const Entry& e = pool_[id];
                if (e.block || !e.has_var || !std::isfinite(e.error)) continue;
                if (taken++ == per_complexity) break;
                structures.push_back(e.formula);
            }
        }
        return structures;
    }

    // The weighted mean of y, the simplest formula of all.
    std::optional<Scored> constant_candidate(Evaluator& ev) const {
        double sum = 0.0;
        for (std::size_t i = 0; i < n_; ++i) sum += weight(w_, i) * y_[i];
        const Formula constant{Term::constant(sum / weight_total(w_, n_), true)};
        return scored_as_is(constant, data_, y_, ev, w_);
    }

    SelectionData selection_data(double noise_variance) const {
        SelectionData d;
        d.samples = n_;
        d.variables = data_.columns.size();
        d.noise_variance = noise_variance;
        d.floor_mse = floor_sse_ / static_cast<double>(n_);
        return d;
    }

    // The blocks the reach stage combines: of each complexity up to
    // kSumPartComplexity, the structures that read a variable and are most
    // accurate or explain most of a residual target; most accurate first.
    std::vector<Block> reach_blocks() const {
        std::vector<std::uint32_t> ids;
        for (std::size_t c = 1; c < by_complexity_.size() && c <= kSumPartComplexity; ++c) {
            std::vector<std::uint32_t> level;
            for (std::uint32_t i : by_complexity_[c])
                if (!pool_[i].block && pool_[i].has_var && std::isfinite(pool_[i].error)) level.push_back(i);
            auto by = [&](auto key) {
                return [&, key](std::uint32_t a, std::uint32_t b) { return key(pool_[a]) < key(pool_[b]); };
            };
            std::stable_sort(level.begin(), level.end(), by([](const Entry& e) { return e.error; }));
            ids.insert(ids.end(), level.begin(), level.begin() + std::min(level.size(), kSumPartsByError));
            std::stable_sort(level.begin(), level.end(), by([](const Entry& e) { return e.residual; }));
            for (std::size_t k = 0, added = 0; k < level.size() && added < kSumPartsByResidual; ++k)
                if (std::find(ids.begin(), ids.end(), level[k]) == ids.end()) {
                    ids.push_back(level[k]);
                    ++added;
                }
        }
        std::stable_sort(ids.begin(), ids.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return pool_[a].error < pool_[b].error; });
        std::vector<Block> blocks;
        for (std::uint32_t i : ids) blocks.push_back({pool_[i].formula, pool_[i].values});
        return blocks;
    }

    // Structures of the reach stage (reach.hpp), unless the search already
    // explains the data to rounding, its time is up or the caller ended it
    // early; false when stopped.
    bool add_reach(std::vector<Formula>& structures) {
        if (best_error_ <= exact_error_ || over_time() || ended_early_) return true;
        ReachSettings settings;
        settings.weights = w_;
        settings.use_trig = options_.use_trig;
        settings.floor_sse = floor_sse_;
        settings.allowance = options_.max_evaluations / kReachShare;
        settings.stop = [this] { return should_stop(); };
        settings.control = hooks_.control;
        ReachResult found = reach(data_, y_, reach_blocks(), settings);
        evaluations_ += found.evaluations;
        if (found.stopped) return false;
        for (Formula& f : found.structures) structures.push_back(std::move(f));
        return true;
    }

    bool finish_front() {
        std::vector<Formula> structures = structures_to_finish(kFinishedPerComplexity);
        if (!add_reach(structures)) return false;
        std::vector<std::vector<Scored>> finished(structures.size());
        FinishSettings settings;
        settings.weights = w_;
        settings.floor_sse = floor_sse_;
        settings.exact_constants = options_.exact_constants;
        auto done = parallel_for_workers(
            structures.size(),
            [&](std::size_t w, std::size_t i) {
                if (finishing_over_time()) return;
                Formula f = structures[i];
                Evaluator& ev = scratch_[w].evaluator;
                if (!fit_constants(f, data_, y_, ev, {}, w_)) return;
                drop_common_scale(f, data_, ev);
                finished[i] = finish(f, data_, y_, ev, settings);
            },
            hooks_.control);
        if (done == kCancelled) return false;
        std::vector<Scored> candidates;
        if (auto c = constant_candidate(scratch_[0].evaluator)) candidates.push_back(std::move(*c));
        for (auto& variants : finished)
            for (Scored& s : variants) candidates.push_back(std::move(s));
        score_candidates(candidates, selection_data(neighbour_noise_variance(data_, y_, w_)));
        Choice choice = choose(std::move(candidates), options_.selection);
        outcome_.front = std::move(choice.front);
        outcome_.best = choice.best;
        outcome_.evaluations = evaluations_;
        return true;
    }

    const Columns& data_;
    std::span<const double> y_;
    std::size_t n_;
    std::vector<double> weights_;
    Weights w_;
    const Options& options_;
    const Hooks& hooks_;
    double floor_sse_;
    std::chrono::steady_clock::time_point start_;
    Targets targets_;
    std::vector<Scratch> scratch_;
    std::vector<Fn> unary_, binary_;
    std::vector<Entry> pool_;
    std::vector<std::vector<std::uint32_t>> by_complexity_;
    std::unordered_set<std::uint64_t> seen_;
    std::uint32_t constant_leaf_ = kNone;  // starts at +1
    std::uint32_t negative_leaf_ = kNone;  // starts at -1
    std::vector<double> normal_;
    double best_error_ = kInf;
    double exact_error_ = 0.0;
    std::size_t evaluations_ = 0;
    std::size_t last_candidates_ = 0;
    bool budget_spent_ = false;
    double finishing_reserve_ = 0.0;  // seconds; see reserve_finishing
    bool stop_seen_ = false;
    bool ended_early_ = false;  // by the level hook
    std::chrono::steady_clock::time_point last_poll_{};
    Outcome outcome_;
};

}  // namespace

Outcome search(const Columns& data, std::span<const double> y, std::span<const double> weights,
               const Options& options, const Hooks& hooks) {
    return Search(data, y, weights, options, hooks).run();
}

}  // namespace zyl::regress
