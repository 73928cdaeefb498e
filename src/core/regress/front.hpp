#pragma once
// The Pareto front of complexity against error, what each of its formulas
// costs to describe together with the data, and the rule that picks one.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "formula.hpp"

namespace zyl::regress {

// A constant's value as fitted (also for one then written exactly) and its
// standard error; NaN where the data cannot tell it, 0 for a constant that
// was never fitted.
struct ConstantEstimate {
    double value;
    double std_error;
};

struct Scored {
    Formula formula;
    double rmse;  // weighted root-mean-square error on the data
    double sse = 0.0;
    // One per constant term, in term order.
    std::vector<ConstantEstimate> estimates;
    // Over the free constants (those not written exactly), in term order,
    // each k x k: sigma^2 (J'WJ)^-1 and J'WJ.
    std::vector<double> covariance;
    std::vector<double> information;
    double description_length = std::numeric_limits<double>::infinity();  // nats
    double bic = std::numeric_limits<double>::infinity();
    bool selectable = false;
};

// The best formula of each complexity (the earliest among equal errors), in
// increasing complexity, keeping only those strictly better than every
// simpler one. Candidates with a non-finite error take no part.
std::vector<Scored> pareto_front(std::span<const Scored> candidates);

enum class Selection : std::uint8_t { DescriptionLength, Bic, Accuracy };

struct SelectionData {
    std::size_t samples = 0;
    double noise_variance = 0.0;   // from the data alone: an upper estimate (0 for none)
    double floor_mse = 0.0;        // errors below count as this: rounding, not a difference
};

// Fills every entry's description length and BIC and whether it may be
// selected. With n samples, sse the weighted residual sum and k free
// constants (weights scaled to mean 1):
//   noise   s2 = min(data estimate, least sse / (n - k) on the front)
//   sigma2  = (sse + 2 s2) / (n + 2), the noise level at its most probable
//             value given the residuals and s2 as a prior guess worth two
//             samples, so that no formula makes its own residuals vanish
//   length  = n/2 ln(2 pi sigma2) + sse / (2 sigma2)          the data
//           + nodes * ln(distinct symbols in it)              the structure
//             (operations, variables, and one symbol for constants)
//           + sum over free constants ln(|c| / d) + ln 2,    d = sqrt(12 sigma2 / (J'WJ)_jj)
//           + sum over exact constants their code length     (exact_forms.hpp)
//   bic     = n ln(max(mse, floor)) + ln(n) * nodes
// A formula may be selected when it has fewer free constants than samples
// and each of them is pinned down: at least two standard errors from zero.
void score_front(std::span<Scored> front, const SelectionData& data);

// Index into front of the least description length, the least BIC, or the
// least error; among equals the simplest; 0 when none may be selected.
std::size_t select_best(std::span<const Scored> front, Selection rule);

}  // namespace zyl::regress
