#include "search.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <queue>
#include <utility>

#include "column_score.hpp"
#include "fingerprint.hpp"
#include "kept_values.hpp"
#include "op_rules.hpp"
#include "optimizer.hpp"
#include "pool/worker_pool.hpp"
#include "render.hpp"

namespace zyl::discover {
namespace {

// How often generation pauses to ask whether the caller wants to stop.
constexpr std::size_t kStopCheckInterval = 4096;
// Estimated wall time of one parallel scoring phase, in nanoseconds: the
// caller's stop request is asked between phases, so this bounds the time
// between two asks whatever the sample count.
constexpr double kNsPerPhase = 1.5e7;
// Samples every candidate of a level is summed over before the most
// promising ones go on.
constexpr std::size_t kPrefixSamples = 32;
// Candidates of the first phase after the prefix at least, and of any phase
// at most, so that the cut-off for abandoning hopeless candidates (see
// Cutoff) tightens several times per level.
constexpr std::size_t kFirstPhaseCandidates = 256;
constexpr std::size_t kPhaseCandidates = 4096;
// Rough costs of one sample: a cheap operation on kept values, and a call
// into libm.
constexpr double kCheapNs = 1.5;
constexpr double kLibmNs = 20.0;
// Samples of an operand evaluated at once when it keeps no values.
constexpr std::size_t kChunkSamples = std::size_t{1} << 15;
// Candidates of a level that generation makes room for at once, at most.
constexpr std::size_t kMostReserved = std::size_t{1} << 22;
// Candidates of one operand whose place in the duplicate set is asked for
// ahead of their turn.
constexpr std::size_t kPrefetchAhead = 2;
// Candidates handed to a worker at once, so that it can sum those on kept
// values side by side (see squared_error_sums).
constexpr std::size_t kScoringGroup = 32;

std::optional<SearchResult> score_one(Expr& candidate, ColumnEvaluator& evaluator, const ColumnView& data,
                                      std::span<const double> targets, const SearchParams& params) {
    if (!evaluator.run(candidate, data.columns, data.samples, {})) return std::nullopt;
    // Candidates carry no Param nodes and the optimiser would be handed no
    // initial values, so below 2.0 it would return this same rmse with no
    // parameters after repeating the evaluation; that repeat is skipped.
    double error = rmse(evaluator.values(), targets);
    const std::size_t complexity = candidate.complexity();
    error = error * (static_cast<double>(complexity) * params.complexity_penalty + 1.0);
    return SearchResult{to_string(candidate), {}, std::move(candidate), error, complexity};
}

// Ranking: ascending error, NaN after every number (a consistent place for
// it), generation order among equals. As one integer per candidate, so that
// ranking sorts plain pairs: the error's key (equal errors, -0.0 and 0.0
// included, have equal keys, every NaN the largest), then the index.
using Ranked = std::pair<std::uint64_t, std::uint32_t>;

std::uint64_t rank_key(double error) {
    if (std::isnan(error)) return std::numeric_limits<std::uint64_t>::max();
    const auto bits = std::bit_cast<std::uint64_t>(error == 0.0 ? 0.0 : error);
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    return bits & kSign ? ~bits : bits | kSign;
}

// A pool member: its expression and what it keeps of its values on the data
// (nothing beyond the memory budget). Its values at the probes are kept
// beside the others' (Search::pool_probes_).
struct Member {
    Expr expr;
    bool scorable = false;            // its own evaluation on the data succeeds
    const double* values = nullptr;  // kept values; null: evaluated from expr when needed
};

// A generated candidate: its last operation applied to pool members a (and b).
struct Candidate {
    Op op;
    std::uint32_t a;
    std::uint32_t b;  // equal to a for unary operations
};

enum class State : std::uint8_t { Open, Scored, Dropped };

// A candidate's scoring: open (its sum formed over a prefix of the samples),
// scored, or dropped (unscorable, or ruled out as unable to matter).
struct Score {
    double value;  // the partial sum while open, the penalised error once scored
    State state;
};

// One worker's scratch: evaluators for operands that keep no values, and
// the candidates on kept values that it sums side by side.
struct Scratch {
    ColumnEvaluator first;
    ColumnEvaluator second;
    std::vector<const double*> shifted;  // the data's columns from some sample on
    std::vector<SumJob> jobs;
    std::vector<std::uint32_t> job_candidates;  // the candidate of each job
    std::vector<std::optional<double>> sums;
};

// The error above which a candidate of the current level cannot matter.
// After the level, update_best takes the earliest smallest error and the
// pool takes the floor(beam_width / 4) first results in rank order. Once that
// many numeric errors of the level are known, a candidate whose error exceeds
// the largest of them ranks after all of them, and a smaller error exists,
// so it neither joins nor becomes best (best exists already; NaN results
// never replace it). With no one joining, only best's own error counts.
class Cutoff {
public:
    void start_level(std::size_t joining, const std::optional<SearchResult>& best) {
        joining_ = joining;
        smallest_ = {};
        active_ = best.has_value();
        best_error_ = best ? best->error : 0.0;
    }

