#include "constant_fit.hpp"

#include <cmath>
#include <vector>

#include "elimination.hpp"

namespace zyl::regress {
namespace {

constexpr std::size_t kMaxConstants = 8;
constexpr double kInitialDamping = 1e-3;
constexpr double kMaxDamping = 1e12;
// Relative forward-difference step, with a floor for constants near zero.
constexpr double kStep = 1e-7;
constexpr double kStepFloor = 1e-3;
// An accepted step that improves the error by less than this fraction ends
// the fit: the iteration has converged to rounding.
constexpr double kConverged = 1e-14;

// Residuals of the projected fit at the formula's current constants, each
// multiplied by the square root of its sample's weight.
struct Point {
    Scaling scaling;
    std::vector<double> residuals;
};

std::optional<Point> residuals_at(const Formula& f, const Columns& data, std::span<const double> y,
                                  Evaluator& evaluator, Weights w, bool explicit_outer) {
    std::optional<Scaling> s;
    if (!explicit_outer) {
        s = scaled_fit(f, data, y, evaluator, w);
    } else if (evaluator.run(f, data)) {
        s = Scaling{1.0, 0.0, sum_squared_residuals(evaluator.values(), y, 1.0, 0.0, w)};
        if (!std::isfinite(s->sse)) s.reset();
    }
    if (!s) return std::nullopt;
    auto v = evaluator.values();
    Point p{*s, std::vector<double>(v.size())};
    for (std::size_t i = 0; i < v.size(); ++i) p.residuals[i] = s->scale * v[i] + s->offset - y[i];
    if (!w.empty())
        for (std::size_t i = 0; i < v.size(); ++i) p.residuals[i] *= std::sqrt(w[i]);
    return p;
}

}  // namespace

bool solve_damped(std::vector<double> a, std::vector<double> g, double damping, std::size_t k,
                  std::vector<double>& x) {
    for (std::size_t i = 0; i < k; ++i) a[i * k + i] += damping * a[i * k + i] + 1e-300;
    for (std::size_t i = 0; i < k; ++i) g[i] = -g[i];
    return solve_pivoted(a, g, k, 0.0, x);
}

std::optional<Scaling> scaled_fit(const Formula& f, const Columns& data, std::span<const double> y,
                                  Evaluator& evaluator, Weights w) {
    if (!evaluator.run(f, data)) return std::nullopt;
    return fit_scaling(evaluator.values(), y, w);
}

std::optional<ConstantFit> fit_constants(Formula& f, const Columns& data, std::span<const double> y,
                                         Evaluator& evaluator, const ConstantFitLimits& limits, Weights w) {
    std::vector<std::size_t> slots;
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i].free()) slots.push_back(i);
    const std::size_t k = slots.size();
    auto current = residuals_at(f, data, y, evaluator, w, limits.explicit_outer);
    std::size_t evaluations = 1;
    if (!current) return std::nullopt;
    if (k == 0 || k > kMaxConstants) return ConstantFit{current->scaling, evaluations};

    const std::size_t n = data.samples;
    Formula trial = f;
    std::vector<double> jac(k * n);
    std::vector<double> normal(k * k);
    std::vector<double> gradient(k);
    std::vector<double> step;
    double damping = kInitialDamping;
    for (unsigned it = 0; it < limits.max_iterations; ++it) {
        if (limits.cancelled != nullptr && limits.cancelled()) break;
        if (current->scaling.sse == 0.0) break;
        // Forward-difference Jacobian of the projected residuals; a column
        // whose perturbed point fails stays zero and gets no step.
        for (std::size_t j = 0; j < k; ++j) {
            trial = f;
            const double c = f[slots[j]].value;
            const double h = kStep * std::fmax(std::fabs(c), kStepFloor);
            trial[slots[j]].value = c + h;
            auto moved = residuals_at(trial, data, y, evaluator, w, limits.explicit_outer);
            ++evaluations;
            for (std::size_t i = 0; i < n; ++i)
                jac[j * n + i] = moved ? (moved->residuals[i] - current->residuals[i]) / h : 0.0;
        }
        for (std::size_t r = 0; r < k; ++r) {
            double g = 0.0;
            for (std::size_t i = 0; i < n; ++i) g += jac[r * n + i] * current->residuals[i];
            gradient[r] = g;
            for (std::size_t c = 0; c < k; ++c) {
                double s = 0.0;
                for (std::size_t i = 0; i < n; ++i) s += jac[r * n + i] * jac[c * n + i];
                normal[r * k + c] = s;
            }
        }
        bool accepted = false;
        while (!accepted && damping < kMaxDamping) {
            if (!solve_damped(normal, gradient, damping, k, step)) {
                damping *= 10.0;
                continue;
            }
            trial = f;
            for (std::size_t j = 0; j < k; ++j) trial[slots[j]].value = f[slots[j]].value + step[j];
            auto next = residuals_at(trial, data, y, evaluator, w, limits.explicit_outer);
            ++evaluations;
            if (next && next->scaling.sse < current->scaling.sse) {
                const double gain = current->scaling.sse - next->scaling.sse;
                const bool converged = gain <= kConverged * current->scaling.sse;
                f = trial;
                current = std::move(next);
                damping = std::fmax(damping / 10.0, 1e-12);
                accepted = true;
                if (converged) return ConstantFit{current->scaling, evaluations};
            } else {
                damping *= 10.0;
            }
        }
        if (!accepted) break;
    }
    return ConstantFit{current->scaling, evaluations};
}

}  // namespace zyl::regress
