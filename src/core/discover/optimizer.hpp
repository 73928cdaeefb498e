#pragma once
// Fits the Param slots of an expression to data: damped Gauss-Newton with a
// diagonal normal matrix and forward differences.
#include <span>
#include <vector>

#include "expr.hpp"

namespace zyl::discover {

// Root-mean-square error over min(predictions, targets) rows, summed in
// index order from -0.0 and divided by the number of targets (NaN for none).
double rmse(std::span<const double> predictions, std::span<const double> targets);

struct Fit {
    std::vector<double> params;
    double error;  // belongs to params; +inf when they cannot be evaluated
};

// Never raises. With no initial values this is the plain rmse of the
// expression. Rows beyond the shorter of predictions and targets take no part.
Fit optimize(const Expr& expr, std::span<const std::vector<double>> columns, std::span<const double> targets,
             std::span<const double> initial);

}  // namespace zyl::discover