    void add(double error) {
        if (joining_ == 0 || std::isnan(error)) return;
        if (smallest_.size() < joining_) {
            smallest_.push(error);
        } else if (error < smallest_.top()) {
            smallest_.pop();
            smallest_.push(error);
        }
    }

    double error() const {
        constexpr double kNone = std::numeric_limits<double>::infinity();
        if (!active_) return kNone;
        if (joining_ == 0) return std::isnan(best_error_) ? kNone : best_error_;
        return smallest_.size() == joining_ ? smallest_.top() : kNone;
    }

private:
    std::size_t joining_ = 0;
    std::priority_queue<double> smallest_;  // the joining_ smallest so far
    bool active_ = false;
    double best_error_ = 0.0;
};

// One search call's working state.
class Search {
public:
    Search(std::span<const std::vector<double>> columns, std::span<const double> targets, std::size_t n_vars,
           const SearchParams& params, const StopRequest& should_stop)
        : targets_(targets), n_vars_(n_vars), params_(params), should_stop_(should_stop), probes_(n_vars),
          data_(view_columns(columns)), samples_(data_ ? data_->samples : 0),
          store_(samples_, kept_values_budget()) {
        unary_ = {Op::Neg, Op::Inv, Op::Exp, Op::Ln, Op::Sqrt};
        if (params.use_trig) {
            unary_.push_back(Op::Sin);
            unary_.push_back(Op::Cos);
        }
        binary_ = {Op::Add, Op::Sub, Op::Mul, Op::Div};
        if (params.use_zyl) binary_.push_back(Op::Zyl);
    }

    SearchOutcome run() {
        std::vector<Expr> seeds;
        admit_seed(leaf(Node::constant(0.0)), seeds);
        admit_seed(leaf(Node::constant(1.0)), seeds);
        for (std::size_t j = 0; j < n_vars_ && !outcome_.interrupted; ++j) admit_seed(leaf(Node::var(j)), seeds);
        if (outcome_.interrupted) return finish();
        // Every admitted seed builds the next level, scorable or not.
        if (!score_seeds(std::move(seeds)) || reached_goal() || params_.max_complexity < 2) return finish();
        for (std::size_t level = 2; level <= params_.max_complexity; ++level) {
            if (!generate()) return finish();
            if (level_.empty()) break;
            // No level follows the last one to build on what would join.
            if (!score() || reached_goal() || level == params_.max_complexity || !grow_pool()) return finish();
        }
        return finish();
    }

private:
    bool stop_requested() {
        if (!outcome_.interrupted && should_stop_ && should_stop_()) outcome_.interrupted = true;
        return outcome_.interrupted;
    }

