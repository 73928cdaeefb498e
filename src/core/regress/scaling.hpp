#pragma once
// Closed-form least squares of a target against one candidate column:
// y ~ scale * f + offset. Every sum runs over the samples in index order,
// so the fit is the same bits wherever it is computed.
#include <optional>
#include <span>

namespace zyl::regress {

struct Scaling {
    double scale;
    double offset;
    double sse;  // sum of squared residuals of scale * f + offset - y
};

// Nothing when f is constant over the samples (numerically: its spread is
// negligible against its mean) or when no sums are finite.
std::optional<Scaling> fit_scaling(std::span<const double> f, std::span<const double> y);

// The best scale with the offset held at `offset`; nothing when f is all zero.
std::optional<Scaling> fit_scale_with_offset(std::span<const double> f, std::span<const double> y, double offset);

// The best offset with the scale held at `scale`.
Scaling fit_offset_with_scale(std::span<const double> f, std::span<const double> y, double scale);

double sum_squared_residuals(std::span<const double> f, std::span<const double> y, double scale, double offset);

// Values of f shifted to mean 0 and scaled to unit root-mean-square, sign
// chosen so that the first clearly non-zero value is positive: equal for all
// a*f + b with a != 0. Nothing when f is constant.
bool normalise(std::span<const double> f, std::span<double> out);

}  // namespace zyl::regress
