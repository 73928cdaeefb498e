#include "search.hpp"

#include <algorithm>
#include <cmath>

#include "fingerprint.hpp"
#include "optimizer.hpp"
#include "pool/worker_pool.hpp"
#include "render.hpp"

namespace zyl::discover {
namespace {

// How often generation pauses to ask whether the caller wants to stop, and
// how many candidates one parallel scoring phase takes at most.
constexpr std::size_t kStopCheckInterval = 4096;
constexpr std::size_t kScoringBlock = 16384;

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

// One evaluator (its scratch columns) per worker, owned by the caller so that
// nothing outlives the search call.
std::vector<ColumnEvaluator> evaluators_for_pool() {
    return std::vector<ColumnEvaluator>(zyl::WorkerPool::instance().worker_slots());
}

// Slot i holds the result of candidates[first + i], or nothing when it could
// not be scored.
void score_block(std::vector<Expr>& candidates, std::size_t first, std::vector<std::optional<SearchResult>>& slots,
                 std::vector<ColumnEvaluator>& evaluators, const std::optional<ColumnView>& data,
                 std::span<const double> targets, const SearchParams& params) {
    const std::size_t count = slots.size();
    if (!data) return;
    zyl::parallel_for_workers(count, [&](std::size_t worker, std::size_t i) {
        slots[i] = score_one(candidates[first + i], evaluators[worker], *data, targets, params);
    });
}

// Ranking: ascending error, NaN after every number (a consistent place for
// it), generation order among equals.
bool ranks_before(double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

struct Pool {
    std::vector<Expr> exprs;
    std::vector<ProbeValues> probes;
};

// One search call's working state.
class Search {
public:
    Search(std::span<const std::vector<double>> columns, std::span<const double> targets, std::size_t n_vars,
           const SearchParams& params, const StopRequest& should_stop)
        : targets_(targets), n_vars_(n_vars), params_(params), should_stop_(should_stop), probes_(n_vars),
          data_(view_columns(columns)) {
        unary_ = {Op::Neg, Op::Inv, Op::Exp, Op::Ln, Op::Sqrt};
        if (params.use_trig) {
            unary_.push_back(Op::Sin);
            unary_.push_back(Op::Cos);
        }
        binary_ = {Op::Add, Op::Sub, Op::Mul, Op::Div};
        if (params.use_zyl) binary_.push_back(Op::Zyl);
    }

    SearchOutcome run() {
        admit_seed(leaf(Node::constant(0.0)));
        admit_seed(leaf(Node::constant(1.0)));
        for (std::size_t j = 0; j < n_vars_ && !outcome_.interrupted; ++j) admit_seed(leaf(Node::var(j)));
        if (outcome_.interrupted) return finish();
        // Every admitted seed builds the next level, scorable or not.
        pool_.exprs = level_;
        pool_.probes = level_probes_;
        if (!score() || reached_goal() || params_.max_complexity < 2) return finish();
        for (std::size_t level = 2; level <= params_.max_complexity; ++level) {
            if (!generate()) return finish();
            if (level_.empty()) break;
            if (!score() || reached_goal()) return finish();
            grow_pool();
        }
        return finish();
    }

private:
    bool stop_requested() {
        if (!outcome_.interrupted && should_stop_ && should_stop_()) outcome_.interrupted = true;
        return outcome_.interrupted;
    }

    void admit_seed(Expr seed) {
        ++outcome_.generated;
        auto v = probes_.values(seed, probe_evaluator_);
        if (v && duplicates_.insert(fingerprint_of(*v))) {
            level_.push_back(std::move(seed));
            level_probes_.push_back(*v);
        }
        if (outcome_.generated % kStopCheckInterval == 0) stop_requested();
    }

    // The candidate op(a, b) gets its probe values from its operands' ones:
    // evaluating its node list at a probe applies op to exactly these values.
    // Its node list is only built once it is admitted.
    template <class Build>
    bool offer(Op op, const ProbeValues& a, const ProbeValues* b, Build&& build) {
        ++outcome_.generated;
        ProbeValues v;
        if (apply_column(op, a.data(), b ? b->data() : nullptr, v.data(), kProbeCount) &&
            duplicates_.insert(fingerprint_of(v))) {
            level_.push_back(build());
            level_probes_.push_back(v);
        }
        return outcome_.generated % kStopCheckInterval != 0 || !stop_requested();
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
        level_probes_.clear();
        const std::size_t n = pool_.exprs.size();
        const std::size_t fresh = fresh_;
        fresh_ = n;
        for (std::size_t p = fresh; p < n; ++p)
            for (Op u : unary_)
                if (!offer(u, pool_.probes[p], nullptr, [&] { return extended(pool_.exprs[p], u); })) return false;
        for (std::size_t i = fresh; i < n; ++i) {
            const Expr& a = pool_.exprs[i];
            for (std::size_t j = 0; j <= i; ++j) {
                const Expr& b = pool_.exprs[j];
                if (a.complexity() + b.complexity() >= params_.max_complexity) continue;
                for (Op o : binary_) {
                    if (!offer(o, pool_.probes[i], &pool_.probes[j], [&] { return combined(a, b, o); })) return false;
                    if (o == Op::Zyl || o == Op::Sub || o == Op::Div) {
                        if (!offer(o, pool_.probes[j], &pool_.probes[i], [&] { return combined(b, a, o); }))
                            return false;
                    }
                }
            }
        }
        return true;
    }

    // Scores level_ into results_ (in candidate order) and updates best;
    // false when interrupted.
    bool score() {
        const std::size_t count = level_.size();
        results_.clear();
        origin_.clear();
        std::vector<std::optional<SearchResult>> slots;
        for (std::size_t first = 0; first < count; first += kScoringBlock) {
            slots.assign(std::min(kScoringBlock, count - first), std::nullopt);
            score_block(level_, first, slots, evaluators_, data_, targets_, params_);
            outcome_.scored += slots.size();
            if (stop_requested()) return false;
            for (std::size_t i = 0; i < slots.size(); ++i) {
                if (!slots[i]) continue;
                results_.push_back(std::move(*slots[i]));
                origin_.push_back(first + i);
            }
        }
        update_best(best_, results_);
        return true;
    }

    // The best quarter of the beam joins the pool, in rank order. Only the
    // first floor(beam_width / 4) ranks matter, so only they are sorted; the
    // index tie-break makes this the stable order.
    void grow_pool() {
        std::vector<std::size_t> order(results_.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        const std::size_t joining = std::min(params_.beam_width / 4, results_.size());
        std::partial_sort(order.begin(), order.begin() + joining, order.end(), [&](std::size_t x, std::size_t y) {
            double ex = results_[x].error, ey = results_[y].error;
            if (ranks_before(ex, ey)) return true;
            if (ranks_before(ey, ex)) return false;
            return x < y;
        });
        for (std::size_t k = 0; k < joining; ++k) {
            pool_.exprs.push_back(std::move(results_[order[k]].expr));
            pool_.probes.push_back(level_probes_[origin_[order[k]]]);
        }
    }

    bool reached_goal() const { return best_ && params_.precision_goal >= best_->error; }

    SearchOutcome finish() {
        if (!outcome_.interrupted) outcome_.best = std::move(best_);
        return std::move(outcome_);
    }

    std::span<const double> targets_;
    std::size_t n_vars_;
    const SearchParams& params_;
    const StopRequest& should_stop_;
    Probes probes_;
    ColumnEvaluator probe_evaluator_;
    std::vector<ColumnEvaluator> evaluators_ = evaluators_for_pool();
    std::optional<ColumnView> data_;
    DuplicateSet duplicates_;
    std::vector<Op> unary_;
    std::vector<Op> binary_;
    Pool pool_;
    std::size_t fresh_ = 0;  // pool members from here on have not been expanded yet
    std::vector<Expr> level_;
    std::vector<ProbeValues> level_probes_;
    std::vector<SearchResult> results_;
    std::vector<std::size_t> origin_;  // candidate index of each result
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
    std::vector<ColumnEvaluator> evaluators = evaluators_for_pool();
    score_block(candidates, 0, slots, evaluators, view_columns(columns), targets, params);
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
