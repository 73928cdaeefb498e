#include "scaling.hpp"

#include <cmath>

namespace zyl::regress {
namespace {

double mean(std::span<const double> v) {
    double s = 0.0;
    for (double x : v) s += x;
    return s / static_cast<double>(v.size());
}

// Spread below this fraction of the mean's size is rounding noise, not a
// signal a scale could fit.
constexpr double kFlatRelative = 1e-12;

bool flat(double sff, double mf, std::size_t n) {
    const double floor = kFlatRelative * kFlatRelative * mf * mf * static_cast<double>(n);
    return !(sff > floor) || !std::isfinite(sff);
}

}  // namespace

double sum_squared_residuals(std::span<const double> f, std::span<const double> y, double scale, double offset) {
    double s = 0.0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double r = scale * f[i] + offset - y[i];
        s += r * r;
    }
    return s;
}

std::optional<Scaling> fit_scaling(std::span<const double> f, std::span<const double> y) {
    const std::size_t n = f.size();
    if (n == 0 || y.size() != n) return std::nullopt;
    const double mf = mean(f);
    const double my = mean(y);
    double sff = 0.0;
    double sfy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double df = f[i] - mf;
        sff += df * df;
        sfy += df * (y[i] - my);
    }
    if (flat(sff, mf, n)) return std::nullopt;
    const double a = sfy / sff;
    const double b = my - a * mf;
    const double sse = sum_squared_residuals(f, y, a, b);
    if (!std::isfinite(sse)) return std::nullopt;
    return Scaling{a, b, sse};
}

std::optional<Scaling> fit_scale_with_offset(std::span<const double> f, std::span<const double> y, double offset) {
    double sff = 0.0;
    double sfy = 0.0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        sff += f[i] * f[i];
        sfy += f[i] * (y[i] - offset);
    }
    if (!(sff > 0.0) || !std::isfinite(sff)) return std::nullopt;
    const double a = sfy / sff;
    return Scaling{a, offset, sum_squared_residuals(f, y, a, offset)};
}

Scaling fit_offset_with_scale(std::span<const double> f, std::span<const double> y, double scale) {
    double s = 0.0;
    for (std::size_t i = 0; i < f.size(); ++i) s += y[i] - scale * f[i];
    const double b = f.empty() ? 0.0 : s / static_cast<double>(f.size());
    return Scaling{scale, b, sum_squared_residuals(f, y, scale, b)};
}

bool normalise(std::span<const double> f, std::span<double> out) {
    const std::size_t n = f.size();
    if (n == 0) return false;
    const double mf = mean(f);
    double sff = 0.0;
    for (double x : f) sff += (x - mf) * (x - mf);
    if (flat(sff, mf, n)) return false;
    const double inv = 1.0 / std::sqrt(sff / static_cast<double>(n));
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
