#pragma once
// Scalar rules of the tension plane.
//
// IEEE conventions followed throughout: every guard is an ordinary floating
// point comparison, so a NaN fails each "x > t" test and passes each "not
// (y <= 0)" test; no rule ever raises or traps, domain errors become the
// clamped values below, NaN or +-inf. The platform libm supplies exp/log.
#include <cmath>

namespace zyl {

inline constexpr double kOverflowThreshold = 709.782712893384;  // ln(DBL_MAX)
inline constexpr double kFloor = 1e-300;
inline constexpr double kFloorLog = -690.7755278982137;  // ln(1e-300)
inline constexpr double kBoostClamp = 709.0;

// Exponential term E: above the threshold the exponential is taken of ln(x),
// which gives about x instead of overflowing.
inline double exp_term(double x) {
    if (x > kOverflowThreshold) x = std::log(x);
    return std::exp(x);
}

// Logarithm term L: ln|y|, with the floor logarithm for +-0. Tiny non-zero
// magnitudes are not lifted.
inline double log_term(double y) {
    double m = !(y <= 0.0) ? y : -y;
    if (m == 0.0) return kFloorLog;
    return std::log(m);
}

// Clamped logarithm Lc: non-positive arguments are lifted to at least 1e-300;
// positive tiny values are kept.
inline double clamped_log(double y) {
    double m;
    if (!(y <= 0.0))
        m = y;
    else
        m = -y > kFloor ? -y : kFloor;
    return std::log(m);
}

// Floored magnitude Mf: |y| lifted to 1e-300 (NaN gives 1e-300 too).
inline double floored_magnitude(double y) {
    double m = std::fabs(y);
    return m > kFloor ? m : kFloor;
}

inline double tension(double x, double y) { return exp_term(x) - log_term(y); }

struct BoostedPoint {
    double x;
    double y;
};

// Lorentz boost of (T, S) = (E(x), Lc(y)) with rapidity phi and speed c; the
// boosted time is written back as its logarithm, the boosted space coordinate
// as its (clamped) exponential.
inline BoostedPoint boost(double x, double y, double phi, double c) {
    double sh = std::sinh(phi);
    double ch = std::cosh(phi);
    double s = clamped_log(y);
    double t = exp_term(x);
    double s1 = ch * s - (c * t) * sh;
    if (s1 < -kBoostClamp) s1 = -kBoostClamp;
    if (s1 > kBoostClamp) s1 = kBoostClamp;
    double t1 = t * ch - (s / c) * sh;
    if (!(t1 > kFloor)) t1 = kFloor;
    return {std::log(t1), std::exp(s1)};
}

}  // namespace zyl
