#include "column_score.hpp"

#include <algorithm>
#include <cmath>

#include "op_rules.hpp"
#include "vector_values.hpp"

namespace zyl::discover {
namespace {

// Samples between two looks at the verdict and the bound: a rejected or
// hopeless candidate stops soon, an accepted one pays two tests per block.
constexpr std::size_t kBlock = 32;

// elem(i, r) sets r to the candidate's value at sample i and says whether
// that value is accepted; prepare(begin, end) runs before the elements of
// each block [begin, end) are asked for.
template <class Prepare, class Elem>
std::optional<double> sum_with(const SampleRange& range, std::span<const double> targets, const Abandon& abandon,
                               Prepare prepare, Elem elem) {
    const std::size_t m = std::min(range.end, targets.size());
    const double* t = targets.data();
    const bool may_abandon = abandon.factor > 0.0 && rules::finite(abandon.factor);
    // A cheap pre-test on the sum before the exact bound is formed; it only
    // has to be near, since the exact test decides.
    double ratio = abandon.error / abandon.factor;
    const double rough = may_abandon ? ratio * ratio * static_cast<double>(targets.size()) * (1.0 - 1e-6)
                                     : std::numeric_limits<double>::infinity();
    double s = range.sum;
    for (std::size_t begin = range.begin; begin < range.end; begin += kBlock) {
        if (s > rough && rmse_of_sum(s, targets.size()) * abandon.factor > abandon.error) return std::nullopt;
        const std::size_t end = std::min(range.end, begin + kBlock);
        prepare(begin, end);
        bool ok = true;
        const std::size_t summed = std::min(end, std::max(m, begin));
        for (std::size_t i = begin; i < summed; ++i) {
            double r;
            ok &= elem(i, r);
            double d = r - t[i];
            s = s + d * d;
        }
        // Samples without a target still have to be accepted.
        for (std::size_t i = summed; i < end; ++i) {
            double r;
            ok &= elem(i, r);
        }
        if (!ok) return std::nullopt;
    }
    return s;
}

template <Op o>
std::optional<double> plain_sum(const double* a, const double* b, const SampleRange& range,
                                std::span<const double> targets, const Abandon& abandon) {
    const std::size_t first = range.begin;
    auto accepted = [a, b, first](std::size_t i, double r) {
        return rules::accepts<o>(a[i - first], arity(o) == 2 ? b[i - first] : 0.0) & rules::finite(r);
    };
    if constexpr (kHasVectorValues<o>) {
        // A block's values come from the vector kernels before it is summed.
        double values[kBlock];
        std::size_t block_begin = first;
        auto prepare = [&](std::size_t begin, std::size_t end) {
            block_begin = begin;
            vector_values<o>(a + (begin - first), arity(o) == 2 ? b + (begin - first) : nullptr, values, end - begin);
        };
        return sum_with(range, targets, abandon, prepare, [&](std::size_t i, double& r) {
            r = values[i - block_begin];
            return accepted(i, r);
        });
    } else {
        return sum_with(range, targets, abandon, [](std::size_t, std::size_t) {}, [&](std::size_t i, double& r) {
            r = rules::value<o>(a[i - first], arity(o) == 2 ? b[i - first] : 0.0);
            return accepted(i, r);
        });
    }
}

}  // namespace

std::optional<double> squared_error_sum(Op op, const double* a, const double* b, const SampleRange& range,
                                        std::span<const double> targets, const Abandon& abandon) {
    if (!rules::known(op)) return std::nullopt;
    return rules::dispatch(op, [&]<Op o>() { return plain_sum<o>(a, b, range, targets, abandon); });
}

double rmse_of_sum(double sum, std::size_t n_targets) { return std::sqrt(sum / static_cast<double>(n_targets)); }

}  // namespace zyl::discover
