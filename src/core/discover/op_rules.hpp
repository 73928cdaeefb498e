#pragma once
// The guard and value of every operation, shared by the sample-wise and the
// column-wise evaluation so both produce the same bits.
#include <cfloat>
#include <cmath>

#include "expr.hpp"

namespace zyl::discover::rules {

inline constexpr double kTinyMagnitude = 1e-300;
// Discovery expressions use their own, shorter threshold than the point
// operations; results near it differ, so the shared guard is not reused.
inline constexpr double kZylOverflow = 709.78;

// Strict thresholds: a magnitude equal to 1e-300 is accepted. A NaN passes
// every guard and is caught by the finiteness test.
template <Op op>
inline bool accepts(double a, double b) {
    if constexpr (op == Op::Inv) return !(std::fabs(a) < kTinyMagnitude);
    if constexpr (op == Op::Ln) return !(a <= 0.0);
    if constexpr (op == Op::Sqrt) return !(a < 0.0);
    if constexpr (op == Op::Div) return !(std::fabs(b) < kTinyMagnitude);
    (void)a;
    (void)b;
    return true;
}

inline double zyl(double a, double b) {
    double e = a > kZylOverflow ? std::exp(std::log(a)) : std::exp(a);
    double guarded = b;
    if (!(b > 0.0 || std::isnan(b))) {
        double m = std::fabs(b);
        guarded = m > kTinyMagnitude ? m : kTinyMagnitude;
    }
    return e - std::log(guarded);
}

template <Op op>
inline double value(double a, double b) {
    if constexpr (op == Op::Neg) return -a;
    if constexpr (op == Op::Inv) return 1.0 / a;
    if constexpr (op == Op::Exp) return std::exp(a);
    if constexpr (op == Op::Ln) return std::log(a);
    if constexpr (op == Op::Sqrt) return std::sqrt(a);
    if constexpr (op == Op::Sin) return std::sin(a);
    if constexpr (op == Op::Cos) return std::cos(a);
    if constexpr (op == Op::Abs) return std::fabs(a);
    if constexpr (op == Op::Zyl) return zyl(a, b);
    if constexpr (op == Op::Add) return a + b;
    if constexpr (op == Op::Sub) return a - b;
    if constexpr (op == Op::Mul) return a * b;
    if constexpr (op == Op::Div) return a / b;
}

// |r| <= DBL_MAX is false for both infinities and NaN.
inline bool finite(double r) { return std::fabs(r) <= DBL_MAX; }

inline constexpr std::uint8_t kOpCount = 13;
inline constexpr bool known(Op op) { return static_cast<std::uint8_t>(op) < kOpCount; }

// Calls f.template operator()<op>() for the runtime op; op must be known.
template <class F>
inline decltype(auto) dispatch(Op op, F&& f) {
    switch (op) {
        case Op::Neg: return f.template operator()<Op::Neg>();
        case Op::Inv: return f.template operator()<Op::Inv>();
        case Op::Exp: return f.template operator()<Op::Exp>();
        case Op::Ln: return f.template operator()<Op::Ln>();
        case Op::Sqrt: return f.template operator()<Op::Sqrt>();
        case Op::Sin: return f.template operator()<Op::Sin>();
        case Op::Cos: return f.template operator()<Op::Cos>();
        case Op::Abs: return f.template operator()<Op::Abs>();
        case Op::Zyl: return f.template operator()<Op::Zyl>();
        case Op::Add: return f.template operator()<Op::Add>();
        case Op::Sub: return f.template operator()<Op::Sub>();
        case Op::Mul: return f.template operator()<Op::Mul>();
        case Op::Div: break;
    }
    return f.template operator()<Op::Div>();
}

}  // namespace zyl::discover::rules
