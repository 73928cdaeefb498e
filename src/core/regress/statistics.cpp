#include "statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "row_sample.hpp"

namespace zyl::regress {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Relative central-difference step: its error, of order step^2, stays far
// below any uncertainty worth reporting.
constexpr double kStep = 1e-6;
constexpr double kStepFloor = 1e-6;
// Pivots below this fraction of the matrix's (unit) diagonal mean
// constants the data cannot tell apart.
constexpr double kSingular = 1e-12;
constexpr std::size_t kNeighbourSamples = 2000;
// The one-input estimate sorts the rows it reads: at most an even spread of
// this many, so that its time and memory stay bounded at any row count.
constexpr std::size_t kLineSamples = std::size_t{1} << 17;

}  // namespace

double ConstantStatistics::standard_error(std::size_t j) const {
    const double v = covariance[j * size() + j];
    return v >= 0.0 ? std::sqrt(v) : kNaN;
}

std::optional<std::vector<double>> symmetric_inverse(std::span<const double> a, std::size_t k) {
    // Scaled to a unit diagonal first, so that the singularity test does not
    // depend on the constants' units.
    std::vector<double> scale(k);
    for (std::size_t i = 0; i < k; ++i) {
        if (!(a[i * k + i] > 0.0) || !std::isfinite(a[i * k + i])) return std::nullopt;
        scale[i] = 1.0 / std::sqrt(a[i * k + i]);
    }
    std::vector<double> m(k * 2 * k, 0.0);
    for (std::size_t r = 0; r < k; ++r) {
        for (std::size_t c = 0; c < k; ++c) m[r * 2 * k + c] = a[r * k + c] * scale[r] * scale[c];
        m[r * 2 * k + k + r] = 1.0;
    }
    for (std::size_t col = 0; col < k; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < k; ++r)
            if (std::fabs(m[r * 2 * k + col]) > std::fabs(m[pivot * 2 * k + col])) pivot = r;
        if (!(std::fabs(m[pivot * 2 * k + col]) > kSingular)) return std::nullopt;
        if (pivot != col)
            for (std::size_t c = 0; c < 2 * k; ++c) std::swap(m[col * 2 * k + c], m[pivot * 2 * k + c]);
        const double inv = 1.0 / m[col * 2 * k + col];
        for (std::size_t c = 0; c < 2 * k; ++c) m[col * 2 * k + c] *= inv;
        for (std::size_t r = 0; r < k; ++r) {
            if (r == col) continue;
            const double f = m[r * 2 * k + col];
            if (f == 0.0) continue;
            for (std::size_t c = 0; c < 2 * k; ++c) m[r * 2 * k + c] -= f * m[col * 2 * k + c];
        }
    }
    std::vector<double> out(k * k);
    for (std::size_t r = 0; r < k; ++r)
        for (std::size_t c = 0; c < k; ++c) out[r * k + c] = m[r * 2 * k + k + c] * scale[r] * scale[c];
    return out;
}

std::vector<double> covariance_of(std::span<const double> information, std::size_t k, double sse, std::size_t n) {
    std::vector<double> out(k * k, kNaN);
    if (k == 0 || n <= k) return out;
    if (auto inverse = symmetric_inverse(information, k)) {
        const double variance = sse / static_cast<double>(n - k);
        for (std::size_t e = 0; e < k * k; ++e) out[e] = (*inverse)[e] * variance;
    }
    return out;
}

