#pragma once
// exp, log and pow over arrays of doubles, each element bit for bit what the
// C library's function gives for it: SIMD kernels where this processor runs
// them and they passed their self-test in this process (self_test.hpp), the
// scalar function element by element otherwise. The check runs once, at the
// first call of any of these.
#include <array>
#include <cstddef>
#include <vector>

#include "kernels/libm/isa_kernels.hpp"

namespace zyl::kernels::libm {

// out[i] = std::exp(in[i]), std::log(in[i]), std::pow(x[i], y[i]) for i < n.
// out may be an input.
void exp_array(const double* in, double* out, std::size_t n);
void log_array(const double* in, double* out, std::size_t n);
void pow_array(const double* x, const double* y, double* out, std::size_t n);

// The instruction set each function runs on in this process: "avx512",
// "avx2" or "scalar".
struct ActiveKernel {
    const char* function;
    const char* isa;
};
std::array<ActiveKernel, 3> active_kernels();

// The kernel sets this processor and system can run, preferred first; the
// self-test decides which of them are used.
std::vector<const IsaKernels*> runnable_kernel_sets();

}  // namespace zyl::kernels::libm
