#pragma once
// The discovery rules that are one IEEE operation each (negation, inverse,
// square root, magnitude, square, +, -, *, /), four samples per AVX2
// instruction: each lane is the same correctly rounded operation, and the
// same guard, as the scalar rule, so every sample gets the scalar value or
// NaN exactly as map_rule gives it. Functions carry their instruction set
// as an attribute and run only where has_avx2() says so; the module itself
// is built for the x86-64 baseline.
#include <immintrin.h>

#include <cfloat>
#include <cstddef>
#include <limits>

#include "discover/op_rules.hpp"
#include "formula.hpp"

#define ZYL_TARGET_AVX2 __attribute__((target("avx2")))

namespace zyl::regress::lanes {

inline bool has_avx2() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

// Which rules have four-lane forms: the square, and the discovery
// operations that are one IEEE operation.
template <Fn f>
inline constexpr bool kHasLanes = f == Fn::Neg || f == Fn::Inv || f == Fn::Sqrt || f == Fn::Abs ||
                                  f == Fn::Square || f == Fn::Add || f == Fn::Sub || f == Fn::Mul || f == Fn::Div;

ZYL_TARGET_AVX2 inline __m256d magnitude(__m256d x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }

// !(|x| < 1e-300): true for NaN, as the scalar guard is.
ZYL_TARGET_AVX2 inline __m256d not_tiny(__m256d x) {
    return _mm256_cmp_pd(magnitude(x), _mm256_set1_pd(discover::rules::kTinyMagnitude), _CMP_NLT_UQ);
}

template <Fn f>
ZYL_TARGET_AVX2 __m256d value(__m256d a, __m256d b) {
    if constexpr (f == Fn::Neg) return _mm256_xor_pd(_mm256_set1_pd(-0.0), a);
    if constexpr (f == Fn::Inv) return _mm256_div_pd(_mm256_set1_pd(1.0), a);
    if constexpr (f == Fn::Sqrt) return _mm256_sqrt_pd(a);
    if constexpr (f == Fn::Abs) return magnitude(a);
    if constexpr (f == Fn::Square) return _mm256_mul_pd(a, a);
    if constexpr (f == Fn::Add) return _mm256_add_pd(a, b);
    if constexpr (f == Fn::Sub) return _mm256_sub_pd(a, b);
    if constexpr (f == Fn::Mul) return _mm256_mul_pd(a, b);
    if constexpr (f == Fn::Div) return _mm256_div_pd(a, b);
}

// All ones where the rule's guard accepts the operands.
template <Fn f>
ZYL_TARGET_AVX2 __m256d accepted(__m256d a, __m256d b) {
    if constexpr (f == Fn::Inv) return not_tiny(a);
    if constexpr (f == Fn::Sqrt) return _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_NLT_UQ);
    if constexpr (f == Fn::Div) return not_tiny(b);
    return _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
}

// out[i] = the rule's value where it is accepted and finite, NaN elsewhere,
// for the samples [0, n - n % 4); true when every one of them passed. out
// may be a or b: each register is read before it is written.
template <Fn f>
ZYL_TARGET_AVX2 bool map_four(const double* a, const double* b, double* out, std::size_t n) {
    const __m256d nan = _mm256_set1_pd(std::numeric_limits<double>::quiet_NaN());
    const __m256d largest = _mm256_set1_pd(DBL_MAX);
    int passed = 0xf;
    for (std::size_t i = 0; i + 4 <= n; i += 4) {
        const __m256d x = _mm256_loadu_pd(a + i);
        const __m256d y = b != nullptr ? _mm256_loadu_pd(b + i) : x;
        const __m256d r = value<f>(x, y);
        const __m256d good = _mm256_and_pd(accepted<f>(x, y), _mm256_cmp_pd(magnitude(r), largest, _CMP_LE_OQ));
        _mm256_storeu_pd(out + i, _mm256_blendv_pd(nan, r, good));
        passed &= _mm256_movemask_pd(good);
    }
    return passed == 0xf;
}

}  // namespace zyl::regress::lanes

#undef ZYL_TARGET_AVX2
