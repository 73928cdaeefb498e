#pragma once
// Point of the tension plane and its operations, built on the scalar guards.
// The Python aliases (pulse for mirror_pulse, zyl for tension) map onto the
// same functions here.
#include <string>

#include "tension/guards.hpp"
#include "tension/pair.hpp"

namespace zyl {

struct Point {
    double x;
    double y;
};

// (|y| with 0 lifted to 1e-300, E(x) - ln of it): the new y is the old
// tension. A NaN y stays NaN and tiny positive values are kept.
Point mirror_pulse(Point p);

// Like mirror_pulse, but through Mf: NaN and every |y| <= 1e-300 become 1e-300.
Point frame_shift(Point p);

// Whether E(x) took its logarithmic branch.
inline bool is_slipping(Point p) { return p.x > kOverflowThreshold; }

// Rounding residual of E(self.x) - L(next.y) + L(next.y) against E(self.x),
// compared strictly with tol; a non-finite E(self.x) always conserves.
bool conserves_tension(Point self, Point next, double tol);

// Canonical frame coordinates (E(x), Lc(y)).
inline Pair to_pair(Point p) { return {exp_term(p.x), clamped_log(p.y)}; }

double euclidean_delta(Point p);

// The flag swaps the sign of the difference, which the absolute value then
// removes; it is kept because callers must state the signature.
double minkowski_delta(Point p, bool plus_signature, double c);

inline Point boost(Point p, double phi, double c) {
    BoostedPoint b = boost(p.x, p.y, phi, c);
    return {b.x, b.y};
}

// "ZYLPoint(x=1.000000, y=2.000000)"
std::string point_repr(Point p);

// "ZYLPoint { x: 1.0, y: -0.5 }", shortest round-trip numbers.
std::string point_debug(Point p);

}  // namespace zyl
