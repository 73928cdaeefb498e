#pragma once
// Levenberg-Marquardt over the free constants of a formula, with the outer
// scale and offset projected out: every trial point gets its own closed-form
// a*f + b, so the iteration only sees the constants inside f. The normal
// matrix is kept in full (formulas carry a handful of constants at most).
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "formula.hpp"
#include "scaling.hpp"

namespace zyl::regress {

struct ConstantFitLimits {
    unsigned max_iterations = 40;
    // Asked once per iteration; true abandons the fit (its result is then
    // whatever point was reached).
    bool (*cancelled)() = nullptr;
    // True fits the formula's own values to y, with no projected scale and
    // offset: for finished formulas that carry them as terms of their own.
    bool explicit_outer = false;
};

struct ConstantFit {
    Scaling scaling;          // at the fitted constants (1 and 0 with explicit_outer)
    std::size_t evaluations;  // whole-formula evaluations spent
};

// Moves the free constants of `f` to their fitted values, starting from the
// values they hold. Nothing when f cannot be evaluated and scaled at its
// starting point (f is then unchanged).
std::optional<ConstantFit> fit_constants(Formula& f, const Columns& data, std::span<const double> y,
                                         Evaluator& evaluator, const ConstantFitLimits& limits = {},
                                         Weights w = {});

// One Levenberg-Marquardt step: solves (A + damping * diag(A)) x = -g for
// the k x k normal matrix A and gradient g by elimination with partial
// pivoting; false when the system is singular.
bool solve_damped(std::vector<double> a, std::vector<double> g, double damping, std::size_t k,
                  std::vector<double>& x);

// The scaled fit of f as it stands; nothing when it fails or is constant.
std::optional<Scaling> scaled_fit(const Formula& f, const Columns& data, std::span<const double> y,
                                  Evaluator& evaluator, Weights w = {});

}  // namespace zyl::regress
