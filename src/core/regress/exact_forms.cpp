#include "exact_forms.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zyl::regress {
namespace {

int cost(const Exact& x) {
    const int basis = x.basis == Basis::One ? 0 : x.basis == Basis::Pi ? 1 : 2;
    return std::abs(x.p) + x.q + basis;
}

}  // namespace

std::vector<Exact> exact_forms_near(double v, double window) {
    std::vector<Exact> out;
    if (!std::isfinite(v) || v == 0.0) return out;
    for (std::uint8_t b = 0; b < kBasisCount; ++b) {
        const auto basis = static_cast<Basis>(b);
        const double unit = exact_value({1, 1, basis});
        for (int q = 1; q <= kMaxDenominator; ++q) {
            const double p_real = std::nearbyint(v / unit * q);
            if (!(std::fabs(p_real) <= kMaxNumerator) || p_real == 0.0) continue;
            const int p = static_cast<int>(p_real);
            if (std::gcd(p, q) != 1) continue;
            const Exact x{p, q, basis};
            if (std::fabs(exact_value(x) - v) <= window * std::fabs(v)) out.push_back(x);
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const Exact& a, const Exact& b) {
        if (cost(a) != cost(b)) return cost(a) < cost(b);
        if (a.basis != b.basis) return a.basis < b.basis;
        return a.q < b.q;
    });
    return out;
}

}  // namespace zyl::regress