    // Runs body(worker, begin, end) over [0, n) on the pool, in consecutive
    // phases of about phase_ns_ of estimated work (cost(k) nanoseconds for
    // element k) and at most `cap` elements, cap doubling up to
    // kPhaseCandidates, each call taking `group` elements of a phase at most;
    // after(first, last) runs on the calling thread after each phase. The
    // stop request is asked between phases (and by the pool while it waits).
    // False when interrupted.
    template <class Cost, class Body, class After>
    bool in_phases(std::size_t n, std::size_t cap, std::size_t group, Cost&& cost, Body&& body, After&& after) {
        MapControl control{[](void* self) { return static_cast<Search*>(self)->stop_requested(); }, this, 0.0};
        for (std::size_t first = 0; first < n;) {
            std::size_t last = first;
            double work = 0.0;
            while (last < n && (last == first || (work < phase_ns_ && last - first < cap))) work += cost(last++);
            cap = std::max(cap, std::min(2 * cap, kPhaseCandidates));
            const std::size_t groups = (last - first + group - 1) / group;
            control.element_cost_ns = work / static_cast<double>(groups);
            auto shifted = [&](std::size_t worker, std::size_t g) {
                body(worker, first + g * group, std::min(last, first + (g + 1) * group));
            };
            if (parallel_for_workers(groups, shifted, control) == kCancelled) outcome_.interrupted = true;
            if (stop_requested()) return false;
            after(first, last);
            first = last;
        }
        return true;
    }

    void admit_seed(Expr seed, std::vector<Expr>& seeds) {
        ++outcome_.generated;
        auto v = probes_.values(seed, probe_evaluator_);
        if (v && duplicates_.insert(fingerprint_of(*v))) seeds.push_back(std::move(seed));
        if (outcome_.generated % kStopCheckInterval == 0) stop_requested();
    }

    // Seeds are scored as whole expressions; each keeps its values (a
    // variable's are its input column) for the levels built on it.
    bool score_seeds(std::vector<Expr> seeds) {
        std::vector<SearchResult> scored;
        for (std::size_t k = 0; k < seeds.size(); ++k) {
            Member m{seeds[k], false, nullptr};
            add_probes(k);  // the seeds' keys are the set's first
            if (data_ && evaluator_for_seeds_.run(seeds[k], data_->columns, samples_, {})) {
                m.scorable = true;
                const Node& node = seeds[k].nodes.front();
                const bool is_column = node.kind == NodeKind::Var && node.index < data_->columns.size();
                if (is_column) {
                    m.values = data_->columns[node.index];
                } else if (double* kept = store_.take()) {
                    std::ranges::copy(evaluator_for_seeds_.values(), kept);
                    m.values = kept;
                }
                if (auto r = score_one(seeds[k], evaluator_for_seeds_, *data_, targets_, params_))
                    scored.push_back(std::move(*r));
            }
            pool_.push_back(std::move(m));
        }
        outcome_.scored += seeds.size();
        if (stop_requested()) return false;
        update_best(best_, scored);
        return true;
    }

    // Offers the candidate op(a, b) with its probe values (kProbeCount from
    // v) and its operation's verdict on them: evaluating its node list at a
    // probe applies op to exactly its operands' probe values. Only admitted
    // candidates are recorded.
    bool offer(Op op, std::uint32_t a, std::uint32_t b, const double* v, bool ok, std::uint64_t hash) {
        ++outcome_.generated;
        if (ok && duplicates_.insert(DuplicateSet::key_of(v), hash)) level_.push_back(Candidate{op, a, b});
        return outcome_.generated % kStopCheckInterval != 0 || !stop_requested();
    }

    const double* probes_of(std::uint32_t m) const { return pool_probes_.data() + std::size_t{m} * kProbeCount; }

    // Appends to pool_probes_ the probe values of the key inserted k-th
    // into the duplicate set. The admitted candidates of a level are its
    // keys from level_keys_ on, in order.
    void add_probes(std::size_t k) {
        for (std::uint64_t bits : duplicates_.key(k)) pool_probes_.push_back(std::bit_cast<double>(bits));
    }

    // Fills level_ in generation order; false when interrupted.
    //
    // Every extension or combination built only from members that were
    // already in the pool at the previous level was offered then, with the
    // same operands and the same size test; its fingerprint is in the set or
    // it has none, so it would be rejected again. Only candidates involving a
    // member that joined since (index >= fresh_) are formed; the admitted
    // candidates and their order are the same as when regenerating them all.
    bool generate() {
        level_.clear();
        level_keys_ = duplicates_.size();
        const auto n = static_cast<std::uint32_t>(pool_.size());
        const auto fresh = static_cast<std::uint32_t>(fresh_);
        fresh_ = n;
        // Room for every candidate that could be admitted, made at once:
        // growing step by step would copy into fresh memory several times.
        // Beyond kMostReserved (wide beams) it grows as it goes.
        std::size_t offered = (n - fresh) * unary_.size();
        for (std::uint32_t i = fresh; i < n; ++i) offered += partners_of(i).size() * offers_per_pair();
        duplicates_.reserve(std::min(offered, kMostReserved));
        level_.reserve(std::min(offered, kMostReserved));
        if (!generate_unary(fresh, n)) return false;
        for (std::uint32_t i = fresh; i < n; ++i)
            if (!generate_binary(i, partners_of(i))) return false;
        return true;
    }

