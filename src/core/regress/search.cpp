#include "search.hpp"

#include <vector>

#include "row_sample.hpp"
#include "search_all_rows.hpp"
#include "search_front.hpp"
#include "search_generation.hpp"
#include "search_level.hpp"
#include "search_state.hpp"
#include "search_stopped.hpp"

namespace zyl::regress {
namespace {

// Candidates are ranked, fitted and finished on at most this many rows,
// evenly spread, so that the search's time and memory do not grow with the
// row count; the front found is then refitted and judged on every row.
constexpr std::size_t kRankRows = 2048;
// Of a time limit, the share the search on the sample may take; the rest is
// for the refit on every row.
constexpr double kSampleTimeShare = 0.75;
// Past this complexity, a level is begun only while the best error still
// falls, by at least the factor kDeeperProgress over the last two levels:
// on a law already found, further levels only fit its noise, by a few
// percent each, at the cost of the largest levels of all. (The neighbour
// estimate of the noise cannot make that call: with several inputs it
// counts much of the law's own change between samples.)
constexpr std::size_t kSureComplexity = 10;
constexpr double kDeeperProgress = 0.9;

// best[k]: the best error after level k.
bool worth_level(const stage::State& s, std::size_t c, const std::vector<double>& best) {
    if (c <= kSureComplexity || c < 4) return true;
    return best[c - 1] < kDeeperProgress * best[c - 3];
}

Outcome staged(const Columns& data, std::span<const double> y, std::span<const double> weights,
               const Options& options, const Hooks& hooks) {
    stage::State s(data, y, weights, options, hooks);
    if (s.n == 0 || y.size() != s.n || data.columns.empty()) return s.outcome;
    stage::seed(s);
    std::vector<double> best(options.max_complexity + 1, stage::kInf);
    for (std::size_t c = 2; c <= options.max_complexity; ++c) {
        if (s.should_stop()) return stage::stopped_outcome(s);
        if (s.best_error <= s.exact_error || s.budget_spent || s.over_time()) break;
        if (!worth_level(s, c, best)) break;
        if (!stage::level(s, c)) return stage::stopped_outcome(s);
        best[c] = s.best_error;
        LevelReport report{c, s.last_candidates, s.best_error, s.elapsed()};
        if (hooks.level_done && !hooks.level_done(report)) {
            s.ended_early = true;
            break;
        }
    }
    if (s.should_stop() || !stage::finish_front(s)) return stage::stopped_outcome(s);
    return s.outcome;
}

}  // namespace

Outcome search(const Columns& data, std::span<const double> y, std::span<const double> weights,
               const Options& options, const Hooks& hooks) {
    if (y.size() != data.samples || data.columns.empty()) return staged(data, y, weights, options, hooks);
    if (data.samples <= kRankRows && data.stride == 1) return staged(data, y, weights, options, hooks);
    const auto start = std::chrono::steady_clock::now();
    const RowSample sample(data, y, weights, kRankRows);
    // Rows few enough to rank on all of them: the sample is all of them, in
    // columns of their own.
    if (sample.data().samples == data.samples)
        return staged(sample.data(), sample.y(), sample.w(), options, hooks);
    Options on_sample = options;
    on_sample.time_limit *= kSampleTimeShare;
    Outcome ranked = staged(sample.data(), sample.y(), sample.w(), on_sample, hooks);
    if (ranked.stopped || ranked.front.empty()) return ranked;
    return stage::refit_on_all_rows(std::move(ranked), data, y, weights, options, hooks, start);
}

}  // namespace zyl::regress
