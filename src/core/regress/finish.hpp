#pragma once
// Turns a searched structure into a result formula: fitted constants that
// the data cannot tell from a simple exact number become that number, and
// the outer scale and offset become ordinary constant and operation terms
// (left out when they are 1 and 0).
#include <cstddef>
#include <optional>
#include <span>

#include "formula.hpp"

namespace zyl::regress {

// When one fitted parameter may be dropped in favour of a simpler form: the
// error may grow by what the Bayesian information criterion grants one
// parameter, n * ln(sse_simple / sse_fitted) <= ln(n). Errors below
// `floor_sse` count as the floor, so rounding noise decides nothing.
struct Acceptance {
    std::size_t samples;
    double floor_sse;

    bool accepts(double simpler_sse, double fitted_sse) const;
};

// Relative error below which a formula counts as exact: its sse floor is
// n * (kExactRelative * rms(y))^2.
inline constexpr double kExactRelative = 1e-11;
Acceptance acceptance_for(std::span<const double> y);

struct Finished {
    Formula formula;
    double rmse;
};

// `structure` holds its fitted constants; nothing when it cannot be
// evaluated or is constant on the data.
std::optional<Finished> finish(Formula structure, const Columns& data, std::span<const double> y,
                               Evaluator& evaluator, const Acceptance& acceptance);

// Root-mean-square error of f on the data; nothing when evaluation fails.
std::optional<double> formula_rmse(const Formula& f, const Columns& data, std::span<const double> y,
                                   Evaluator& evaluator);

}  // namespace zyl::regress
