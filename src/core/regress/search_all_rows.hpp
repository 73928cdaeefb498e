#pragma once
// The last stage of a search that ranked its candidates on a row sample:
// the front found there is refitted and judged on every row, read in blocks
// (blockwise_fit.hpp), and selected again. An exact constant stays exact only
// when it still lies inside its uncertainty on every row (the profile test of
// finish.hpp); otherwise it is fitted with the others.
#include <chrono>
#include <span>

#include "search.hpp"

namespace zyl::regress::stage {

// `ranked`: the finished, not stopped, outcome on the sample; `start`: when
// the search began. Stopped by the hooks, it comes back marked stopped, as
// found on the sample. Past the time limit, the formulas not yet refitted
// keep their constants and only have their statistics taken on every row.
Outcome refit_on_all_rows(Outcome ranked, const Columns& data, std::span<const double> y,
                          std::span<const double> weights, const Options& options, const Hooks& hooks,
                          std::chrono::steady_clock::time_point start);

}  // namespace zyl::regress::stage
