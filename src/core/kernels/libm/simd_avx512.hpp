#pragma once
// Eight double lanes in AVX-512 registers (F and DQ). Included only by the
// file compiled for AVX-512 (kernels_avx512.cpp). A lane mask is a mask
// register.
//
// GCC 12's AVX-512 header fills the unused operand of many intrinsics from
// a deliberately uninitialised variable, and -Wuninitialized reports each
// use once inlined; the warning is about the header, not this code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cstdint>

namespace zyl::kernels::libm {

struct Avx512 {
    static constexpr int kLanes = 8;
    using D = __m512d;
    using I = __m512i;
    using M = __mmask8;

    static D load(const double* p) { return _mm512_loadu_pd(p); }
    static void store(double* p, D v) { _mm512_storeu_pd(p, v); }
    static D splat(double v) { return _mm512_set1_pd(v); }
    static I splat_bits(std::uint64_t v) { return _mm512_set1_epi64(static_cast<long long>(v)); }

    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
    // a * b + c, a * b - c and c - a * b, each rounded once.
    static D fma(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
    static D fms(D a, D b, D c) { return _mm512_fmsub_pd(a, b, c); }
    static D fnma(D a, D b, D c) { return _mm512_fnmadd_pd(a, b, c); }
    static D abs(D a) { return _mm512_abs_pd(a); }
    static D neg(D a) { return from_bits(_mm512_xor_si512(bits(a), splat_bits(0x8000000000000000))); }

    static I bits(D a) { return _mm512_castpd_si512(a); }
    static D from_bits(I a) { return _mm512_castsi512_pd(a); }
    static I iadd(I a, I b) { return _mm512_add_epi64(a, b); }
    static I isub(I a, I b) { return _mm512_sub_epi64(a, b); }
    static I iand(I a, I b) { return _mm512_and_si512(a, b); }
    static I ixor(I a, I b) { return _mm512_xor_si512(a, b); }
    template <int S>
    static I shl(I a) { return _mm512_slli_epi64(a, S); }
    template <int S>
    static I shr(I a) { return _mm512_srli_epi64(a, S); }

    // Entry index[i] of a table of two doubles (16 bytes) per entry, lane by
    // lane: one load per entry and a transpose, which is faster here than
    // the gather instructions.
    static void lookup2(const void* table, I index, D& first, D& second) {
        alignas(64) long long at[kLanes];
        _mm512_store_si512(at, index);
        const auto* t = static_cast<const double*>(table);
        auto two = [&](int i, int j) {
            return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(t + 2 * at[i])), _mm_load_pd(t + 2 * at[j]),
                                        1);
        };
        // a holds entries 0 2 4 6, b entries 1 3 5 7, so that unpacking
        // puts entry i in lane i.
        const D a = _mm512_insertf64x4(_mm512_castpd256_pd512(two(0, 2)), two(4, 6), 1);
        const D b = _mm512_insertf64x4(_mm512_castpd256_pd512(two(1, 3)), two(5, 7), 1);
        first = _mm512_unpacklo_pd(a, b);
        second = _mm512_unpackhi_pd(a, b);
    }
    // The four doubles of entry index[i] of a table of four doubles (32
    // bytes) per entry.
    static void lookup4(const void* table, I index, D& first, D& second, D& third, D& fourth) {
        alignas(64) long long at[kLanes];
        _mm512_store_si512(at, index);
        const auto* t = static_cast<const double*>(table);
        auto two = [&](int i, int j) {
            return _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_load_pd(t + 4 * at[i])),
                                      _mm256_load_pd(t + 4 * at[j]), 1);
        };
        const D e02 = two(0, 2), e13 = two(1, 3), e46 = two(4, 6), e57 = two(5, 7);
        const D low0123 = _mm512_unpacklo_pd(e02, e13), low4567 = _mm512_unpacklo_pd(e46, e57);
        const D high0123 = _mm512_unpackhi_pd(e02, e13), high4567 = _mm512_unpackhi_pd(e46, e57);
        first = _mm512_shuffle_f64x2(low0123, low4567, 0x88);
        second = _mm512_shuffle_f64x2(high0123, high4567, 0x88);
        third = _mm512_shuffle_f64x2(low0123, low4567, 0xdd);
        fourth = _mm512_shuffle_f64x2(high0123, high4567, 0xdd);
    }

    // Lanes whose bits, as unsigned integers, lie in [low, high).
    static M within(I a, std::uint64_t low, std::uint64_t high) {
        return _mm512_cmplt_epu64_mask(_mm512_sub_epi64(a, splat_bits(low)), splat_bits(high - low));
    }
    // Ordered compares: false in a lane where either side is NaN.
    static M lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static M gt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    static M eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static M both(M a, M b) { return static_cast<M>(a & b); }
    static M either(M a, M b) { return static_cast<M>(a | b); }
    static M but_not(M a, M b) { return static_cast<M>(a & ~b); }
    static M invert(M a) { return static_cast<M>(~a); }
    static unsigned lanes_of(M m) { return m; }
    // m ? if_set : if_clear, lane by lane.
    static D select(M m, D if_set, D if_clear) { return _mm512_mask_blend_pd(m, if_clear, if_set); }
};

}  // namespace zyl::kernels::libm
