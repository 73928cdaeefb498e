#pragma once
// Christoffel symbols of the Schwarzschild metric (geometric units) that
// couple the time coordinate (index 0) and the radial one (index 1), at radii
// given as logarithms, r = exp(x).
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "pool/worker_pool.hpp"

namespace zyl {

// Above this, exp(x) is taken of ln(x) so that the radius stays finite.
inline constexpr double kRadiusLogThreshold = 709.78;
// Radii at or inside the horizon are evaluated this far outside it.
inline constexpr double kHorizonOffset = 1e-9;

enum class ChristoffelSymbol {
    zero,  // every index triple not listed below
    r_rr,  // lambda = 1, mu = nu = 1
    r_tt,  // lambda = 1, mu = nu = 0
    t_tr,  // lambda = 0, (mu, nu) = (0, 1) or (1, 0)
};

ChristoffelSymbol christoffel_symbol(std::size_t lam, std::size_t mu, std::size_t nu);

// The symbol at r = exp(x) for Schwarzschild radius rs; never raises, and is
// +0.0 wherever the clamped radius is not strictly outside rs.
double christoffel_value(ChristoffelSymbol symbol, double x, double rs);

inline double christoffel(double x, std::size_t lam, std::size_t mu, std::size_t nu, double rs) {
    return christoffel_value(christoffel_symbol(lam, mu, nu), x, rs);
}

// out[k] = christoffel(points[k].first, lam, mu, nu, rs) on the worker pool;
// the second value of a point is not read. Returns the number computed, or
// kCancelled.
std::size_t christoffel_batch(std::span<const std::pair<double, double>> points, std::size_t lam,
                              std::size_t mu, std::size_t nu, double rs, std::vector<double>& out,
                              const MapControl& control = {});

}  // namespace zyl
