#pragma once
// The kernels one instruction-set file provides. Plain function pointers, so
// that only those files are compiled for their instruction set and nothing
// they define is shared with code compiled for the baseline.
#include <cstddef>

namespace zyl::kernels::libm {

using UnaryScalar = double (*)(double);
using BinaryScalar = double (*)(double, double);

// out[i] = f(in[i]) for i < n, where the lanes the kernel does not cover are
// given by `scalar`, the function it reproduces. out may be in.
using UnaryRun = void (*)(const double* in, double* out, std::size_t n, UnaryScalar scalar);
// out[i] = f(a[i], b[i]) likewise; out may be a or b.
using BinaryRun = void (*)(const double* a, const double* b, double* out, std::size_t n, BinaryScalar scalar);

struct IsaKernels {
    const char* isa;
    UnaryRun exp;
    UnaryRun log;
    BinaryRun pow;
};

// Callable only where the processor and the system run the instruction set
// (see vector_libm.cpp).
extern const IsaKernels kAvx512Kernels;
extern const IsaKernels kAvx2Kernels;

}  // namespace zyl::kernels::libm
