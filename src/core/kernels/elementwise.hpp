#pragma once
// Element rules of the batch kernels: pure functions of one element (and the
// call's scalars), so a batch gives the same result for every split of its
// index range. The tension-plane guards come from guards.hpp, shared with the
// point operations.
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "pool/worker_pool.hpp"
#include "tension/guards.hpp"

namespace zyl::kernels {

inline double sqrt_abs(double x) { return std::sqrt(std::fabs(x)); }
inline double sin(double x) { return std::sin(x); }
inline double cos(double x) { return std::cos(x); }
inline double add(double a, double b) { return a + b; }
inline double sub(double a, double b) { return a - b; }
inline double mul(double a, double b) { return a * b; }
inline double pow_abs(double base, double e) { return std::pow(std::fabs(base), e); }

// Divisors below the floor in magnitude (zero and subnormals included) give
// the default quiet NaN rather than an infinity.
inline double div(double a, double b) {
    if (kFloor > std::fabs(b)) return std::numeric_limits<double>::quiet_NaN();
    return a / b;
}

// One generic loop per shape. `out` may be one of the inputs: element i is
// read before it is written. Each returns the number of elements written.
template <class Rule>
std::size_t map_unary(const double* in, double* out, std::size_t n, Rule rule) {
    return parallel_for(n, [=](std::size_t i) { out[i] = rule(in[i]); });
}

template <class Rule>
std::size_t map_binary(const double* a, const double* b, double* out, std::size_t n, Rule rule) {
    return parallel_for(n, [=](std::size_t i) { out[i] = rule(a[i], b[i]); });
}

}  // namespace zyl::kernels
