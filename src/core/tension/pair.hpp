#pragma once
// Complex-like pair (real, imag). Every formula keeps its stated grouping:
// products are rounded before the sum or difference that combines them.
#include <cmath>
#include <string>

namespace zyl {

struct Pair {
    double real;
    double imag;
};

inline constexpr double kPairTolerance = 1e-9;

inline Pair from_polar(double r, double theta) { return {std::cos(theta) * r, std::sin(theta) * r}; }

// Unary minus is the IEEE sign-bit flip: a zero changes sign, a NaN keeps
// its payload.
inline Pair conjugate(Pair p) { return {p.real, -p.imag}; }

// Multiplication by e^(i*angle); the single phase rotation behind the pair
// method and both pair batches.
inline Pair rotate_phase(double re, double im, double angle) {
    double c = std::cos(angle);
    double n = std::sin(angle);
    return {c * re - n * im, c * im + n * re};
}

// Squares summed unscaled: overflows past about 1.34e154 by design.
inline double modulus(Pair p) { return std::sqrt(p.imag * p.imag + p.real * p.real); }
inline double argument(Pair p) { return std::atan2(p.imag, p.real); }

inline Pair operator+(Pair s, Pair o) { return {s.real + o.real, s.imag + o.imag}; }
inline Pair operator-(Pair s, Pair o) { return {s.real - o.real, s.imag - o.imag}; }
inline Pair operator*(Pair s, Pair o) {
    return {s.real * o.real - s.imag * o.imag, s.imag * o.real + s.real * o.imag};
}

// Never raises: a squared modulus below 1e-300 (zero included) is replaced by
// 1e-300, so (1, 0) / (0, 0) is (0, 0); a NaN modulus passes through.
inline Pair operator/(Pair s, Pair o) {
    double d = o.real * o.real + o.imag * o.imag;
    if (std::fabs(d) < 1e-300) d = 1e-300;
    return {(s.real * o.real + s.imag * o.imag) / d, (s.imag * o.real - s.real * o.imag) / d};
}

// Per-component absolute tolerance, strict; not transitive, and any NaN
// component makes it false.
inline bool tolerant_equal(Pair s, Pair o) {
    return std::fabs(s.real - o.real) < kPairTolerance && std::fabs(s.imag - o.imag) < kPairTolerance;
}

// "ZYLPair(1.000000 - 2.000000i)": the sign is '-' for a negative or NaN
// imaginary part, so -0.0 shows as "+ 0.000000i".
std::string pair_repr(Pair p);

}  // namespace zyl
