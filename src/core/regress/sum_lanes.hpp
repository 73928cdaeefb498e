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
    // Sums j written out, so that all four stay in registers.
    auto term = [&](std::size_t k, std::size_t t) ZYL_TARGET_AVX2 {
        return _mm256_mul_pd(_mm256_set1_pd(w[k]), _mm256_loadu_pd(by_sample + k * stride + t));
    };
    for (std::size_t t = first; t < stride; t += 4) {
        __m256d d0 = _mm256_setzero_pd(), d1 = d0, d2 = d0, d3 = d0;
        std::size_t k = 0;
        for (; k + 4 <= m; k += 4) {
            d0 = _mm256_add_pd(d0, term(k, t));
            d1 = _mm256_add_pd(d1, term(k + 1, t));
            d2 = _mm256_add_pd(d2, term(k + 2, t));
            d3 = _mm256_add_pd(d3, term(k + 3, t));
        }
        for (; k < m; ++k) d0 = _mm256_add_pd(d0, term(k, t));
        _mm256_storeu_pd(dots + t, _mm256_add_pd(_mm256_add_pd(d0, d1), _mm256_add_pd(d2, d3)));
    }
}

// The same, eight targets per instruction, and the last four (when stride
// is not a multiple of 8) four at a time.
ZYL_TARGET_AVX512 inline void eight_sum_dots(const double* w, std::size_t m, const double* by_sample,
                                            std::size_t stride, double* dots) {
    auto term = [&](std::size_t k, std::size_t t) ZYL_TARGET_AVX512 {
        return _mm512_mul_pd(_mm512_set1_pd(w[k]), _mm512_loadu_pd(by_sample + k * stride + t));
    };
    std::size_t t = 0;
    for (; t + 8 <= stride; t += 8) {
        __m512d d0 = _mm512_setzero_pd(), d1 = d0, d2 = d0, d3 = d0;
        std::size_t k = 0;
        for (; k + 4 <= m; k += 4) {
            d0 = _mm512_add_pd(d0, term(k, t));
            d1 = _mm512_add_pd(d1, term(k + 1, t));
            d2 = _mm512_add_pd(d2, term(k + 2, t));
            d3 = _mm512_add_pd(d3, term(k + 3, t));
        }
        for (; k < m; ++k) d0 = _mm512_add_pd(d0, term(k, t));
        _mm512_storeu_pd(dots + t, _mm512_add_pd(_mm512_add_pd(d0, d1), _mm512_add_pd(d2, d3)));
    }
    four_sum_dots(w, m, by_sample, stride, dots, t);
}

// For 4 * Q candidates at once, one a lane of Q registers: the mean of v
// over the n samples, and the sums of (v - mean)^2 and (v - mean) * y[i],
// each in sample order. Q registers make Q independent chains.
template <std::size_t Q>
ZYL_TARGET_AVX2 inline void centred_sums(const double* const* v, std::size_t n, const double* y, double* mean,
                                         double* sum_dd, double* sum_dy) {
    __m256d s[Q], m[Q], dd[Q], dy[Q];
    for (std::size_t q = 0; q < Q; ++q) s[q] = dd[q] = dy[q] = _mm256_setzero_pd();
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t q = 0; q < Q; ++q) s[q] = _mm256_add_pd(s[q], across(v + 4 * q, i));
    for (std::size_t q = 0; q < Q; ++q) m[q] = _mm256_div_pd(s[q], _mm256_set1_pd(static_cast<double>(n)));
    for (std::size_t i = 0; i < n; ++i) {
        const __m256d yi = _mm256_set1_pd(y[i]);
        for (std::size_t q = 0; q < Q; ++q) {
            const __m256d d = _mm256_sub_pd(across(v + 4 * q, i), m[q]);
            dd[q] = _mm256_add_pd(dd[q], _mm256_mul_pd(d, d));
            dy[q] = _mm256_add_pd(dy[q], _mm256_mul_pd(d, yi));
        }
    }
    for (std::size_t q = 0; q < Q; ++q) {
        _mm256_storeu_pd(mean + 4 * q, m[q]);
        _mm256_storeu_pd(sum_dd + 4 * q, dd[q]);
        _mm256_storeu_pd(sum_dy + 4 * q, dy[q]);
    }
}

// 4 * Q candidates' values on m samples, sample k of lane l at
// rows[4 * Q * k + l], are centred in place (each minus its mean, the
// mean's sum in order of k), and the sums of their squares (in order of k)
// go to sum_squares.
template <std::size_t Q>
ZYL_TARGET_AVX2 inline void centre(double* rows, std::size_t m, double* sum_squares) {
    __m256d s[Q], mean[Q], ss[Q];
    for (std::size_t q = 0; q < Q; ++q) s[q] = ss[q] = _mm256_setzero_pd();
    for (std::size_t k = 0; k < m; ++k)
        for (std::size_t q = 0; q < Q; ++q) s[q] = _mm256_add_pd(s[q], _mm256_loadu_pd(rows + 4 * (Q * k + q)));
    for (std::size_t q = 0; q < Q; ++q) mean[q] = _mm256_div_pd(s[q], _mm256_set1_pd(static_cast<double>(m)));
    for (std::size_t k = 0; k < m; ++k) {
        for (std::size_t q = 0; q < Q; ++q) {
            double* row = rows + 4 * (Q * k + q);
            const __m256d centred = _mm256_sub_pd(_mm256_loadu_pd(row), mean[q]);
            ss[q] = _mm256_add_pd(ss[q], _mm256_mul_pd(centred, centred));
            _mm256_storeu_pd(row, centred);
        }
    }
    for (std::size_t q = 0; q < Q; ++q) _mm256_storeu_pd(sum_squares + 4 * q, ss[q]);
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
