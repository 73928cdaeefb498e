#pragma once
// Fitting the constant leaves of a level's most promising candidates, to y
// or to the residual target a candidate explains best.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "search_state.hpp"

namespace zyl::regress::stage {

struct Fitted {
    bool ok = false;
    Formula formula;
    std::vector<double> values;
    std::vector<double> shadow;
    double error = kInf;  // against y, whatever the target fitted
    std::size_t evaluations = 0;
};

// Fits the constants of moves[ids[i]] to targets[i] in parallel; false when
// stopped. Out of time, the fits not made leave their structures unfitted
// and s.budget_spent is set.
bool fit_all(State& s, const std::vector<Move>& moves, const std::vector<std::uint32_t>& ids,
             const std::vector<std::span<const double>>& targets, std::vector<Fitted>& fitted);

}  // namespace zyl::regress::stage
