#pragma once
// What the data say about a fitted formula: the covariance of its free
// constants as a least-squares fit reports it (sigma^2 (J'WJ)^-1 at the fit,
// with sigma^2 the residual variance sse / (n - k)), and a noise level read
// from the data alone, without any formula.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "formula.hpp"
#include "scaling.hpp"

namespace zyl::regress {

struct ConstantStatistics {
    std::vector<std::size_t> terms;  // term index of each free constant
    std::vector<double> information; // J'WJ, k x k, row-major
    std::vector<double> covariance;  // k x k; NaN where the constants are not identifiable or n <= k
    double sse = 0.0;                // weighted
    double plain_sse = 0.0;          // every sample counted once

    std::size_t size() const { return terms.size(); }
    double standard_error(std::size_t j) const;
};

// Nothing when f cannot be evaluated at its constants. Derivatives are
// central differences, so a constant the formula does not depend on has a
// zero column and its covariance is NaN.
std::optional<ConstantStatistics> constant_statistics(const Formula& f, const Columns& data,
                                                      std::span<const double> y, Evaluator& evaluator,
                                                      Weights w = {});

// The noise variance as the data show it, without any formula: with one
// input, from each sample's distance to the line through its two neighbours;
// with more, half the mean squared difference between each sample and its
// nearest neighbour (columns scaled to unit spread). Each reads at most a
// fixed, evenly spread subset of the samples (2,000 with more inputs, 2^17
// with one). Each is weighted as a difference of noisy
// samples, and adds what the law itself changes between neighbours, so it is
// an upper estimate. 0 without neighbours.
double neighbour_noise_variance(const Columns& data, std::span<const double> y, Weights w = {});

// sigma^2 (J'WJ)^-1 from J'WJ (k x k), the weighted sse and the row count,
// sigma^2 = sse / (n - k); NaN everywhere when n <= k or J'WJ is singular.
std::vector<double> covariance_of(std::span<const double> information, std::size_t k, double sse, std::size_t n);

// Inverse of the k x k symmetric matrix a; nothing when it is singular to
// working precision.
std::optional<std::vector<double>> symmetric_inverse(std::span<const double> a, std::size_t k);

}  // namespace zyl::regress
