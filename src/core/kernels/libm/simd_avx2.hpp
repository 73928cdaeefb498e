#pragma once
// Four double lanes in AVX2 registers with FMA. Included only by the file
// compiled for AVX2 (kernels_avx2.cpp). A lane mask is a vector whose lanes
// are all ones or all zeros, as the compare instructions give them.
#include <immintrin.h>

#include <cstdint>

namespace zyl::kernels::libm {

struct Avx2 {
    static constexpr int kLanes = 4;
    using D = __m256d;
    using I = __m256i;
    using M = __m256d;

    static D load(const double* p) { return _mm256_loadu_pd(p); }
    static void store(double* p, D v) { _mm256_storeu_pd(p, v); }
    static D splat(double v) { return _mm256_set1_pd(v); }
    static I splat_bits(std::uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }

    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
    // a * b + c, a * b - c and c - a * b, each rounded once.
    static D fma(D a, D b, D c) { return _mm256_fmadd_pd(a, b, c); }
    static D fms(D a, D b, D c) { return _mm256_fmsub_pd(a, b, c); }
    static D fnma(D a, D b, D c) { return _mm256_fnmadd_pd(a, b, c); }
    static D abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static D neg(D a) { return _mm256_xor_pd(_mm256_set1_pd(-0.0), a); }

    static I bits(D a) { return _mm256_castpd_si256(a); }
    static D from_bits(I a) { return _mm256_castsi256_pd(a); }
    static I iadd(I a, I b) { return _mm256_add_epi64(a, b); }
    static I isub(I a, I b) { return _mm256_sub_epi64(a, b); }
    static I iand(I a, I b) { return _mm256_and_si256(a, b); }
    static I ixor(I a, I b) { return _mm256_xor_si256(a, b); }
    template <int S>
    static I shl(I a) { return _mm256_slli_epi64(a, S); }
    template <int S>
    static I shr(I a) { return _mm256_srli_epi64(a, S); }

    // Entry index[i] of a table of two doubles (16 bytes) per entry, lane by
    // lane: one load per entry and a transpose, which is faster here than
    // the gather instructions.
    static void lookup2(const void* table, I index, D& first, D& second) {
        alignas(32) long long at[kLanes];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
        const auto* t = static_cast<const double*>(table);
        auto two = [&](int i, int j) {
            return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(t + 2 * at[i])), _mm_load_pd(t + 2 * at[j]),
                                        1);
        };
        const D a = two(0, 2), b = two(1, 3);
        first = _mm256_unpacklo_pd(a, b);
        second = _mm256_unpackhi_pd(a, b);
    }
    // The four doubles of entry index[i] of a table of four doubles (32
    // bytes) per entry.
    static void lookup4(const void* table, I index, D& first, D& second, D& third, D& fourth) {
        alignas(32) long long at[kLanes];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
        const auto* t = static_cast<const double*>(table);
        const D e0 = _mm256_load_pd(t + 4 * at[0]), e1 = _mm256_load_pd(t + 4 * at[1]);
        const D e2 = _mm256_load_pd(t + 4 * at[2]), e3 = _mm256_load_pd(t + 4 * at[3]);
        const D low01 = _mm256_unpacklo_pd(e0, e1), low23 = _mm256_unpacklo_pd(e2, e3);
        const D high01 = _mm256_unpackhi_pd(e0, e1), high23 = _mm256_unpackhi_pd(e2, e3);
        first = _mm256_permute2f128_pd(low01, low23, 0x20);
        second = _mm256_permute2f128_pd(high01, high23, 0x20);
        third = _mm256_permute2f128_pd(low01, low23, 0x31);
        fourth = _mm256_permute2f128_pd(high01, high23, 0x31);
    }

    // Lanes whose bits, as unsigned integers, lie in [low, high). AVX2 has
    // only signed 64-bit compares: flipping the sign bits maps unsigned
    // order onto signed order.
    static M within(I a, std::uint64_t low, std::uint64_t high) {
        const I sign = _mm256_set1_epi64x(static_cast<long long>(0x8000000000000000));
        const I offset = _mm256_xor_si256(_mm256_sub_epi64(a, splat_bits(low)), sign);
        return _mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_xor_si256(splat_bits(high - low), sign), offset));
    }
    // Ordered compares: false in a lane where either side is NaN.
    static M lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static M gt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static M eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static M both(M a, M b) { return _mm256_and_pd(a, b); }
    static M either(M a, M b) { return _mm256_or_pd(a, b); }
    static M but_not(M a, M b) { return _mm256_andnot_pd(b, a); }
    static M invert(M a) { return _mm256_xor_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(-1))); }
    static unsigned lanes_of(M m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
    // m ? if_set : if_clear, lane by lane.
    static D select(M m, D if_set, D if_clear) { return _mm256_blendv_pd(if_clear, if_set, m); }
};

}  // namespace zyl::kernels::libm