std::optional<ConstantStatistics> constant_statistics(const Formula& f, const Columns& data,
                                                      std::span<const double> y, Evaluator& evaluator,
                                                      Weights w) {
    const std::size_t n = data.samples;
    if (!evaluator.run(f, data)) return std::nullopt;
    ConstantStatistics s;
    s.sse = sum_squared_residuals(evaluator.values(), y, 1.0, 0.0, w);
    s.plain_sse = w.empty() ? s.sse : sum_squared_residuals(evaluator.values(), y, 1.0, 0.0);
    if (!std::isfinite(s.sse)) return std::nullopt;
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i].free()) s.terms.push_back(i);
    const std::size_t k = s.terms.size();
    std::vector<double> jac(k * n, 0.0);
    std::vector<double> up(n);
    Formula g = f;
    for (std::size_t j = 0; j < k; ++j) {
        const double c = f[s.terms[j]].value;
        const double h = kStep * std::fmax(std::fabs(c), kStepFloor);
        g[s.terms[j]].value = c + h;
        if (!evaluator.run(g, data)) return std::nullopt;
        std::copy(evaluator.values().begin(), evaluator.values().end(), up.begin());
        g[s.terms[j]].value = c - h;
        if (!evaluator.run(g, data)) return std::nullopt;
        const auto down = evaluator.values();
        for (std::size_t i = 0; i < n; ++i) jac[j * n + i] = (up[i] - down[i]) / (2.0 * h);
        g[s.terms[j]].value = c;
    }
    s.information.assign(k * k, 0.0);
    for (std::size_t r = 0; r < k; ++r)
        for (std::size_t c = 0; c <= r; ++c) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) sum += weight(w, i) * jac[r * n + i] * jac[c * n + i];
            s.information[r * k + c] = s.information[c * k + r] = sum;
        }
    s.covariance = covariance_of(s.information, k, s.sse, n);
    return s;
}

namespace {

// One input: each sample against the straight line through its neighbours
// on either side (Gasser, Sroka and Jennen-Steinmetz, 1986), so that a slope
// adds nothing and only curvature and noise remain; equal inputs make it
// the difference of replicates.
double line_noise_variance(const double* x, std::span<const double> y, Weights w) {
    const std::size_t n = y.size();
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
    double total = 0.0;
    std::size_t counted = 0;
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const std::size_t l = order[k - 1], i = order[k], r = order[k + 1];
        const double span = x[r] - x[l];
        if (!(span > 0.0)) continue;
        const double a = (x[r] - x[i]) / span, b = (x[i] - x[l]) / span;
        const double e = a * y[l] + b * y[r] - y[i];
        const double spread = a * a / weight(w, l) + b * b / weight(w, r) + 1.0 / weight(w, i);
        const double v = e * e / spread;
        if (!std::isfinite(v)) continue;
        total += v;
        ++counted;
    }
    return counted > 0 ? total / static_cast<double>(counted) : 0.0;
}

}  // namespace

double neighbour_noise_variance(const Columns& data, std::span<const double> y, Weights w) {
    const std::size_t n = y.size();
    if (data.columns.size() == 1 && n >= 3) {
        const RowSample sample(data, y, w, kLineSamples);
        return line_noise_variance(sample.data().columns[0], sample.y(), sample.w());
    }
    const std::size_t m = std::min(n, kNeighbourSamples);
    if (m < 2) return 0.0;
    std::vector<std::size_t> rows(m);
    for (std::size_t k = 0; k < m; ++k) rows[k] = k * n / m;
    std::vector<double> inv_spread;
    for (std::size_t j = 0; j < data.columns.size(); ++j) {
        double mean = 0.0, ss = 0.0;
        for (std::size_t r : rows) mean += data.at(j, r);
        mean /= static_cast<double>(m);
        for (std::size_t r : rows) ss += (data.at(j, r) - mean) * (data.at(j, r) - mean);
        const double sd = std::sqrt(ss / static_cast<double>(m));
        inv_spread.push_back(sd > 0.0 && std::isfinite(sd) ? 1.0 / sd : 0.0);
    }
    double total = 0.0;
    std::size_t counted = 0;
    for (std::size_t a = 0; a < m; ++a) {
        double nearest = std::numeric_limits<double>::infinity();
        std::size_t partner = a;
        for (std::size_t b = 0; b < m; ++b) {
            if (b == a) continue;
            double d = 0.0;
            for (std::size_t j = 0; j < data.columns.size(); ++j) {
                const double t = (data.at(j, rows[a]) - data.at(j, rows[b])) * inv_spread[j];
                d += t * t;
            }
            if (d < nearest) {
                nearest = d;
                partner = b;
            }
        }
        if (partner == a) continue;
        const double wa = weight(w, rows[a]), wb = weight(w, rows[partner]);
        const double diff = y[rows[a]] - y[rows[partner]];
        const double v = diff * diff * (wa * wb / (wa + wb));
        if (!std::isfinite(v)) continue;
        total += v;
        ++counted;
    }
    return counted > 0 ? total / static_cast<double>(counted) : 0.0;
}

}  // namespace zyl::regress
