#include "search.hpp"

#include "search_front.hpp"
#include "search_generation.hpp"
#include "search_level.hpp"
#include "search_state.hpp"
#include "search_stopped.hpp"

namespace zyl::regress {

Outcome search(const Columns& data, std::span<const double> y, std::span<const double> weights,
               const Options& options, const Hooks& hooks) {
    stage::State s(data, y, weights, options, hooks);
    if (s.n == 0 || y.size() != s.n || data.columns.empty()) return s.outcome;
    stage::seed(s);
    for (std::size_t c = 2; c <= options.max_complexity; ++c) {
        if (s.should_stop()) return stage::stopped_outcome(s);
        if (s.best_error <= s.exact_error || s.budget_spent || s.over_time()) break;
        if (!stage::level(s, c)) return stage::stopped_outcome(s);
        LevelReport report{c, s.last_candidates, s.best_error, s.elapsed()};
        if (hooks.level_done && !hooks.level_done(report)) {
            s.ended_early = true;
            break;
        }
    }
    if (s.should_stop() || !stage::finish_front(s)) return stage::stopped_outcome(s);
    return s.outcome;
}

}  // namespace zyl::regress