    // The members j <= i that member i is combined with: those small enough
    // for the combination to stay within max_complexity.
    std::span<const std::uint32_t> partners_of(std::uint32_t i) {
        const std::size_t size_a = pool_[i].expr.complexity();
        if (size_a + 1 >= params_.max_complexity) return {};  // every member has a node at least
        const std::span<const std::uint32_t> all = members_up_to(params_.max_complexity - 1 - size_a);
        return all.first(std::upper_bound(all.begin(), all.end(), i) - all.begin());
    }

    std::size_t offers_per_pair() const {
        return binary_.size() + static_cast<std::size_t>(std::ranges::count_if(binary_, swapped_too));
    }

    // The probe values of many candidates are computed a whole operation at
    // a time (a call per candidate cost more than the values), then offered
    // one by one in generation order.

    // Every unary operation on members [first, last), by member, then by
    // operation.
    bool generate_unary(std::uint32_t first, std::uint32_t last) {
        const std::size_t count = last - first, ops = unary_.size();
        batch_values_.resize(ops * count * kProbeCount);
        batch_ok_.resize(ops * count);
        for (std::size_t q = 0; q < ops; ++q)
            apply_groups(unary_[q], probes_of(first), nullptr, &batch_values_[q * count * kProbeCount], kProbeCount,
                         count, &batch_ok_[q * count]);
        hash_batch(ops * count);
        for (std::size_t p = 0; p < count; ++p) {
            const auto m = static_cast<std::uint32_t>(first + p);
            for (std::size_t q = 0; q < ops; ++q) prefetch(q * count + p + kPrefetchAhead);
            for (std::size_t q = 0; q < ops; ++q) {
                const std::size_t at = q * count + p;
                if (!offer(unary_[q], m, m, &batch_values_[at * kProbeCount], batch_ok_[at], batch_hashes_[at]))
                    return false;
            }
        }
        return true;
    }

    // The duplicate set's hash of each accepted candidate of the batch.
    void hash_batch(std::size_t n) {
        batch_hashes_.resize(n);
        for (std::size_t at = 0; at < n; ++at)
            if (batch_ok_[at])
                batch_hashes_[at] = DuplicateSet::hash_of(DuplicateSet::key_of(&batch_values_[at * kProbeCount]));
    }

    // The candidate at `at` of the batch is offered soon; `at` may lie past
    // its operation's run, where another candidate's slot is prefetched.
    void prefetch(std::size_t at) const {
        if (at < batch_hashes_.size() && batch_ok_[at]) duplicates_.prefetch(batch_hashes_[at]);
    }

    // Member i with each partner j <= i, by partner, then by operation: op(i,
    // j), then op(j, i) where the order matters.
    bool generate_binary(std::uint32_t i, std::span<const std::uint32_t> partners) {
        const std::size_t count = partners.size();
        const std::size_t n = count * kProbeCount;
        first_operands_.resize(n);
        second_operands_.resize(n);
        for (std::size_t k = 0; k < count; ++k) {
            std::copy(probes_of(i), probes_of(i) + kProbeCount, &first_operands_[k * kProbeCount]);
            std::copy(probes_of(partners[k]), probes_of(partners[k]) + kProbeCount, &second_operands_[k * kProbeCount]);
        }
        const std::size_t ops = binary_.size();
        batch_values_.resize(2 * ops * n);
        batch_ok_.resize(2 * ops * count);
        for (std::size_t q = 0; q < ops; ++q) {
            const Op o = binary_[q];
            apply_groups(o, first_operands_.data(), second_operands_.data(), &batch_values_[2 * q * n], kProbeCount,
                         count, &batch_ok_[2 * q * count]);
            if (swapped_too(o))
                apply_groups(o, second_operands_.data(), first_operands_.data(), &batch_values_[(2 * q + 1) * n],
                             kProbeCount, count, &batch_ok_[(2 * q + 1) * count]);
        }
        hash_batch(2 * ops * count);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t j = partners[k];
            for (std::size_t q = 0; q < 2 * ops; ++q) prefetch(q * count + k + kPrefetchAhead);
            for (std::size_t q = 0; q < ops; ++q) {
                const Op o = binary_[q];
                for (std::size_t swapped = 0; swapped < (swapped_too(o) ? 2 : 1); ++swapped) {
                    const std::size_t at = (2 * q + swapped) * count + k;
                    if (!offer(o, swapped ? j : i, swapped ? i : j, &batch_values_[at * kProbeCount], batch_ok_[at],
                               batch_hashes_[at]))
                        return false;
                }
            }
        }
        return true;
    }

