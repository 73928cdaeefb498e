#pragma once
// Knot state: a point, a pulse count that wraps in two's complement, and a
// phase kept as a remainder of a full turn.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pool/worker_pool.hpp"
#include "tension/point.hpp"

namespace zyl {

inline constexpr double kQuarterTurn = 1.5707963267948966;
inline constexpr double kFullTurn = 6.283185307179586;

struct Knot {
    double x;
    double y;
    std::int64_t flip_count;
    double phase;
};

// phase = fmod(theta, 2*pi): the sign follows theta.
Knot make_knot(Point p, std::int64_t n, double theta);

// One pulse step of the point, count + 1 (wrapping), phase + quarter turn.
Knot mirror_pulse(const Knot& k);

// Exactly four successive mirror pulses.
Knot three_one_flip(const Knot& k);

// 2 * (flip_count / 4), truncating; |flip_count / 4| <= 2^61, so the doubling
// cannot overflow even for INT64_MIN.
inline std::int64_t tread_yield(const Knot& k) { return 2 * (k.flip_count / 4); }

// |E(x) - L(y)|: uses the floor logarithm for y = 0 rather than lifting y.
inline double rho(const Knot& k) { return std::fabs(tension(k.x, k.y)); }

// "ZYLKnot(n=0, rho=2.025135, theta=0.0000, point=ZYLPoint { x: 1.0, y: 2.0 })"
std::string knot_repr(const Knot& k);

// Entries (x, y, tension) for the start point and each of n_pulses mirror
// pulses; `out` is replaced. Throws std::length_error when n_pulses + 1
// entries exceed what a vector can address (n_pulses = SIZE_MAX included) and
// lets std::bad_alloc from the single up-front reservation propagate, so
// nothing is computed unless the whole trajectory fits. Runs on the calling
// thread, asking control.poll every millisecond or so; returns the number of
// entries, or kCancelled (out is then incomplete).
std::size_t simulate_pulses(double x0, double y0, std::size_t n_pulses, std::vector<std::array<double, 3>>& out,
                            const MapControl& control = {});

}  // namespace zyl
