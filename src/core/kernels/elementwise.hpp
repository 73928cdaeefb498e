#pragma once
// Element rules of the batch kernels: pure functions of one element (and the
// call's scalars), so a batch gives the same result for every split of its
// index range. The tension-plane guards come from guards.hpp, shared with the
// point operations.
#include <algorithm>
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

// pow(m, +-0) = 1 and pow(1, e) = 1 for every m and e, NaN included. glibc's
// pow gives NaN when the other operand is a signalling NaN, so both rules
// are applied before it is called.
inline double pow_abs(double base, double e) {
    const double m = std::fabs(base);
    if (e == 0.0 || m == 1.0) return 1.0;
    return std::pow(m, e);
}

// Divisors below the floor in magnitude (zero and subnormals included) give
// the default quiet NaN rather than an infinity.
inline double div(double a, double b) {
    if (kFloor > std::fabs(b)) return std::numeric_limits<double>::quiet_NaN();
    return a / b;
}

// One generic loop per shape. `out` may be one of the inputs: element i is
// read before it is written. Each returns the number of elements written, or
// kCancelled when control stopped the map.
template <class Rule>
std::size_t map_unary(const double* in, double* out, std::size_t n, Rule rule, const MapControl& control = {}) {
    return parallel_for(n, [=](std::size_t i) { out[i] = rule(in[i]); }, control);
}

template <class Rule>
std::size_t map_binary(const double* a, const double* b, double* out, std::size_t n, Rule rule,
                       const MapControl& control = {}) {
    return parallel_for(n, [=](std::size_t i) { out[i] = rule(a[i], b[i]); }, control);
}

// The same maps for rules with a loop of their own over contiguous runs (the
// vector rules of contiguous.hpp): run(in..., out, len) over blocks of
// [0, n), each block a unit of the pool's work. control.element_cost_ns is
// per element.
inline constexpr std::size_t kRunBlock = 1024;

template <class Body>
std::size_t map_blocks(std::size_t n, Body body, MapControl control) {
    const std::size_t blocks = (n + kRunBlock - 1) / kRunBlock;
    control.element_cost_ns *= kRunBlock;
    const std::size_t done = parallel_for(blocks, [=](std::size_t k) {
        const std::size_t begin = k * kRunBlock;
        body(begin, std::min(kRunBlock, n - begin));
    }, control);
    if (done == kCancelled) return kCancelled;
    return done == blocks ? n : done * kRunBlock;
}

template <class Run>
std::size_t map_unary_runs(const double* in, double* out, std::size_t n, Run run, const MapControl& control = {}) {
    return map_blocks(n, [=](std::size_t begin, std::size_t len) { run(in + begin, out + begin, len); }, control);
}

template <class Run>
std::size_t map_binary_runs(const double* a, const double* b, double* out, std::size_t n, Run run,
                            const MapControl& control = {}) {
    return map_blocks(n, [=](std::size_t begin, std::size_t len) { run(a + begin, b + begin, out + begin, len); },
                      control);
}

}  // namespace zyl::kernels