    // The operations offered with their operands in both orders.
    static bool swapped_too(Op o) { return o == Op::Zyl || o == Op::Sub || o == Op::Div; }

    // Pool members of at most `size` nodes, in pool order: the partners that
    // a member may be combined with. Kept per size and brought up to date
    // with the pool when asked, so that generation skips the pairs that the
    // size bound rules out instead of testing each.
    std::span<const std::uint32_t> members_up_to(std::size_t size) {
        Members& m = members_by_size_[size];
        for (; m.covered < pool_.size(); ++m.covered)
            if (pool_[m.covered].expr.complexity() <= size) m.indices.push_back(static_cast<std::uint32_t>(m.covered));
        return m.indices;
    }

    std::size_t complexity(const Candidate& c) const {
        std::size_t size = pool_[c.a].expr.complexity() + 1;
        if (arity(c.op) == 2) size += pool_[c.b].expr.complexity();
        return size;
    }

    // Member m's values on samples [begin, end) (the first at index 0): kept,
    // or evaluated into the scratch. Nothing when they cannot be evaluated.
    std::optional<const double*> values(std::uint32_t m, std::size_t begin, std::size_t end,
                                        ColumnEvaluator& evaluator, std::vector<const double*>& shifted) const {
        const Member& member = pool_[m];
        if (!member.scorable) return std::nullopt;
        if (member.values) return member.values + begin;
        if (begin == end) return nullptr;
        shifted.clear();
        for (const double* column : data_->columns) shifted.push_back(column + begin);
        if (!evaluator.run(member.expr, shifted, end - begin, {})) return std::nullopt;
        return evaluator.values().data();
    }

    // The squared-error sum over a range of samples of candidate c, an
    // operand of which keeps no values: the same outcome and bits as
    // evaluating its node list; nothing when that fails, once abandoned, or
    // when the pool cancels the job. The operands are evaluated a chunk of
    // samples at a time, which bounds both the scratch memory and the time
    // between looks at cancellation.
    std::optional<double> chunked_sum(const Candidate& c, Scratch& scratch, SampleRange range,
                                      const Abandon& abandon) const {
        const bool binary = arity(c.op) == 2;
        const std::size_t end = range.end;
        std::size_t begin = range.begin;
        do {
            const std::size_t stop = std::min(end, begin + kChunkSamples);
            auto a = values(c.a, begin, stop, scratch.first, scratch.shifted);
            if (!a) return std::nullopt;
            auto b = binary ? values(c.b, begin, stop, scratch.second, scratch.shifted) : a;
            if (!b) return std::nullopt;
            auto sum = squared_error_sum(c.op, *a, *b, SampleRange{begin, stop, range.sum}, targets_, abandon);
            if (!sum || (stop < end && job_cancelled())) return std::nullopt;
            range.sum = *sum;
            begin = stop;
        } while (begin < end);
        return range.sum;
    }

    // Estimated cost of scoring c, in nanoseconds per sample: a cheap
    // operation on kept values, a transcendental call, or whole operands
    // evaluated from their node lists.
    double cost_per_sample(const Candidate& c) const {
        const Member& a = pool_[c.a];
        const Member& b = pool_[c.b];
        const bool libm = c.op == Op::Exp || c.op == Op::Ln || c.op == Op::Sin || c.op == Op::Cos || c.op == Op::Zyl;
        double ns = libm ? kLibmNs : kCheapNs;
        if (!a.values) ns += kLibmNs * static_cast<double>(a.expr.complexity());
        if (arity(c.op) == 2 && !b.values) ns += kLibmNs * static_cast<double>(b.expr.complexity());
        return ns;
    }

