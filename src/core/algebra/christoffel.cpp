#include "christoffel.hpp"

#include <cmath>

#include "pool/worker_pool.hpp"

namespace zyl {

ChristoffelSymbol christoffel_symbol(std::size_t lam, std::size_t mu, std::size_t nu) {
    if (lam == 1 && mu == 1 && nu == 1) return ChristoffelSymbol::r_rr;
    if (lam == 1 && mu == 0 && nu == 0) return ChristoffelSymbol::r_tt;
    if (lam == 0 && ((mu == 0 && nu == 1) || (mu == 1 && nu == 0))) return ChristoffelSymbol::t_tr;
    return ChristoffelSymbol::zero;
}

double christoffel_value(ChristoffelSymbol symbol, double x, double rs) {
    if (symbol == ChristoffelSymbol::zero) return 0.0;
    if (x > kRadiusLogThreshold) x = std::log(x);
    // fmax ignores a NaN operand: a NaN radius is evaluated at the horizon,
    // a NaN rs leaves the radius alone.
    const double r = std::fmax(std::exp(x), rs + kHorizonOffset);
    if (r <= 0.0) return 0.0;
    // rs + offset can round back to rs, and rs = +inf reaches this too.
    if (rs >= r) return 0.0;
    switch (symbol) {
        case ChristoffelSymbol::r_rr:
            return (-rs) / ((r - rs) * (r + r));
        case ChristoffelSymbol::r_tt:
            return ((1.0 - rs / r) * rs) / ((r + r) * r);
        case ChristoffelSymbol::t_tr:
            return rs / ((r - rs) * (r + r));
        case ChristoffelSymbol::zero:
            break;
    }
    return 0.0;
}

std::size_t christoffel_batch(std::span<const std::pair<double, double>> points, std::size_t lam,
                              std::size_t mu, std::size_t nu, double rs, std::vector<double>& out,
                              const MapControl& control) {
    const ChristoffelSymbol symbol = christoffel_symbol(lam, mu, nu);
    out.resize(points.size());
    double* dst = out.data();
    return parallel_for(points.size(),
                        [&](std::size_t k) { dst[k] = christoffel_value(symbol, points[k].first, rs); }, control);
}

}  // namespace zyl
