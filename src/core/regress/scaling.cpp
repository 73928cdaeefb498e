#include "scaling.hpp"

#include <cmath>

namespace zyl::regress {
namespace {

double weighted_mean(std::span<const double> v, Weights w, double total) {
    double s = 0.0;
    for (std::size_t i = 0; i < v.size(); ++i) s += weight(w, i) * v[i];
    return s / total;
}

// Spread below this fraction of the mean's size is rounding noise, not a
// signal a scale could fit.
constexpr double kFlatRelative = 1e-12;

bool flat(double sff, double mf, double total) {
    const double floor = kFlatRelative * kFlatRelative * mf * mf * total;
    return !(sff > floor) || !std::isfinite(sff);
}

}  // namespace

double weight_total(Weights w, std::size_t n) {
    if (w.empty()) return static_cast<double>(n);
    double s = 0.0;
    for (double x : w) s += x;
    return s;
}

double sum_squared_residuals(std::span<const double> f, std::span<const double> y, double scale, double offset,
                             Weights w) {
    double s = 0.0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double r = scale * f[i] + offset - y[i];
        s += weight(w, i) * r * r;
    }
    return s;
}

std::optional<Scaling> fit_scaling(std::span<const double> f, std::span<const double> y, Weights w) {
    const std::size_t n = f.size();
    if (n == 0 || y.size() != n) return std::nullopt;
    const double total = weight_total(w, n);
    const double mf = weighted_mean(f, w, total);
    const double my = weighted_mean(y, w, total);
    double sff = 0.0;
    double sfy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double df = f[i] - mf;
        const double wdf = weight(w, i) * df;
        sff += wdf * df;
        sfy += wdf * (y[i] - my);
    }
    if (flat(sff, mf, total)) return std::nullopt;
    const double a = sfy / sff;
    const double b = my - a * mf;
    const double sse = sum_squared_residuals(f, y, a, b, w);
    if (!std::isfinite(sse)) return std::nullopt;
    return Scaling{a, b, sse};
}

std::optional<Scaling> fit_scale_with_offset(std::span<const double> f, std::span<const double> y, double offset,
                                             Weights w) {
    double sff = 0.0;
    double sfy = 0.0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double wf = weight(w, i) * f[i];
        sff += wf * f[i];
        sfy += wf * (y[i] - offset);
    }
    if (!(sff > 0.0) || !std::isfinite(sff)) return std::nullopt;
    const double a = sfy / sff;
    return Scaling{a, offset, sum_squared_residuals(f, y, a, offset, w)};
}

Scaling fit_offset_with_scale(std::span<const double> f, std::span<const double> y, double scale, Weights w) {
    double s = 0.0;
    for (std::size_t i = 0; i < f.size(); ++i) s += weight(w, i) * (y[i] - scale * f[i]);
    const double b = f.empty() ? 0.0 : s / weight_total(w, f.size());
    return Scaling{scale, b, sum_squared_residuals(f, y, scale, b, w)};
}

bool normalise(std::span<const double> f, std::span<double> out) {
    const std::size_t n = f.size();
    if (n == 0) return false;
    const double total = static_cast<double>(n);
    const double mf = weighted_mean(f, {}, total);
    double sff = 0.0;
    for (double x : f) sff += (x - mf) * (x - mf);
    if (flat(sff, mf, total)) return false;
    const double inv = 1.0 / std::sqrt(sff / total);
    double sign = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = (f[i] - mf) * inv;
        if (sign == 0.0 && std::fabs(out[i]) > 1e-3) sign = out[i] > 0.0 ? 1.0 : -1.0;
    }
    if (sign < 0.0)
        for (std::size_t i = 0; i < n; ++i) out[i] = -out[i];
    return true;
}

}  // namespace zyl::regress
