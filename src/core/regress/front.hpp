#pragma once
// The Pareto front of complexity against error, and the rule that picks one
// formula from it.
#include <cstddef>
#include <span>
#include <vector>

#include "formula.hpp"

namespace zyl::regress {

struct Scored {
    Formula formula;
    double rmse;
};

// The best formula of each complexity (the earliest among equal errors), in
// increasing complexity, keeping only those strictly better than every
// simpler one. Candidates with a non-finite error take no part.
std::vector<Scored> pareto_front(std::span<const Scored> candidates);

// The selected formula: the least n * ln(mse) + ln(n) * complexity (the
// information criterion with every term counted as a parameter), where
// an mse below (kExactRelative * rms(y))^2 counts as that floor, so that among
// formulas exact to rounding the simplest wins and noise buys no terms.
// Index into front; 0 for an empty front.
std::size_t select_best(std::span<const Scored> front, std::span<const double> y);

}  // namespace zyl::regress
