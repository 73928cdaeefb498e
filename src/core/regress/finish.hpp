#pragma once
// Turns a searched structure into result formulas: the outer scale and
// offset become terms of their own (the offset is also left out, as a second
// variant), all constants are fitted together, and a fitted constant is
// written as a simple exact number when the data allow it and the exact
// number is the shorter description (exact_forms.hpp):
//   - a snapped constant's value must lie inside its uncertainty: refitting
//     the other constants with it held at the exact value may raise the sse by
//     at most kSnapChiSquare * sigma^2, sigma^2 = sse / (n - k), the profile-
//     likelihood interval of about 1.5 standard errors;
//   - its code length must be less than ln(|c| / d) + ln 2, the cost of
//     writing the fitted value c to its precision d = sqrt(12 sigma^2 / (J'WJ)_cc).
// Cheaper forms are tried first, so the simplest accepted one wins.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "dimensions.hpp"
#include "formula.hpp"
#include "front.hpp"
#include "scaling.hpp"

namespace zyl::regress {

inline constexpr double kSnapChiSquare = 2.25;

// Relative error below which a formula counts as exact: errors under
// n * (kExactRelative * rms(y))^2 are rounding and decide nothing.
inline constexpr double kExactRelative = 1e-11;
// That floor for the (weighted) target.
double rounding_floor_sse(std::span<const double> y, Weights w = {});

struct FinishSettings {
    Weights weights;
    double floor_sse = 0.0;
    bool exact_constants = true;
    // With units: a variant without the target's dimension is left out, and
    // a constant that carries a dimension is never written exactly (its value
    // depends on the units chosen).
    const DimensionRules* dimensions = nullptr;
};

// `structure` holds its fitted inner constants. Each variant carries its
// constants' estimates and statistics; none when the structure cannot be
// evaluated or is constant on the data.
std::vector<Scored> finish(const Formula& structure, const Columns& data, std::span<const double> y,
                           Evaluator& evaluator, const FinishSettings& settings);

// A formula as it stands, with its statistics; nothing when evaluation fails.
std::optional<Scored> scored_as_is(const Formula& f, const Columns& data, std::span<const double> y,
                                   Evaluator& evaluator, Weights w = {});

}  // namespace zyl::regress
