#include "column_score.hpp"

#include <algorithm>
#include <cmath>

#include "op_rules.hpp"

namespace zyl::discover {
namespace {

// Samples between two looks at the verdict and the bound: a rejected or
// hopeless candidate stops soon, an accepted one pays two tests per block.
constexpr std::size_t kBlock = 32;

// elem(i, r) sets r to the candidate's value at sample i and says whether
// that value is accepted.
template <class Elem>
std::optional<double> sum_with(const SampleRange& range, std::span<const double> targets, const Abandon& abandon,
                               Elem elem) {
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
    return sum_with(range, targets, abandon, [a, b, first](std::size_t i, double& r) {
        const double ai = a[i - first], bi = arity(o) == 2 ? b[i - first] : 0.0;
        r = rules::value<o>(ai, bi);
        return rules::accepts<o>(ai, bi) & rules::finite(r);
    });
}

}  // namespace

std::optional<double> squared_error_sum(Op op, const double* a, const double* b, const SampleRange& range,
                                        std::span<const double> targets, const Abandon& abandon) {
    if (!rules::known(op)) return std::nullopt;
    return rules::dispatch(op, [&]<Op o>() { return plain_sum<o>(a, b, range, targets, abandon); });
}

double rmse_of_sum(double sum, std::size_t n_targets) { return std::sqrt(sum / static_cast<double>(n_targets)); }

}  // namespace zyl::discover
