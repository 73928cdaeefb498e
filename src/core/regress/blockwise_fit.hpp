#pragma once
// Constant fits and their statistics over every row, read in blocks of
// kRowBlock rows, so that the memory they take does not grow with the row
// count: the sums a fit needs (sse, J'WJ, J'Wr) are accumulated block by
// block in row order, the same bits whatever the thread count. For formulas
// that carry their outer scale and offset as terms of their own.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "formula.hpp"
#include "scaling.hpp"
#include "statistics.hpp"

namespace zyl::regress {

inline constexpr std::size_t kRowBlock = 4096;

// Levenberg-Marquardt over the free constants of `f`, from the values they
// hold, as fit_constants with explicit_outer does: forward differences, a
// step taken only when it lowers the weighted sse. At most 10 iterations: it
// starts from a fit on a sample of the rows, a few steps from the optimum. The weighted sse at the
// end; nothing when f cannot be evaluated at its start or `cancelled` says
// so (f then holds the last accepted point).
std::optional<double> fit_constants_in_blocks(Formula& f, const Columns& data, std::span<const double> y,
                                              Evaluator& evaluator, Weights w, bool (*cancelled)() = nullptr);

// The sums of a least-squares fit at f's constants over every row: the
// weighted sse, J'WJ and J'Wr over the constant terms `terms` (central
// differences, each constant moved as a fitted number whether or not it is
// written exactly). Nothing when f or a moved f fails on some row.
struct FitSums {
    double sse = 0.0;
    double plain_sse = 0.0;
    std::vector<double> normal;    // k x k, row-major
    std::vector<double> gradient;  // k
};
std::optional<FitSums> fit_sums_in_blocks(const Formula& f, const std::vector<std::size_t>& terms,
                                          const Columns& data, std::span<const double> y, Evaluator& evaluator,
                                          Weights w, bool (*cancelled)() = nullptr);

// The statistics of the constants terms[slots[0]], terms[slots[1]], ...
// from the sums over `terms` on n rows.
ConstantStatistics statistics_of(const FitSums& sums, const std::vector<std::size_t>& terms,
                                 const std::vector<std::size_t>& slots, std::size_t n);

// constant_statistics (statistics.hpp) over blocks of rows: the same central
// differences, sums and covariance.
std::optional<ConstantStatistics> constant_statistics_in_blocks(const Formula& f, const Columns& data,
                                                                std::span<const double> y, Evaluator& evaluator,
                                                                Weights w, bool (*cancelled)() = nullptr);

}  // namespace zyl::regress
