#pragma once
// How the search ranks a candidate from its values alone: the error left
// after the best outer scale and offset, and how well it explains what a
// single variable leaves of the target (y / x, y * x, x / y, 1 / (x * y),
// 1 / y, y minus a line in x), so that a factor, a divisor or a term of the
// law ranks well before the law is whole.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formula.hpp"
#include "scaling.hpp"

namespace zyl::regress {

// Samples the ranking against the residual targets (and same_up_to_scale)
// reads, at most.
inline constexpr std::size_t kSubsetSamples = 40;

class Targets {
public:
    // The error is weighted by w (empty: all samples alike); the residual
    // targets, a guide for building blocks only, are not.
    Targets(const Columns& data, std::span<const double> y, Weights w = {});

    std::size_t samples() const { return centred_y_.size(); }
    std::size_t residual_count() const { return residual_ss_.size(); }
    // The values of residual target t (centred), on every sample.
    std::span<const double> residual(std::size_t t) const { return residual_values_[t]; }

    struct Score {
        double error;          // (weighted) rmse of the scaled fit
        double residual;       // least 1 - R^2 against the residual targets; 1 without any
        std::uint32_t target;  // which residual target that was
    };
    // Nothing when v is constant or the sums are not finite. Sums run in
    // index order.
    std::optional<Score> score(std::span<const double> v) const;
    // score() of each of vs into out, several candidates side by side where
    // the processor allows; the same results.
    void score_each(std::span<const std::span<const double>> vs, std::span<std::optional<Score>> out) const;

private:
    // The sums score() forms from a candidate's values: its centred values
    // on the subset and their sum of squares, and its (weighted) mean and
    // centred sums against y over all samples.
    struct Sums {
        std::array<double, kSubsetSamples> w;
        double sww = 0.0, mf = 0.0, sff = 0.0, sfy = 0.0;
    };
    void sums_of(std::span<const double> v, Sums& s) const;
    // The sums of 4 * Q candidates at once, unweighted and on AVX2 only.
    template <std::size_t Q>
    void sums_side_by_side(const std::span<const double>* vs, Sums* s) const;
    std::optional<Score> scored(std::span<const double> v, Sums& s) const;

    std::vector<double> centred_y_;
    double syy_ = 0.0;
    double mean_y_ = 0.0;
    double total_weight_ = 0.0;
    std::span<const double> y_;
    Weights w_;
    std::vector<std::vector<double>> residual_values_;  // centred
    std::vector<double> residual_ss_;
    std::vector<std::size_t> subset_;                 // samples the ranking reads
    std::vector<std::vector<double>> subset_values_;  // each target on them, centred
    std::vector<double> subset_ss_;
    // subset_values_ by sample: row k holds every target's value on subset
    // sample k, padded with zeros to a multiple of 4 targets.
    std::vector<double> subset_by_sample_;
    std::size_t subset_stride_ = 0;
};

// True when v = a * s + b for some a != 0 and b, to rounding: a constant
// that moves s this way is absorbed by the outer scale and offset.
bool same_up_to_scale(std::span<const double> v, std::span<const double> s);
// same_up_to_scale(v[k], s[k]) into out[k], several pairs side by side
// where the processor allows; the same verdicts.
void same_up_to_scale_each(std::span<const std::span<const double>> v, std::span<const std::span<const double>> s,
                           std::span<bool> out);

}  // namespace zyl::regress
