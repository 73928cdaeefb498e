#include "column_score.hpp"

#include <algorithm>
#include <cmath>

#include "op_rules.hpp"

namespace zyl::discover {
namespace {

// Samples between two looks at the verdict: a rejected candidate stops soon,
// an accepted one pays one test per block.
constexpr std::size_t kBlock = 256;

template <Op o>
bool accepted(double a, double b, double& r) {
    r = rules::value<o>(a, b);
    return rules::accepts<o>(a, b) & rules::finite(r);
}

template <Op o>
std::optional<double> sum_for(const double* a, const double* b, std::size_t n, std::span<const double> targets) {
    const std::size_t m = std::min(n, targets.size());
    const double* t = targets.data();
    double s = -0.0;
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
        const std::size_t end = std::min(n, begin + kBlock);
        bool ok = true;
        const std::size_t summed = std::min(end, std::max(m, begin));
        for (std::size_t i = begin; i < summed; ++i) {
            double r;
            ok &= accepted<o>(a[i], arity(o) == 2 ? b[i] : 0.0, r);
            double d = r - t[i];
            s = s + d * d;
        }
        // Samples without a target still have to be accepted.
        for (std::size_t i = summed; i < end; ++i) {
            double r;
            ok &= accepted<o>(a[i], arity(o) == 2 ? b[i] : 0.0, r);
        }
        if (!ok) return std::nullopt;
    }
    return s;
}

}  // namespace

std::optional<double> squared_error_sum(Op op, const double* a, const double* b, std::size_t n,
                                        std::span<const double> targets) {
    if (!rules::known(op)) return std::nullopt;
    return rules::dispatch(op, [&]<Op o>() { return sum_for<o>(a, b, n, targets); });
}

double rmse_of_sum(double sum, std::size_t n_targets) { return std::sqrt(sum / static_cast<double>(n_targets)); }

}  // namespace zyl::discover
