#pragma once
// The kernels one instruction-set file provides. Plain function pointers, so
// that only those files are compiled for their instruction set and nothing
// they define is shared with code compiled for the baseline.
#include <cstddef>
#include <cstdint>

namespace zyl::kernels::libm {

// The C library's functions, and the batch rules built on them (exp_term,
// log_term, pow_abs and tension of tension/guards.hpp and elementwise.hpp,
// and the discovery engine's zyl of discover/op_rules.hpp).
enum class Unary : std::uint8_t { Exp, Log, ExpTerm, LogTerm, Sin, Cos };
enum class Binary : std::uint8_t { Pow, PowAbs, Tension, Zyl };
inline constexpr std::size_t kUnaryCount = 6;
inline constexpr std::size_t kBinaryCount = 4;

using UnaryScalar = double (*)(double);
using BinaryScalar = double (*)(double, double);

// out[i] = f(in[i]) for i < n, where the lanes the kernel does not cover are
// given by `scalar`, the function it reproduces. out may be in.
using UnaryRun = void (*)(const double* in, double* out, std::size_t n, UnaryScalar scalar);
// out[i] = f(a[i], b[i]) likewise; out may be a or b.
using BinaryRun = void (*)(const double* a, const double* b, double* out, std::size_t n, BinaryScalar scalar);

struct IsaKernels {
    const char* isa;
    UnaryRun unary[kUnaryCount];
    BinaryRun binary[kBinaryCount];
};

// Callable only where the processor and the system run the instruction set
// (see vector_libm.cpp).
extern const IsaKernels kAvx512Kernels;
extern const IsaKernels kAvx2Kernels;

}  // namespace zyl::kernels::libm
