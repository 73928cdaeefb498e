#pragma once
// Weighted linear least squares of a target on a few columns and an
// intercept, y ~ b0 + b1*g1 + ... + bk*gk, through the centred normal
// equations (or through the origin, b0 = 0, on the raw ones). Sums run in index order, so the fit is the same bits wherever
// it is computed.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "scaling.hpp"

namespace zyl::regress {

struct LinearFit {
    std::vector<double> coefficients;  // one per column
    double intercept = 0.0;  // 0 for a fit through the origin
    double sse = 0.0;  // weighted
};

// Nothing when the columns are (numerically) linearly dependent, one of
// them is constant (with an intercept) or zero, or a sum is not finite.
std::optional<LinearFit> fit_linear(std::span<const std::span<const double>> columns, std::span<const double> y,
                                    Weights w = {}, bool intercept = true);

}  // namespace zyl::regress