    // Scores level_ into scores_ (by candidate index) and updates best; false
    // when interrupted.
    //
    // Candidates that cannot matter are abandoned (see Cutoff), best first:
    // every candidate is summed over the first few samples, then the sums are
    // carried on in the order of the bounds those prefixes give, so that the
    // cut-off is tight early and most candidates stop soon after the prefix.
    // The order decides only which hopeless candidates are abandoned, never
    // a result that matters; each sum still runs in sample order.
    bool score() {
        const std::size_t count = level_.size();
        scores_.assign(count, Score{-0.0, State::Open});
        factor_.resize(count);
        cost_.resize(count);
        for (std::size_t k = 0; k < count; ++k) {
            factor_[k] = static_cast<double>(complexity(level_[k])) * params_.complexity_penalty + 1.0;
            cost_[k] = cost_per_sample(level_[k]);
        }
        cutoff_.start_level(params_.beam_width / 4, best_);
        std::vector<std::uint32_t> order(count);
        for (std::size_t k = 0; k < count; ++k) order[k] = static_cast<std::uint32_t>(k);
        const std::size_t prefix = std::min(samples_, kPrefixSamples);
        if (!score_phases(order, 0, prefix, count)) return false;
        std::erase_if(order, [&](std::uint32_t k) { return scores_[k].state != State::Open; });
        order_by_bound(order);
        if (!score_phases(order, prefix, samples_, std::max(params_.beam_width / 4, kFirstPhaseCandidates)))
            return false;
        outcome_.scored += count;
        update_level_best();
        return true;
    }

    // Puts the open candidates in `order` roughly by the bounds their
    // prefix sums give: by the leading bits of the bound (within 1/16 of a
    // binade), generation order among those. A counting sort, since a full
    // sort of every level's candidates cost about a tenth of a small search.
    void order_by_bound(std::vector<std::uint32_t>& order) const {
        if (order.empty()) return;
        constexpr int kShift = 48;  // keeps the sign, the exponent and 4 bits of the fraction
        std::vector<std::uint32_t> bucket(order.size());
        std::uint32_t low = std::numeric_limits<std::uint32_t>::max(), high = 0;
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::uint32_t c = order[k];
            const double bound = rmse_of_sum(scores_[c].value, targets_.size()) * factor_[c];
            bucket[k] = static_cast<std::uint32_t>(rank_key(bound) >> kShift);
            low = std::min(low, bucket[k]);
            high = std::max(high, bucket[k]);
        }
        std::vector<std::uint32_t> start(high - low + 2, 0);
        for (std::uint32_t b : bucket) ++start[b - low + 1];
        for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        std::vector<std::uint32_t> sorted(order.size());
        for (std::size_t k = 0; k < order.size(); ++k) sorted[start[bucket[k] - low]++] = order[k];
        order.swap(sorted);
    }

