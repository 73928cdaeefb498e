#pragma once
// Element-wise rules over contiguous runs of doubles. The rules that are one
// IEEE operation (add, sub, mul, the division with its floor, the square root
// of the magnitude) take two elements per SSE2 instruction, or four per AVX
// instruction on processors that have AVX (chosen at run time; the module is
// built for the x86-64 baseline): each lane is the same correctly rounded
// operation as the scalar rule, so every element gets exactly the scalar
// rule's value. (Which NaN comes out when two NaN operands meet is left open
// by IEEE 754, as it is for the scalar rules.)
#include <immintrin.h>

#include <cstddef>

#include "kernels/elementwise.hpp"
#include "kernels/libm/vector_libm.hpp"

namespace zyl::kernels {

// A rule type has one(x...) -> double, the scalar rule, and may have
// two(x...) -> __m128d, the same rule on two lanes at once, or run(x...,
// out, n), its own loop over contiguous runs.
#define ZYL_TARGET_AVX __attribute__((target("avx")))

struct AddRule {
    static double one(double a, double b) { return add(a, b); }
    static __m128d two(__m128d a, __m128d b) { return _mm_add_pd(a, b); }
    ZYL_TARGET_AVX static __m256d four(__m256d a, __m256d b) { return _mm256_add_pd(a, b); }
};

struct SubRule {
    static double one(double a, double b) { return sub(a, b); }
    static __m128d two(__m128d a, __m128d b) { return _mm_sub_pd(a, b); }
    ZYL_TARGET_AVX static __m256d four(__m256d a, __m256d b) { return _mm256_sub_pd(a, b); }
};

struct MulRule {
    static double one(double a, double b) { return mul(a, b); }
    static __m128d two(__m128d a, __m128d b) { return _mm_mul_pd(a, b); }
    ZYL_TARGET_AVX static __m256d four(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }
};

inline __m128d magnitude2(__m128d x) { return _mm_andnot_pd(_mm_set1_pd(-0.0), x); }
ZYL_TARGET_AVX inline __m256d magnitude4(__m256d x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }

struct DivRule {
    static double one(double a, double b) { return div(a, b); }
    // The quotient where 1e-300 <= |b| (or b is NaN), the default NaN below.
    static __m128d two(__m128d a, __m128d b) {
        const __m128d too_small = _mm_cmplt_pd(magnitude2(b), _mm_set1_pd(kFloor));
        const __m128d nan = _mm_set1_pd(std::numeric_limits<double>::quiet_NaN());
        return _mm_or_pd(_mm_and_pd(too_small, nan), _mm_andnot_pd(too_small, _mm_div_pd(a, b)));
    }
    ZYL_TARGET_AVX static __m256d four(__m256d a, __m256d b) {
        const __m256d too_small = _mm256_cmp_pd(magnitude4(b), _mm256_set1_pd(kFloor), _CMP_LT_OQ);
        const __m256d nan = _mm256_set1_pd(std::numeric_limits<double>::quiet_NaN());
        return _mm256_or_pd(_mm256_and_pd(too_small, nan), _mm256_andnot_pd(too_small, _mm256_div_pd(a, b)));
    }
};

struct SqrtAbsRule {
    static double one(double x) { return sqrt_abs(x); }
    static __m128d two(__m128d x) { return _mm_sqrt_pd(magnitude2(x)); }
    ZYL_TARGET_AVX static __m256d four(__m256d x) { return _mm256_sqrt_pd(magnitude4(x)); }
};

// The rules that call exp, log, pow, sin or cos run the vector kernels,
// which give the same values a register at a time (libm/vector_libm.hpp).
template <double (*F)(double), libm::Unary K>
struct VectorRule1 {
    static double one(double x) { return F(x); }
    static void run(const double* x, double* out, std::size_t n) { libm::run(K, x, out, n); }
};

template <double (*F)(double, double), libm::Binary K>
struct VectorRule2 {
    static double one(double a, double b) { return F(a, b); }
    static void run(const double* a, const double* b, double* out, std::size_t n) { libm::run(K, a, b, out, n); }
};

using ExpTermRule = VectorRule1<exp_term, libm::Unary::ExpTerm>;
using LogTermRule = VectorRule1<log_term, libm::Unary::LogTerm>;
using PowAbsRule = VectorRule2<pow_abs, libm::Binary::PowAbs>;
using TensionRule = VectorRule2<tension, libm::Binary::Tension>;
using SinRule = VectorRule1<sin, libm::Unary::Sin>;
using CosRule = VectorRule1<cos, libm::Unary::Cos>;

template <class R>
concept HasRun = requires(const double* in, double* out) { R::run(in, out, std::size_t{}); } ||
                 requires(const double* in, double* out) { R::run(in, in, out, std::size_t{}); };

template <class R>
concept HasTwoLanes = requires(__m128d v) { R::two(v); } || requires(__m128d v) { R::two(v, v); };

template <class R>
ZYL_TARGET_AVX void unary_run_avx(const double* in, double* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, R::four(_mm256_loadu_pd(in + i)));
    for (; i < n; ++i) out[i] = R::one(in[i]);
}

template <class R>
ZYL_TARGET_AVX void binary_run_avx(const double* a, const double* b, double* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, R::four(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i)));
    for (; i < n; ++i) out[i] = R::one(a[i], b[i]);
}

inline bool has_avx() {
    static const bool avx = __builtin_cpu_supports("avx");
    return avx;
}

template <class R>
void unary_run(const double* in, double* out, std::size_t n) {
    if constexpr (HasRun<R>) return R::run(in, out, n);
    std::size_t i = 0;
    if constexpr (HasTwoLanes<R>) {
        if (has_avx()) return unary_run_avx<R>(in, out, n);
        for (; i + 2 <= n; i += 2) _mm_storeu_pd(out + i, R::two(_mm_loadu_pd(in + i)));
    }
    for (; i < n; ++i) out[i] = R::one(in[i]);
}

template <class R>
void binary_run(const double* a, const double* b, double* out, std::size_t n) {
    if constexpr (HasRun<R>) return R::run(a, b, out, n);
    std::size_t i = 0;
    if constexpr (HasTwoLanes<R>) {
        if (has_avx()) return binary_run_avx<R>(a, b, out, n);
        for (; i + 2 <= n; i += 2) _mm_storeu_pd(out + i, R::two(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
    }
    for (; i < n; ++i) out[i] = R::one(a[i], b[i]);
}

}  // namespace zyl::kernels

#undef ZYL_TARGET_AVX
