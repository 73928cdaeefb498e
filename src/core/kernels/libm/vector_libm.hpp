#pragma once
// exp, log, pow, sin and cos, and the batch rules built on them, over arrays of
// doubles, each element bit for bit what the scalar function gives for it:
// SIMD kernels where this processor runs them, they passed their self-test
// in this process (self_test.hpp) and the floating-point modes are the
// default ones (round to nearest, subnormals kept); the scalar function
// element by element otherwise. Each function's self-test runs once, at its
// first call.
#include <cstddef>
#include <vector>

#include "kernels/libm/isa_kernels.hpp"

namespace zyl::kernels::libm {

// out[i] = f(in[i]), or f(a[i], b[i]), for i < n; out may be an input.
void run(Unary f, const double* in, double* out, std::size_t n);
void run(Binary f, const double* a, const double* b, double* out, std::size_t n);

// The scalar function each kernel reproduces.
UnaryScalar scalar_function(Unary f);
BinaryScalar scalar_function(Binary f);

// What runs each function in this process: "avx512", "avx2" or "scalar".
struct ActiveKernel {
    const char* function;
    const char* isa;
};
std::vector<ActiveKernel> active_kernels();

// The kernel sets this processor and system can run, preferred first; the
// self-test decides which of them are used.
std::vector<const IsaKernels*> runnable_kernel_sets();

}  // namespace zyl::kernels::libm
