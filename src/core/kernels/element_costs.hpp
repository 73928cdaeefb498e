#pragma once
// Nanoseconds one element of each batch rule takes on one core, measured by
// bench/bench_element_costs.cpp (2-core x86-64 VM, glibc libm) and rounded.
// Only their size matters: they decide whether a map is worth handing to the
// worker pool and how often a running piece looks for cancellation.
namespace zyl::cost {

inline constexpr double kSqrt = 3.0;
inline constexpr double kArithmetic = 1.0;  // add, sub, mul
inline constexpr double kDiv = 1.5;
inline constexpr double kBoost = 67.0;
inline constexpr double kRotatePhase = 30.0;
inline constexpr double kPulse = 48.0;  // one mirror pulse and its tension
inline constexpr double kOctonionMul = 43.0;
inline constexpr double kChristoffel = 15.0;
inline constexpr double kGeometricTerm = 4.0;  // per (i, j) term: L * L per product
// Per element of the contiguous runs of the rules that call exp, log, pow,
// sin and cos (vector kernels where the self-test enables them).
inline constexpr double kExpRun = 1.5;
inline constexpr double kLogRun = 2.0;
inline constexpr double kPowRun = 4.0;
inline constexpr double kTensionRun = 3.0;
inline constexpr double kSinCosRun = 6.0;

}  // namespace zyl::cost
