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
    double rmse;  // weighted root-mean-square error on the data (weights of mean 1)
    double plain_rmse = 0.0;  // with every sample counted once, in the units of y
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

enum class Selection : std::uint8_t { DescriptionLength, Bic, Accuracy };

struct SelectionData {
    std::size_t samples = 0;
    std::size_t variables = 1;
    double noise_variance = 0.0;   // from the data alone: an upper estimate (0 for none)
    double floor_mse = 0.0;        // errors below count as this: rounding, not a difference
};

// Fills every candidate's description length and BIC and whether it may be
// selected. With n samples, sse the weighted residual sum (weights scaled to
// mean 1) and k free constants:
//   noise   sigma2 = min(the data's estimate, least sse / (n - nodes) over
//           the candidates with fewer nodes than samples): one noise level
//           for all, which a formula cannot shrink by chasing it, since every
//           node it spends counts as a degree of freedom here
//   length  = sse / (2 sigma2)                                  the data
//           + sum over nodes of -ln P(node)                      the structure
//           + sum over free constants ln(|c| / d) + ln 2,    d = sqrt(12 sigma2 / (J'WJ)_jj)
//           + sum over exact constants their code length       (exact_forms.hpp)
//   bic     = n ln(max(mse, floor)) + ln(n) * nodes
// P(node) is a prior over the symbols of laws: products, quotients, sums,
// constants and variables are common in the laws of the sciences, powers
// and roots less so, exp and log rarer, trigonometric functions rarer still
// (kSymbolWeights in front.cpp); a variable's share is split among them.
// A formula may be selected when it has fewer free constants than samples
// and each of them is pinned down: at least two standard errors from zero.
void score_candidates(std::span<Scored> candidates, const SelectionData& data);

// The front shown for a fit and its selected entry: for each complexity the
// candidate with the best score (description length, BIC, or error, as the
// rule says; the error for BIC, whose complexity term is the same within a
// complexity), in increasing complexity, keeping those more accurate than
// every simpler one kept, and always the one with the best score overall,
// which is the selected one (the first when none may be selected).
struct Choice {
    std::vector<Scored> front;
    std::size_t best = 0;
};
Choice choose(std::vector<Scored> candidates, Selection rule);

}  // namespace zyl::regress