    // Carries the open candidates of `order` on over samples [begin, end), in
    // parallel phases whose size starts at `first_phase` and doubles; each
    // phase abandons by the cut-off of the results before it. False when
    // interrupted.
    bool score_phases(std::span<const std::uint32_t> order, std::size_t begin, std::size_t end,
                      std::size_t first_phase) {
        const double span_samples = static_cast<double>(end - begin) + 1.0;
        double cut = cutoff_.error();
        auto cost = [&](std::size_t k) { return cost_[order[k]] * span_samples; };
        auto settle = [&](std::uint32_t index, std::optional<double> sum) {
            Score& score = scores_[index];
            if (!sum) {
                score.state = State::Dropped;
            } else if (end == samples_) {
                score = Score{rmse_of_sum(*sum, targets_.size()) * factor_[index], State::Scored};
            } else {
                score.value = *sum;
            }
        };
        // Candidates whose operands keep their values are summed side by
        // side; the others one by one, a chunk of samples at a time.
        auto body = [&](std::size_t worker, std::size_t first, std::size_t last) {
            Scratch& scratch = scratch_[worker];
            scratch.jobs.clear();
            scratch.job_candidates.clear();
            for (std::size_t k = first; k < last; ++k) {
                const std::uint32_t index = order[k];
                const Score& score = scores_[index];
                if (score.state != State::Open) continue;
                const Candidate& c = level_[index];
                const SampleRange range{begin, end, score.value};
                const Abandon abandon{cut, factor_[index]};
                const double* a = pool_[c.a].values;
                const double* b = arity(c.op) == 2 ? pool_[c.b].values : a;
                if (!data_) {
                    settle(index, std::nullopt);
                } else if (a && b) {
                    scratch.jobs.push_back(SumJob{c.op, a + begin, b + begin, range, abandon});
                    scratch.job_candidates.push_back(index);
                } else {
                    settle(index, chunked_sum(c, scratch, range, abandon));
                }
            }
            scratch.sums.resize(scratch.jobs.size());
            squared_error_sums(scratch.jobs, targets_, scratch.sums, job_cancelled);
            for (std::size_t q = 0; q < scratch.jobs.size(); ++q) settle(scratch.job_candidates[q], scratch.sums[q]);
        };
        auto after = [&](std::size_t first, std::size_t last) {
            for (std::size_t k = first; k < last; ++k)
                if (scores_[order[k]].state == State::Scored) cutoff_.add(scores_[order[k]].value);
            cut = cutoff_.error();
        };
        return in_phases(order.size(), first_phase, kScoringGroup, cost, body, after);
    }

    Expr expr_of(const Candidate& c) const {
        return arity(c.op) == 2 ? combined(pool_[c.a].expr, pool_[c.b].expr, c.op) : extended(pool_[c.a].expr, c.op);
    }

    // As update_best over the level's results in order; only the final
    // winner's expression is built.
    void update_level_best() {
        std::optional<double> current;
        if (best_) current = best_->error;
        std::size_t winner = level_.size();
        for (std::size_t k = 0; k < level_.size(); ++k) {
            if (scores_[k].state == State::Scored && (!current || *current > scores_[k].value)) {
                current = scores_[k].value;
                winner = k;
            }
        }
        if (winner == level_.size()) return;
        const Candidate& c = level_[winner];
        best_ = SearchResult{{}, {}, expr_of(c), scores_[winner].value, complexity(c)};
    }

    // The best quarter of the beam joins the pool, in rank order, keeping its
    // values while the budget lasts. Only the first floor(beam_width / 4)
    // ranks matter, so only they are sorted; the index tie-break makes this
    // the stable order. False when interrupted.
    bool grow_pool() {
        std::vector<Ranked> ranked;
        for (std::size_t k = 0; k < level_.size(); ++k)
            if (scores_[k].state == State::Scored) ranked.emplace_back(rank_key(scores_[k].value), k);
        const std::size_t joining = std::min(params_.beam_width / 4, ranked.size());
        std::nth_element(ranked.begin(), ranked.begin() + joining, ranked.end());
        std::sort(ranked.begin(), ranked.begin() + joining);
        std::vector<std::uint32_t> order(joining);
        for (std::size_t k = 0; k < joining; ++k) order[k] = ranked[k].second;
        std::vector<double*> kept(joining, nullptr);
        for (std::size_t k = 0; k < joining && (k == 0 || kept[k - 1]); ++k) kept[k] = store_.take();
        std::vector<Member> joiners(joining);
        auto join = [&](std::size_t worker, std::size_t k) {
            const Candidate& c = level_[order[k]];
            joiners[k] = Member{expr_of(c), true, nullptr};
            if (!kept[k] || samples_ == 0) return;
            Scratch& scratch = scratch_[worker];
            auto a = values(c.a, 0, samples_, scratch.first, scratch.shifted);
            auto b = arity(c.op) == 2 ? values(c.b, 0, samples_, scratch.second, scratch.shifted) : a;
            // A scored candidate: both operands and its own operation succeed.
            apply_column(c.op, *a, *b, kept[k], samples_);
            joiners[k].values = kept[k];
        };
        // A libm call on every sample at worst, counted twice: the kept
        // column is fresh memory, written for the first time.
        auto cost = [&](std::size_t) { return static_cast<double>(samples_) * 2 * kLibmNs; };
        auto body = [&](std::size_t worker, std::size_t first, std::size_t last) {
            for (std::size_t k = first; k < last; ++k) join(worker, k);
        };
        if (!in_phases(joining, kPhaseCandidates, 1, cost, body, [](std::size_t, std::size_t) {})) return false;
        for (std::size_t k = 0; k < joining; ++k) {
            pool_.push_back(std::move(joiners[k]));
            add_probes(level_keys_ + order[k]);
        }
        return true;
    }

