#include "optimizer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zyl::discover {
namespace {

constexpr double kInitialDamping = 0.001;
constexpr double kStep = 1e-6;
constexpr double kTolerance = 1e-12;
constexpr double kDampingFactor = 10.0;
constexpr int kIterationCap = 20;
constexpr double kUnevaluable = std::numeric_limits<double>::infinity();

}  // namespace

double rmse(std::span<const double> predictions, std::span<const double> targets) {
    const std::size_t m = std::min(predictions.size(), targets.size());
    double s = -0.0;
    for (std::size_t i = 0; i < m; ++i) {
        double d = predictions[i] - targets[i];
        s = s + d * d;
    }
    return std::sqrt(s / static_cast<double>(targets.size()));
}

Fit optimize(const Expr& expr, std::span<const std::vector<double>> columns, std::span<const double> targets,
             std::span<const double> initial) {
    auto error_of = [&](std::span<const double> p) {
        auto pred = eval_batch(expr, columns, p);
        return pred ? rmse(*pred, targets) : kUnevaluable;
    };

    std::vector<double> p(initial.begin(), initial.end());
    double error = error_of(p);
    if (p.empty()) return {std::move(p), error};

    const std::size_t n = p.size();
    double lambda = kInitialDamping;
    std::vector<double> residual, jacobian, g(n), h(n);
    for (int iteration = 1;; ++iteration) {
        auto pred = eval_batch(expr, columns, p);
        if (!pred) return {std::move(p), error};
        // Every evaluation on the same columns yields the same count; rows
        // without a prediction are left out rather than read.
        const std::size_t rows = std::min(targets.size(), pred->size());
        residual.resize(rows);
        for (std::size_t i = 0; i < rows; ++i) residual[i] = (*pred)[i] - targets[i];

        jacobian.assign(rows * n, 0.0);  // column-major: column k at k * rows
        for (std::size_t k = 0; k < n; ++k) {
            std::vector<double> q = p;
            q[k] += kStep;
            auto moved = eval_batch(expr, columns, q);
            if (!moved) continue;
            for (std::size_t i = 0; i < rows; ++i)
                jacobian[k * rows + i] = (((*moved)[i] - targets[i]) - residual[i]) / kStep;
        }

        for (std::size_t k = 0; k < n; ++k) {
            double gk = 0.0;
            double hk = 0.0;
            for (std::size_t i = 0; i < rows; ++i) {
                double j = jacobian[k * rows + i];
                gk = gk + j * residual[i];
                hk = hk + j * j;
            }
            g[k] = gk;
            h[k] = hk;
        }

        std::vector<double> trial = p;
        for (std::size_t k = 0; k < n; ++k) trial[k] = trial[k] - g[k] / (h[k] + lambda);

        auto tried = eval_batch(expr, columns, trial);
        double e = tried ? rmse(*tried, targets) : kUnevaluable;
        if (tried && error > e) {
            p = std::move(trial);
            error = e;
            if (e < kTolerance) return {std::move(p), error};
            lambda = lambda / kDampingFactor;
        } else {
            if (error < kTolerance) return {std::move(p), error};
            lambda = lambda * kDampingFactor;
        }
        if (iteration == kIterationCap) return {std::move(p), error};
    }
}

}  // namespace zyl::discover
