#include "search.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

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
// Work of one parallel scoring phase, in samples times operations: the
// caller's stop request is asked between phases, so this bounds the time
// between two asks whatever the sample count (about 10-50 ms on one thread).
constexpr double kWorkPerPhase = 1 << 23;
// Rough cost of one operation on one sample, for the pool's small-job test.
constexpr double kNsPerSampleOp = 2.0;

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
// it), generation order among equals.
bool ranks_before(double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

// A pool member: its expression, its values at the probes, and what it keeps
// of its values on the data (null pointers beyond the memory budget).
struct Member {
    Expr expr;
    ProbeValues probes;
    bool scorable = false;  // its own evaluation on the data succeeds
    const double* values = nullptr;
    const double* exp_term = nullptr;  // zyl's term of a first operand
    const double* log_term = nullptr;  // zyl's term of a second operand
};

// A generated candidate: the last operation applied to pool members a (and b).
struct Candidate {
    Op op;
    std::uint32_t a;
    std::uint32_t b;
};

struct Score {
    double error;
    bool ok;
};

// One worker's scratch: evaluators for operands that keep no values.
struct Scratch {
    ColumnEvaluator first;
    ColumnEvaluator second;
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
            if (!score() || reached_goal()) return finish();
            if (!grow_pool()) return finish();
        }
        return finish();
    }

