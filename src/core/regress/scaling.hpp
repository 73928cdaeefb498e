#pragma once
// Closed-form least squares of a target against one candidate column:
// y ~ scale * f + offset, each sample counted with its weight. Every sum runs
// over the samples in index order, so the fit is the same bits wherever it is
// computed.
#include <cstddef>
#include <optional>
#include <span>

namespace zyl::regress {

// Per-sample weights of a fit; empty means every sample weighs 1, and the
// sums are then the unweighted ones bit for bit (x * 1.0 is x).
using Weights = std::span<const double>;
inline double weight(Weights w, std::size_t i) { return w.empty() ? 1.0 : w[i]; }
double weight_total(Weights w, std::size_t n);

struct Scaling {
    double scale;
    double offset;
    double sse;  // weighted sum of squared residuals of scale * f + offset - y
};

// Nothing when f is constant over the samples (numerically: its spread is
// negligible against its mean) or when no sums are finite.
std::optional<Scaling> fit_scaling(std::span<const double> f, std::span<const double> y, Weights w = {});

// The best scale with the offset held at `offset`; nothing when f is all zero.
std::optional<Scaling> fit_scale_with_offset(std::span<const double> f, std::span<const double> y, double offset,
                                             Weights w = {});

// The best offset with the scale held at `scale`.
Scaling fit_offset_with_scale(std::span<const double> f, std::span<const double> y, double scale, Weights w = {});

double sum_squared_residuals(std::span<const double> f, std::span<const double> y, double scale, double offset,
                             Weights w = {});

// Values of f shifted to mean 0 and scaled to unit root-mean-square, sign
// chosen so that the first clearly non-zero value is positive: equal for all
// a*f + b with a != 0. Nothing when f is constant.
bool normalise(std::span<const double> f, std::span<double> out);

}  // namespace zyl::regress
