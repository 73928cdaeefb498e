#pragma once
// Operations' values (for apply_column) and a candidate's squared errors (for
// column_score.cpp) four samples per AVX2 instruction: the operations that are one IEEE operation take their
// value and guard from the regression engine's lanes (regress/rule_lanes.hpp),
// the others their values from the vector kernels. Each lane is the scalar
// rule's correctly rounded operation, guard and finiteness test, and the
// difference and its square are two rounded operations (never fused), so
// every square has the scalar bits. Runs only where has_avx2() says so.
#include <immintrin.h>

#include <cfloat>
#include <cstddef>

#include "expr.hpp"
#include "regress/rule_lanes.hpp"
#include "vector_values.hpp"

#define ZYL_TARGET_AVX2 __attribute__((target("avx2")))

namespace zyl::discover::lanes {

using regress::Fn;
using regress::lanes::has_avx2;

// The regression rule of the same value and guard, for the operations that
// have four-lane forms.
template <Op o>
inline constexpr Fn kRule = o == Op::Neg    ? Fn::Neg
                            : o == Op::Inv  ? Fn::Inv
                            : o == Op::Sqrt ? Fn::Sqrt
                            : o == Op::Abs  ? Fn::Abs
                            : o == Op::Add  ? Fn::Add
                            : o == Op::Sub  ? Fn::Sub
                            : o == Op::Mul  ? Fn::Mul
                                            : Fn::Div;

// All ones where op accepts the operands.
template <Op o>
ZYL_TARGET_AVX2 __m256d accepted(__m256d a, __m256d b) {
    if constexpr (o == Op::Ln) {
        return _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_NLE_UQ);  // !(a <= 0), true for NaN
    } else if constexpr (kHasVectorValues<o>) {
        return _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    } else {
        return regress::lanes::accepted<kRule<o>>(a, b);
    }
}

// Where op accepts the operands and r is finite: four bits, one a lane.
template <Op o>
ZYL_TARGET_AVX2 int passed(__m256d a, __m256d b, __m256d r) {
    const __m256d finite = _mm256_cmp_pd(regress::lanes::magnitude(r), _mm256_set1_pd(DBL_MAX), _CMP_LE_OQ);
    return _mm256_movemask_pd(_mm256_and_pd(accepted<o>(a, b), finite));
}

// out[i] = op(a[i], b[i]) for samples [0, n - n % 4), for the operations
// with four-lane rules (not those of the vector kernels); true when op
// accepts every one of them and gives a finite value there. out may be a or
// b: each register is read before it is written. b is unused for unary
// operations.
template <Op o>
    requires(!kHasVectorValues<o>)
ZYL_TARGET_AVX2 bool values_four(const double* a, const double* b, double* out, std::size_t n) {
    int all = 0xf;
    for (std::size_t i = 0; i + 4 <= n; i += 4) {
        const __m256d x = _mm256_loadu_pd(a + i);
        const __m256d y = arity(o) == 2 ? _mm256_loadu_pd(b + i) : x;
        const __m256d r = regress::lanes::value<kRule<o>>(x, y);
        all &= passed<o>(x, y, r);
        _mm256_storeu_pd(out + i, r);
    }
    return all == 0xf;
}

// For samples [0, n - n % 4): writes (value - t[i])^2 at squares[i * stride],
// where the value is op(a[i], b[i]), or values[i] for the operations whose
// values are given. True when op accepts every one of those samples and
// gives a finite value there. b is unused for unary operations.
template <Op o>
ZYL_TARGET_AVX2 bool squares_four(const double* a, const double* b, const double* values, const double* t,
                                  std::size_t n, double* squares, std::size_t stride) {
    int all = 0xf;
    for (std::size_t i = 0; i + 4 <= n; i += 4) {
        const __m256d x = _mm256_loadu_pd(a + i);
        const __m256d y = arity(o) == 2 ? _mm256_loadu_pd(b + i) : x;
        __m256d r;
        if constexpr (kHasVectorValues<o>) {
            r = _mm256_loadu_pd(values + i);
        } else {
            r = regress::lanes::value<kRule<o>>(x, y);
        }
        all &= passed<o>(x, y, r);
        const __m256d d = _mm256_sub_pd(r, _mm256_loadu_pd(t + i));
        const __m256d square = _mm256_mul_pd(d, d);
        const __m128d low = _mm256_castpd256_pd128(square);
        const __m128d high = _mm256_extractf128_pd(square, 1);
        double* out = squares + i * stride;
        _mm_storel_pd(out, low);
        _mm_storeh_pd(out + stride, low);
        _mm_storel_pd(out + 2 * stride, high);
        _mm_storeh_pd(out + 3 * stride, high);
    }
    return all == 0xf;
}

}  // namespace zyl::discover::lanes

#undef ZYL_TARGET_AVX2