private:
    bool stop_requested() {
        if (!outcome_.interrupted && should_stop_ && should_stop_()) outcome_.interrupted = true;
        return outcome_.interrupted;
    }

    // The pool asks this on the calling thread while a parallel phase runs.
    MapControl control(double element_cost_ns) {
        return MapControl{[](void* self) { return static_cast<Search*>(self)->stop_requested(); }, this,
                          element_cost_ns};
    }

    void admit_seed(Expr seed, std::vector<Expr>& seeds) {
        ++outcome_.generated;
        auto v = probes_.values(seed, probe_evaluator_);
        if (v && duplicates_.insert(fingerprint_of(*v))) {
            seeds.push_back(std::move(seed));
            level_probes_.push_back(*v);
        }
        if (outcome_.generated % kStopCheckInterval == 0) stop_requested();
    }

    // Seeds are scored as whole expressions; each keeps its values (a
    // variable's are its input column) for the levels built on it.
    bool score_seeds(std::vector<Expr> seeds) {
        std::vector<std::optional<SearchResult>> results(seeds.size());
        for (std::size_t k = 0; k < seeds.size(); ++k) {
            Member m{seeds[k], level_probes_[k]};
            if (data_ && evaluator_for_seeds_.run(seeds[k], data_->columns, samples_, {})) {
                m.scorable = true;
                auto values = evaluator_for_seeds_.values();
                const Node& node = seeds[k].nodes.front();
                if (node.kind == NodeKind::Var && node.index < data_->columns.size()) {
                    m.values = data_->columns[node.index];
                } else if (double* kept = store_.take()) {
                    std::copy(values.begin(), values.end(), kept);
                    m.values = kept;
                }
                keep_zyl_terms(m);
                results[k] = score_one(seeds[k], evaluator_for_seeds_, *data_, targets_, params_);
            }
            pool_.push_back(std::move(m));
        }
        outcome_.scored += seeds.size();
        if (stop_requested()) return false;
        std::vector<SearchResult> scored;
        for (auto& r : results)
            if (r) scored.push_back(std::move(*r));
        update_best(best_, scored);
        fresh_ = 0;
        return true;
    }

    void keep_zyl_terms(Member& m) {
        if (!m.values || !params_.use_zyl) return;
        double* e = store_.take();
        double* l = e ? store_.take() : nullptr;
        if (!l) return;
        for (std::size_t i = 0; i < samples_; ++i) {
            e[i] = rules::zyl_exp_term(m.values[i]);
            l[i] = rules::zyl_log_term(m.values[i]);
        }
        m.exp_term = e;
        m.log_term = l;
    }

    // The candidate op(a, b) gets its probe values from its operands' ones:
    // evaluating its node list at a probe applies op to exactly these values.
    // Only admitted candidates are recorded.
    bool offer(Op op, std::uint32_t a, const std::uint32_t* b) {
        ++outcome_.generated;
        ProbeValues v;
        if (apply_column(op, pool_[a].probes.data(), b ? pool_[*b].probes.data() : nullptr, v.data(),
                         kProbeCount) &&
            duplicates_.insert(fingerprint_of(v))) {
            level_.push_back(Candidate{op, a, b ? *b : a});
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
        const auto n = static_cast<std::uint32_t>(pool_.size());
        const auto fresh = static_cast<std::uint32_t>(fresh_);
        fresh_ = n;
        for (std::uint32_t p = fresh; p < n; ++p)
            for (Op u : unary_)
                if (!offer(u, p, nullptr)) return false;
        for (std::uint32_t i = fresh; i < n; ++i) {
            const std::size_t size_a = pool_[i].expr.complexity();
            for (std::uint32_t j = 0; j <= i; ++j) {
                if (size_a + pool_[j].expr.complexity() >= params_.max_complexity) continue;
                for (Op o : binary_) {
                    if (!offer(o, i, &j)) return false;
                    if (o == Op::Zyl || o == Op::Sub || o == Op::Div) {
                        if (!offer(o, j, &i)) return false;
                    }
                }
            }
        }
        return true;
    }

    std::size_t complexity(const Candidate& c) const {
        std::size_t size = pool_[c.a].expr.complexity() + 1;
        if (arity(c.op) == 2) size += pool_[c.b].expr.complexity();
        return size;
    }

    // Values of member m on the data: kept, or evaluated into the scratch.
    const double* values_of(std::uint32_t m, ColumnEvaluator& evaluator) const {
        const Member& member = pool_[m];
        if (!member.scorable) return nullptr;
        if (member.values || samples_ == 0) return member.values;
        if (!evaluator.run(member.expr, data_->columns, samples_, {})) return nullptr;
        return evaluator.values().data();
    }

    // The squared-error sum of candidate c, or nothing when it cannot be
    // evaluated: the same outcome and bits as evaluating its node list.
    std::optional<double> sum_of(const Candidate& c, Scratch& scratch) const {
        const Member& a = pool_[c.a];
        const Member& b = pool_[c.b];
        if (!a.scorable || !b.scorable) return std::nullopt;
        if (c.op == Op::Zyl && a.exp_term && b.log_term)
            return squared_error_sum(Op::Sub, a.exp_term, b.log_term, samples_, targets_);
        const double* va = values_of(c.a, scratch.first);
        const double* vb = arity(c.op) == 2 ? values_of(c.b, scratch.second) : va;
        if (samples_ > 0 && (!va || !vb)) return std::nullopt;
        return squared_error_sum(c.op, va, vb, samples_, targets_);
    }

    // Estimated cost of scoring c, in samples times operations.
    double cost(const Candidate& c) const {
        double ops = 1.0;
        if (!pool_[c.a].values) ops += static_cast<double>(pool_[c.a].expr.complexity());
        if (arity(c.op) == 2 && !pool_[c.b].values) ops += static_cast<double>(pool_[c.b].expr.complexity());
        return ops * static_cast<double>(samples_ + 1);
    }

    // Scores level_ into scores_ (in candidate order), phase by phase, and
    // updates best; false when interrupted.
    bool score() {
        const std::size_t count = level_.size();
        scores_.assign(count, Score{0.0, false});
        const double penalty = params_.complexity_penalty;
        for (std::size_t first = 0; first < count;) {
            std::size_t end = first;
            double work = 0.0;
            while (end < count && (end == first || work < kWorkPerPhase)) work += cost(level_[end++]);
            if (data_) {
                auto body = [&](std::size_t worker, std::size_t k) {
                    const Candidate& c = level_[first + k];
                    auto sum = sum_of(c, scratch_[worker]);
                    if (!sum) return;
                    double error = rmse_of_sum(*sum, targets_.size());
                    error = error * (static_cast<double>(complexity(c)) * penalty + 1.0);
                    scores_[first + k] = Score{error, true};
                };
                const double per = work / static_cast<double>(end - first) * kNsPerSampleOp;
                if (parallel_for_workers(end - first, body, control(per)) == kCancelled) outcome_.interrupted = true;
            }
            outcome_.scored += end - first;
            if (stop_requested()) return false;
            first = end;
        }
        update_level_best();
        return true;
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
            if (!scores_[k].ok) continue;
            if (!current || *current > scores_[k].error) {
                current = scores_[k].error;
                winner = k;
            }
        }
        if (winner == level_.size()) return;
        const Candidate& c = level_[winner];
        best_ = SearchResult{{}, {}, expr_of(c), scores_[winner].error, complexity(c)};
    }

    // The best quarter of the beam joins the pool, in rank order, and keeps
    // its values while the budget lasts. Only the first floor(beam_width / 4)
    // ranks matter, so only they are sorted; the index tie-break makes this
    // the stable order. False when interrupted.
    bool grow_pool() {
        std::vector<std::uint32_t> order;
        for (std::size_t k = 0; k < level_.size(); ++k)
            if (scores_[k].ok) order.push_back(static_cast<std::uint32_t>(k));
        const std::size_t joining = std::min(params_.beam_width / 4, order.size());
        std::partial_sort(order.begin(), order.begin() + joining, order.end(), [&](std::uint32_t x, std::uint32_t y) {
            double ex = scores_[x].error, ey = scores_[y].error;
            if (ranks_before(ex, ey)) return true;
            if (ranks_before(ey, ex)) return false;
            return x < y;
        });
        order.resize(joining);
        std::vector<Member> joiners(joining);
        std::vector<double*> kept(joining, nullptr);
        for (std::size_t k = 0; k < joining; ++k) {
            const Candidate& c = level_[order[k]];
            joiners[k].expr = expr_of(c);
            joiners[k].probes = level_probes_[order[k]];
            joiners[k].scorable = true;
            kept[k] = store_.take();
        }
        // Joiners keep their values (and zyl's terms) while memory lasts.
        std::vector<std::pair<double*, double*>> terms(joining, {nullptr, nullptr});
        if (params_.use_zyl)
            for (std::size_t k = 0; k < joining && kept[k]; ++k) {
                double* e = store_.take();
                double* l = e ? store_.take() : nullptr;
                if (!l) break;
                terms[k] = {e, l};
            }
        auto body = [&](std::size_t worker, std::size_t k) {
            if (!kept[k]) return;
            const Candidate& c = level_[order[k]];
            const double* va = values_of(c.a, scratch_[worker].first);
            const double* vb = arity(c.op) == 2 ? values_of(c.b, scratch_[worker].second) : va;
            apply_column(c.op, va, vb, kept[k], samples_);
            if (auto [e, l] = terms[k]; e) {
                for (std::size_t i = 0; i < samples_; ++i) {
                    e[i] = rules::zyl_exp_term(kept[k][i]);
                    l[i] = rules::zyl_log_term(kept[k][i]);
                }
            }
        };
        if (samples_ > 0 && data_) {
            const double per = static_cast<double>(samples_) * 4.0 * kNsPerSampleOp;
            if (parallel_for_workers(joining, body, control(per)) == kCancelled) outcome_.interrupted = true;
            if (stop_requested()) return false;
        }
        for (std::size_t k = 0; k < joining; ++k) {
            joiners[k].values = kept[k];
            joiners[k].exp_term = terms[k].first;
            joiners[k].log_term = terms[k].second;
            pool_.push_back(std::move(joiners[k]));
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
    DuplicateSet duplicates_;
    std::vector<Op> unary_;
    std::vector<Op> binary_;
    std::vector<Member> pool_;
    std::size_t fresh_ = 0;  // pool members from here on have not been expanded yet
    std::vector<Candidate> level_;
    std::vector<ProbeValues> level_probes_;
    std::vector<Score> scores_;
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
