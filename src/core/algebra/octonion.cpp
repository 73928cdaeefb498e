#include "octonion.hpp"

#include <emmintrin.h>

#include <algorithm>
#include <limits>

#include "pool/worker_pool.hpp"

namespace zyl {

Octonion octonion_mul(const Octonion& a, const Octonion& b) {
    Octonion c{};
    // Fully unrolled, every table entry becomes a constant and c stays in
    // registers; the order of the additions is unchanged.
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) {
        const double ai = a[i];
        if (ai == 0.0) continue;
        const auto& row = kOctonionTable[i];
#pragma GCC unroll 8
        for (std::size_t j = 0; j < 8; ++j) {
            const double bj = b[j];
            if (bj == 0.0) continue;
            const BasisProduct e = row[j];
            // The sign is applied as a factor, not as a subtraction, so a NaN
            // coefficient keeps the sign bit it would get from the product.
            c[e.index] = static_cast<double>(e.sign) * ai * bj + c[e.index];
        }
    }
    return c;
}

namespace {

// Row i of the table by result component: e_i * e_j lands on k with this
// sign, for the j that reaches k.
struct RowByResult {
    std::array<std::uint8_t, 8> j;
    std::array<double, 8> sign;
};

constexpr std::array<RowByResult, 8> rows_by_result() {
    std::array<RowByResult, 8> rows{};
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t j = 0; j < 8; ++j) {
            const BasisProduct e = kOctonionTable[i][j];
            rows[i].j[e.index] = static_cast<std::uint8_t>(j);
            rows[i].sign[e.index] = e.sign;
        }
    return rows;
}

constexpr std::array<RowByResult, 8> kRowsByResult = rows_by_result();

bool all_finite(const Octonion& v) {
    const __m128d inf = _mm_set1_pd(std::numeric_limits<double>::infinity());
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d ok = _mm_castsi128_pd(_mm_set1_epi64x(-1));
    for (std::size_t k = 0; k < 8; k += 2) ok = _mm_and_pd(ok, _mm_cmplt_pd(_mm_andnot_pd(sign, _mm_loadu_pd(&v[k])), inf));
    return _mm_movemask_pd(ok) == 3;
}

}  // namespace

bool octonion_mul_finite(const Octonion& a, const Octonion& b, Octonion& c) {
    if (!all_finite(a) || !all_finite(b)) return false;
    // Component pairs (k, k + 1) in one register; row i adds
    // (sign * a_i) * b_j to each, in increasing i as octonion_mul does.
    __m128d acc[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) {
        const RowByResult& row = kRowsByResult[i];
        const __m128d ai = _mm_set1_pd(a[i]);
#pragma GCC unroll 4
        for (std::size_t p = 0; p < 4; ++p) {
            const __m128d signed_ai = _mm_mul_pd(_mm_set_pd(row.sign[2 * p + 1], row.sign[2 * p]), ai);
            const __m128d bj = _mm_set_pd(b[row.j[2 * p + 1]], b[row.j[2 * p]]);
            acc[p] = _mm_add_pd(_mm_mul_pd(signed_ai, bj), acc[p]);
        }
    }
    for (std::size_t p = 0; p < 4; ++p) _mm_storeu_pd(&c[2 * p], acc[p]);
    return true;
}

bool octonion_mul_finite_pair(const Octonion& a0, const Octonion& b0, const Octonion& a1, const Octonion& b1,
                              Octonion& c0, Octonion& c1) {
    if (!all_finite(a0) || !all_finite(b0) || !all_finite(a1) || !all_finite(b1)) return false;
    // Lane 0 holds the first product's coefficient, lane 1 the second's.
    __m128d a[8], minus_a[8], b[8], c[8];
    const __m128d sign = _mm_set1_pd(-0.0);
    for (std::size_t k = 0; k < 8; k += 2) {
        const __m128d p0 = _mm_loadu_pd(&a0[k]), p1 = _mm_loadu_pd(&a1[k]);
        const __m128d q0 = _mm_loadu_pd(&b0[k]), q1 = _mm_loadu_pd(&b1[k]);
        a[k] = _mm_unpacklo_pd(p0, p1);
        a[k + 1] = _mm_unpackhi_pd(p0, p1);
        b[k] = _mm_unpacklo_pd(q0, q1);
        b[k + 1] = _mm_unpackhi_pd(q0, q1);
    }
    for (std::size_t k = 0; k < 8; ++k) {
        // Exact negation: (-1) * a_i for a finite a_i.
        minus_a[k] = _mm_xor_pd(a[k], sign);
        c[k] = _mm_setzero_pd();
    }
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) {
#pragma GCC unroll 8
        for (std::size_t j = 0; j < 8; ++j) {
            const BasisProduct e = kOctonionTable[i][j];
            c[e.index] = _mm_add_pd(_mm_mul_pd(e.sign > 0 ? a[i] : minus_a[i], b[j]), c[e.index]);
        }
    }
    for (std::size_t k = 0; k < 8; k += 2) {
        _mm_storeu_pd(&c0[k], _mm_unpacklo_pd(c[k], c[k + 1]));
        _mm_storeu_pd(&c1[k], _mm_unpackhi_pd(c[k], c[k + 1]));
    }
    return true;
}

std::size_t octonion_mul_batch(std::span<const Octonion> a, std::span<const Octonion> b,
                               std::vector<Octonion>& out, const MapControl& control) {
    const std::size_t n = std::min(a.size(), b.size());
    out.resize(n);
    Octonion* dst = out.data();
    return parallel_for(n, [&](std::size_t k) { dst[k] = octonion_mul(a[k], b[k]); }, control);
}

}  // namespace zyl
