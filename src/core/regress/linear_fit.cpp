#include "linear_fit.hpp"

#include <cmath>

#include "elimination.hpp"

namespace zyl::regress {
namespace {

// A pivot this small against the diagonal it came from means a column is
// (nearly) a combination of the others: its coefficient would be noise.
constexpr double kDependent = 1e-10;

}  // namespace

std::optional<LinearFit> fit_linear(std::span<const std::span<const double>> columns, std::span<const double> y,
                                    Weights w, bool intercept) {
    const std::size_t k = columns.size();
    const std::size_t n = y.size();
    if (n == 0) return std::nullopt;
    for (auto c : columns)
        if (c.size() != n) return std::nullopt;
    const double total = weight_total(w, n);
    // Without an intercept the means stay 0: the columns are taken as they are.
    std::vector<double> mean(k, 0.0);
    double mean_y = 0.0;
    if (intercept) {
        for (std::size_t i = 0; i < n; ++i) {
            const double wi = weight(w, i);
            mean_y += wi * y[i];
            for (std::size_t j = 0; j < k; ++j) mean[j] += wi * columns[j][i];
        }
        mean_y /= total;
        for (double& m : mean) m /= total;
    }
    // Gram matrix and right-hand side of the centred columns.
    std::vector<double> a(k * k, 0.0), b(k, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double wi = weight(w, i);
        const double yi = y[i] - mean_y;
        for (std::size_t r = 0; r < k; ++r) {
            const double gr = wi * (columns[r][i] - mean[r]);
            b[r] += gr * yi;
            for (std::size_t c = r; c < k; ++c) a[r * k + c] += gr * (columns[c][i] - mean[c]);
        }
    }
    for (std::size_t r = 0; r < k; ++r)
        for (std::size_t c = 0; c < r; ++c) a[r * k + c] = a[c * k + r];
    std::vector<double> diagonal(k);
    for (std::size_t r = 0; r < k; ++r) {
        diagonal[r] = a[r * k + r];
        if (!(diagonal[r] > 0.0) || !std::isfinite(diagonal[r])) return std::nullopt;
    }
    // Elimination with the columns scaled to a unit diagonal, so that the
    // dependence test reads the same for columns of any size.
    for (std::size_t r = 0; r < k; ++r) {
        for (std::size_t c = 0; c < k; ++c) a[r * k + c] /= std::sqrt(diagonal[r] * diagonal[c]);
        b[r] /= std::sqrt(diagonal[r]);
    }
    LinearFit fit;
    if (!solve_pivoted(a, b, k, kDependent, fit.coefficients)) return std::nullopt;
    fit.intercept = mean_y;
    for (std::size_t j = 0; j < k; ++j) {
        fit.coefficients[j] /= std::sqrt(diagonal[j]);
        fit.intercept -= fit.coefficients[j] * mean[j];
    }
    for (std::size_t i = 0; i < n; ++i) {
        double r = fit.intercept - y[i];
        for (std::size_t j = 0; j < k; ++j) r += fit.coefficients[j] * columns[j][i];
        fit.sse += weight(w, i) * r * r;
    }
    for (double c : fit.coefficients)
        if (!std::isfinite(c)) return std::nullopt;
    if (!std::isfinite(fit.sse)) return std::nullopt;
    return fit;
}

}  // namespace zyl::regress
