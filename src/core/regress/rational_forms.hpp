#pragma once
// Ratios of short sums, y = (a0 + a1*g1 + a2*g2) / (1 + b1*h1 + b2*h2), over
// the terms the reach stage already has (constant-free blocks and products
// of powers of the variables): equations of state, velocity addition,
// radiation laws, ratios of low-order polynomials. Multiplied out, such a
// law is linear in its coefficients,
//     y = a0 + a1*g1 + a2*g2 - b1*(y*h1) - b2*(y*h2),
// so every choice of terms is one small least-squares solve. Every choice
// among the few simplest terms (x, x^2, x*z, x/z) is solved, the others
// grown a term at a time from the best; the best of each size by the error
// of the ratio itself are refitted by Levenberg-Marquardt on that error (the
// multiplied-out residual weighs each sample by its denominator, and with
// noise in y it is biased).
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "formula.hpp"
#include "pool/worker_pool.hpp"
#include "scaling.hpp"

namespace zyl::regress {

struct RationalFit {
    std::vector<double> numerator;    // a1, a2, ... one per numerator column
    double intercept = 0.0;           // a0
    std::vector<double> denominator;  // b1, b2, ... one per denominator column
    double sse = 0.0;                 // weighted, of the ratio against y
    // Weighted, of the multiplied-out equation, over the weighted mean
    // square of the denominator: a scale-free error for growing choices by,
    // which a denominator near zero everywhere does not shrink.
    double multiplied_error = 0.0;
};

// The linear step: the coefficients of the multiplied-out equation, with or
// without a0. Nothing when the columns are dependent, a sum is not finite,
// or the denominator changes sign or comes near zero on the samples (a pole
// inside the data explains nothing a scientist would keep).
std::optional<RationalFit> fit_rational(std::span<const std::span<const double>> numerator,
                                        std::span<const std::span<const double>> denominator,
                                        std::span<const double> y, Weights w, bool intercept);

struct RationalSettings {
    Weights weights;
    // Free constants a structure may carry.
    std::size_t max_constants = 4;
    // The first this many columns are the simplest terms, of which every
    // choice is solved.
    std::size_t simple = 0;
    MapControl control;
};

struct RationalsFound {
    // Structures with their constants refitted, best first; distinct.
    std::vector<Formula> structures;
    std::size_t evaluations = 0;  // linear solves and formula evaluations
    bool stopped = false;
};

// The simplest terms, every choice of which a ratio tries: each variable
// and its square, the products and ratios of two in `pairs`, then 1/x and
// x^3; at most `limit`.
std::vector<Formula> simple_ratio_terms(std::size_t variables, const std::vector<Formula>& pairs,
                                        std::size_t limit);

// Terms only ratios read: products of three variables (u*v/c^2, for at most
// `max_variables` variables) and exp of each variable and of each of
// `pairs` (the exp(x) - 1 of radiation laws).
std::vector<Formula> ratio_only_terms(std::size_t variables, const std::vector<Formula>& pairs,
                                      std::size_t max_variables);

// `formulas[i]` has the values `columns[i]` on the samples of `data`; none
// may carry free constants. `evaluators` holds one per worker slot.
RationalsFound best_rationals(const Columns& data, std::span<const double> y,
                              const std::vector<const Formula*>& formulas,
                              const std::vector<std::span<const double>>& columns, const RationalSettings& settings,
                              std::vector<Evaluator>& evaluators);

}  // namespace zyl::regress