    bool reached_goal() const { return best_ && params_.precision_goal >= best_->error; }

    SearchOutcome finish() {
        if (!outcome_.interrupted && best_) {
            best_->formula = to_string(best_->expr);
            outcome_.best = std::move(best_);
        }
        return std::move(outcome_);
    }

    std::span<const double> targets_;
    std::size_t n_vars_;
    const SearchParams& params_;
    const StopRequest& should_stop_;
    Probes probes_;
    ColumnEvaluator probe_evaluator_;
    ColumnEvaluator evaluator_for_seeds_;
    std::optional<ColumnView> data_;
    std::size_t samples_;
    ColumnStore store_;
    std::vector<Scratch> scratch_ = std::vector<Scratch>(zyl::WorkerPool::instance().worker_slots());
    // Work of one phase over all workers, in nanoseconds on one thread.
    double phase_ns_ = kNsPerPhase * static_cast<double>(scratch_.size());
    DuplicateSet duplicates_;
    std::vector<Op> unary_;
    std::vector<Op> binary_;
    std::vector<Member> pool_;
    std::vector<double> pool_probes_;  // kProbeCount values per member, in pool order
    // Generation's scratch: operands and values of a batch of candidates,
    // and the operation's verdict on each.
    std::vector<double> first_operands_;
    std::vector<double> second_operands_;
    std::vector<double> batch_values_;
    std::vector<std::uint8_t> batch_ok_;       // 1: accepted and finite at every probe
    std::vector<std::uint64_t> batch_hashes_;  // the duplicate set's, of the accepted ones
    struct Members {
        std::size_t covered = 0;  // pool members looked at so far
        std::vector<std::uint32_t> indices;
    };
    std::map<std::size_t, Members> members_by_size_;
    std::size_t fresh_ = 0;  // pool members from here on have not been expanded yet
    std::vector<Candidate> level_;
    std::size_t level_keys_ = 0;  // the duplicate set's size before the level
    std::vector<Score> scores_;
    std::vector<double> factor_;  // of each candidate: complexity * penalty + 1
    std::vector<double> cost_;    // of each candidate: estimated ns per sample
    Cutoff cutoff_;
    std::optional<SearchResult> best_;
    SearchOutcome outcome_;
};

}  // namespace

void update_best(std::optional<SearchResult>& best, std::span<const SearchResult> results) {
    // Only the last replacement survives the walk, so only it is copied.
    const SearchResult* current = best ? &*best : nullptr;
    const SearchResult* winner = nullptr;
    for (const SearchResult& r : results) {
        if (current == nullptr || current->error > r.error) current = winner = &r;
    }
    if (winner) best = *winner;
}

std::vector<SearchResult> score_level(std::vector<Expr> candidates, std::span<const std::vector<double>> columns,
                                      std::span<const double> targets, const SearchParams& params) {
    std::vector<std::optional<SearchResult>> slots(candidates.size());
    std::vector<ColumnEvaluator> evaluators(zyl::WorkerPool::instance().worker_slots());
    if (auto data = view_columns(columns)) {
        zyl::parallel_for_workers(candidates.size(), [&](std::size_t worker, std::size_t i) {
            slots[i] = score_one(candidates[i], evaluators[worker], *data, targets, params);
        });
    }
    std::vector<SearchResult> results;
    for (auto& slot : slots)
        if (slot) results.push_back(std::move(*slot));
    return results;
}

SearchOutcome search(std::span<const std::vector<double>> columns, std::span<const double> targets,
                     std::size_t n_vars, const SearchParams& params, const StopRequest& should_stop) {
    return Search(columns, targets, n_vars, params, should_stop).run();
}

}  // namespace zyl::discover
