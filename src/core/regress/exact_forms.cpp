#include "exact_forms.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zyl::regress {
namespace {

// The reciprocal of each part's probability, as an integer: the product is
// exact, so forms of equal cost compare equal.
double integer_weight(int m) {
    const double a = std::fabs(static_cast<double>(m));
    return a * (a + 1.0);
}

double basis_weight(Basis b) {
    switch (b) {
        case Basis::One: return 2.0;
        case Basis::Pi: return 4.0;
        default: return 100.0;
    }
}

}  // namespace

double exact_description(const Exact& x) {
    return std::log(2.0 * integer_weight(x.p) * integer_weight(x.q) * basis_weight(x.basis));
}

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
        const double ca = exact_description(a), cb = exact_description(b);
        if (ca != cb) return ca < cb;
        if (a.basis != b.basis) return a.basis < b.basis;
        return a.q < b.q;
    });
    return out;
}

}  // namespace zyl::regress
