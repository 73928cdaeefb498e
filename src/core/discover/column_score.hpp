#pragma once
// Scoring a candidate o(a, b) straight from its operands' values: its own
// values are formed one sample at a time and folded into the squared-error
// sum, never stored.
#include <cstddef>
#include <limits>
#include <optional>
#include <span>

#include "expr.hpp"

namespace zyl::discover {

// A candidate whose error is sure to exceed `error` no longer matters to the
// caller: its sum is abandoned as soon as the bound from its partial sum,
// rmse_of_sum(partial, n_targets) * factor, exceeds `error`. The partial sum
// only grows, and the square root, the division and a positive factor keep
// that order, so the bound never exceeds the final error (or the final error
// is NaN). Only a positive finite factor abandons.
struct Abandon {
    double error = std::numeric_limits<double>::infinity();
    double factor = 1.0;
};

// Samples [begin, end) of a sum that stood at `sum` after sample begin - 1:
// a sum may be formed in pieces, with the same bits as in one go.
struct SampleRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    double sum = -0.0;
};

// Adds (op(a_i, b_i) - targets[i])^2 to range.sum for every sample i of the
// range that has a target, in index order, where a and b hold the operands'
// values from sample range.begin on (a_i = a[i - range.begin]). Over samples
// [0, n) from -0.0 this is the sum that rmse() forms from the stored values,
// bit for bit. Nothing when op rejects a sample of the range or gives a
// non-finite value there, and nothing once the sum is abandoned. b is unused
// for unary operations.
std::optional<double> squared_error_sum(Op op, const double* a, const double* b, const SampleRange& range,
                                        std::span<const double> targets, const Abandon& abandon = {});

// One candidate of a side-by-side scoring: squared_error_sum(op, a, b,
// range, targets, abandon).
struct SumJob {
    Op op;
    const double* a;
    const double* b;
    SampleRange range;
    Abandon abandon;
};

// squared_error_sum of every job into sums (as long as jobs), bit for bit and
// with the same abandoning. Several candidates are summed side by side, each
// in its own sample order: their chains of additions overlap instead of
// each waiting on its own previous addition. cancelled, when given, is asked
// every few hundred thousand samples; once it says yes the jobs not yet
// finished are left as nothing.
void squared_error_sums(std::span<const SumJob> jobs, std::span<const double> targets,
                        std::span<std::optional<double>> sums, bool (*cancelled)() = nullptr);

// rmse from such a sum: divided by the number of targets (NaN for none).
double rmse_of_sum(double sum, std::size_t n_targets);

}  // namespace zyl::discover
