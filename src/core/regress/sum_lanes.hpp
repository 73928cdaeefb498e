#pragma once
// The sums the search ranks candidates by, for several candidates or
// targets at once: each lane of a register carries one candidate's (or one
// target's) chain of additions, the same operations in the same order as
// its scalar loop, so the lanes give the scalar sums bit for bit while the
// chains overlap. Functions carry their instruction set as an attribute and
// run only where rule_lanes.hpp's has_avx2() (or has_avx512() here) says
// so.
#include <immintrin.h>

#include <cstddef>

#define ZYL_TARGET_AVX2 __attribute__((target("avx2")))
#define ZYL_TARGET_AVX512 __attribute__((target("avx512f")))

namespace zyl::regress::lanes {

inline bool has_avx512() {
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    return avx512;
}

// Element i of four candidates' values, one a lane: v[l][i] in lane l.
ZYL_TARGET_AVX2 inline __m256d across(const double* const v[4], std::size_t i) {
    return _mm256_set_pd(v[3][i], v[2][i], v[1][i], v[0][i]);
}

// dots[t] for every target t (`stride` of them, a multiple of 4) whose
// values on the m subset samples are by_sample[k * stride + t]: the dot
// product with w in the four running sums Targets::score forms for one
// target, sums j = 0..3 over the samples k = j (mod 4) below m - m % 4 in
// increasing k, the samples left over into sum 0, then (d0 + d1) + (d2 + d3).
// Four targets per instruction, from target `first` (a multiple of 4) on.
ZYL_TARGET_AVX2 inline void four_sum_dots(const double* w, std::size_t m, const double* by_sample,
                                          std::size_t stride, double* dots, std::size_t first = 0) {
    const std::size_t whole = m - m % 4;
    for (std::size_t t = first; t < stride; t += 4) {
        __m256d d[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
        for (std::size_t k = 0; k < m; ++k) {
            const std::size_t j = k < whole ? k % 4 : 0;
            const __m256d term = _mm256_mul_pd(_mm256_set1_pd(w[k]), _mm256_loadu_pd(by_sample + k * stride + t));
            d[j] = _mm256_add_pd(d[j], term);
        }
        _mm256_storeu_pd(dots + t, _mm256_add_pd(_mm256_add_pd(d[0], d[1]), _mm256_add_pd(d[2], d[3])));
    }
}

// The same, eight targets per instruction, and the last four (when stride
// is not a multiple of 8) four at a time.
ZYL_TARGET_AVX512 inline void eight_sum_dots(const double* w, std::size_t m, const double* by_sample,
                                            std::size_t stride, double* dots) {
    const std::size_t whole = m - m % 4;
    std::size_t t = 0;
    for (; t + 8 <= stride; t += 8) {
        __m512d d[4] = {_mm512_setzero_pd(), _mm512_setzero_pd(), _mm512_setzero_pd(), _mm512_setzero_pd()};
        for (std::size_t k = 0; k < m; ++k) {
            const std::size_t j = k < whole ? k % 4 : 0;
            const __m512d term = _mm512_mul_pd(_mm512_set1_pd(w[k]), _mm512_loadu_pd(by_sample + k * stride + t));
            d[j] = _mm512_add_pd(d[j], term);
        }
        _mm512_storeu_pd(dots + t, _mm512_add_pd(_mm512_add_pd(d[0], d[1]), _mm512_add_pd(d[2], d[3])));
    }
    four_sum_dots(w, m, by_sample, stride, dots, t);
}

// For four candidates at once, one a lane: the mean of v over the n
// samples, and the sums of (v - mean)^2 and (v - mean) * y[i], each in
// sample order.
ZYL_TARGET_AVX2 inline void four_centred_sums(const double* const v[4], std::size_t n, const double* y, double* mean,
                                              double* sum_dd, double* sum_dy) {
    __m256d s = _mm256_setzero_pd();
    for (std::size_t i = 0; i < n; ++i) s = _mm256_add_pd(s, across(v, i));
    const __m256d m = _mm256_div_pd(s, _mm256_set1_pd(static_cast<double>(n)));
    __m256d dd = _mm256_setzero_pd(), dy = _mm256_setzero_pd();
    for (std::size_t i = 0; i < n; ++i) {
        const __m256d d = _mm256_sub_pd(across(v, i), m);
        dd = _mm256_add_pd(dd, _mm256_mul_pd(d, d));
        dy = _mm256_add_pd(dy, _mm256_mul_pd(d, _mm256_set1_pd(y[i])));
    }
    _mm256_storeu_pd(mean, m);
    _mm256_storeu_pd(sum_dd, dd);
    _mm256_storeu_pd(sum_dy, dy);
}

// Four candidates' values on m samples, sample k of lane l at
// rows[4 * k + l], are centred in place (each minus its mean, the mean's
// sum in order of k), and the sums of their squares (in order of k) go to
// sum_squares.
ZYL_TARGET_AVX2 inline void four_centre(double* rows, std::size_t m, double* sum_squares) {
    __m256d s = _mm256_setzero_pd();
    for (std::size_t k = 0; k < m; ++k) s = _mm256_add_pd(s, _mm256_loadu_pd(rows + 4 * k));
    const __m256d mean = _mm256_div_pd(s, _mm256_set1_pd(static_cast<double>(m)));
    __m256d ss = _mm256_setzero_pd();
    for (std::size_t k = 0; k < m; ++k) {
        const __m256d centred = _mm256_sub_pd(_mm256_loadu_pd(rows + 4 * k), mean);
        ss = _mm256_add_pd(ss, _mm256_mul_pd(centred, centred));
        _mm256_storeu_pd(rows + 4 * k, centred);
    }
    _mm256_storeu_pd(sum_squares, ss);
}

// same_up_to_scale's sums for four pairs (v[l], s[l]) at once, on the
// samples at[0..m): the means of each, then the sums of squares and of
// products of the centred values, each in order of k.
ZYL_TARGET_AVX2 inline void four_scale_sums(const double* const v[4], const double* const s[4], const std::size_t* at,
                                            std::size_t m, double* svv, double* sss, double* svs) {
    __m256d mv = _mm256_setzero_pd(), ms = _mm256_setzero_pd();
    for (std::size_t k = 0; k < m; ++k) {
        mv = _mm256_add_pd(mv, across(v, at[k]));
        ms = _mm256_add_pd(ms, across(s, at[k]));
    }
    const __m256d count = _mm256_set1_pd(static_cast<double>(m));
    mv = _mm256_div_pd(mv, count);
    ms = _mm256_div_pd(ms, count);
    __m256d vv = _mm256_setzero_pd(), ss = _mm256_setzero_pd(), vs = _mm256_setzero_pd();
    for (std::size_t k = 0; k < m; ++k) {
        const __m256d a = _mm256_sub_pd(across(v, at[k]), mv);
        const __m256d b = _mm256_sub_pd(across(s, at[k]), ms);
        vv = _mm256_add_pd(vv, _mm256_mul_pd(a, a));
        ss = _mm256_add_pd(ss, _mm256_mul_pd(b, b));
        vs = _mm256_add_pd(vs, _mm256_mul_pd(a, b));
    }
    _mm256_storeu_pd(svv, vv);
    _mm256_storeu_pd(sss, ss);
    _mm256_storeu_pd(svs, vs);
}

}  // namespace zyl::regress::lanes

#undef ZYL_TARGET_AVX2
#undef ZYL_TARGET_AVX512
