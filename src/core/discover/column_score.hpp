#pragma once
// Scoring a candidate o(a, b) straight from its operands' values: its own
// values are formed one sample at a time and folded into the squared-error
// sum, never stored.
#include <cstddef>
#include <optional>
#include <span>

#include "expr.hpp"

namespace zyl::discover {

// Sum over i < min(n, targets.size()) of (op(a[i], b[i]) - targets[i])^2, in
// index order from -0.0: the bits rmse() forms from the stored values. Nothing
// when op rejects any of the n samples or gives a non-finite value there (b is
// unused for unary operations).
std::optional<double> squared_error_sum(Op op, const double* a, const double* b, std::size_t n,
                                        std::span<const double> targets);

// rmse from such a sum: divided by the number of targets (NaN for none).
double rmse_of_sum(double sum, std::size_t n_targets);

}  // namespace zyl::discover
