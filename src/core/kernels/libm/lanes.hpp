#pragma once
// The C library's exp, log and pow on every lane of a register, for the
// ordinary inputs of each. They take the same operations in the same order
// as the library's FMA build (the one a processor with FMA and AVX2 gets):
// every multiply-add that compiler fused is fused here, every other
// operation is rounded on its own, and the tables hold the library's
// entries (rebuilt by its own rules), so each lane gets the scalar
// function's bits. Lanes outside the ordinary range are marked for the
// scalar function: they are where the library branches (overflow,
// underflow, subnormals, zero, infinities, NaN).
// Templates over the instruction set V (simd_avx2.hpp, simd_avx512.hpp), so
// each instruction-set file compiles its own copy.
#include <cstdint>

#include "kernels/libm/tables.hpp"

// Every lane function is inlined into the loop that runs it: called, each
// would pass its registers through memory.
#define ZYL_LANES [[gnu::always_inline]] inline

namespace zyl::kernels::libm {

template <class V>
struct LaneResult {
    typename V::D value;
    typename V::M scalar;  // lanes whose value the scalar function must give
};

inline constexpr std::uint64_t kSignBit = 0x8000000000000000;
inline constexpr std::uint64_t kMinNormalBits = 0x0010000000000000;
inline constexpr std::uint64_t kInfinityBits = 0x7ff0000000000000;
constexpr std::uint64_t bits_of(double v) { return __builtin_bit_cast(std::uint64_t, v); }

// Lanes whose magnitude lies in [low, high): never a NaN lane.
template <class V>
ZYL_LANES typename V::M magnitude_within(typename V::D x, double low, double high) {
    return V::within(V::iand(V::bits(x), V::splat_bits(~kSignBit)), bits_of(low), bits_of(high));
}

// Lanes holding a positive normal number.
template <class V>
ZYL_LANES typename V::M positive_normal(typename V::D x) {
    return V::within(V::bits(x), kMinNormalBits, kInfinityBits);
}

// The 64-bit lanes hold a 12-bit two's complement integer in their low bits;
// the double of that integer, exactly (a magic-number conversion, since AVX2
// has no 64-bit integer to double instruction).
template <class V>
ZYL_LANES typename V::D twelve_bit_integer(typename V::I low12) {
    const auto biased = V::ixor(V::iand(low12, V::splat_bits(0xfff)), V::splat_bits(0x800));
    const auto magic = V::from_bits(V::iadd(biased, V::splat_bits(bits_of(0x1.8p52))));
    return V::sub(magic, V::splat(0x1.8p52 + 2048.0));
}

// exp(x + tail) for 2^-54 <= |x| < 512 and |tail| tiny against x (none for
// exp itself): x = k ln2/128 + r, then 2^(k/128) (1 + tail_k + e^r - 1).
template <class V, bool kWithTail>
ZYL_LANES typename V::D exp_ordinary(typename V::D x, typename V::D tail) {
    auto kd = V::fma(x, V::splat(kExpInvLn2N), V::splat(kExpShift));
    const auto ki = V::bits(kd);
    kd = V::sub(kd, V::splat(kExpShift));
    auto r = V::fma(kd, V::splat(kExpNegLn2HiN), x);
    r = V::fma(kd, V::splat(kExpNegLn2LoN), r);
    if constexpr (kWithTail) r = V::add(tail, r);
    typename V::D tail_j, scale_bits;
    V::lookup2(kExpTable, V::iand(ki, V::splat_bits(kTableSize - 1)), tail_j, scale_bits);
    const auto scale = V::from_bits(V::iadd(V::bits(scale_bits), V::template shl<45>(ki)));
    const auto r_tail = V::add(r, tail_j);
    const auto r2 = V::mul(r, r);
    const auto p23 = V::fma(r, V::splat(kExpC3), V::splat(kExpC2));
    const auto p45 = V::fma(r, V::splat(kExpC5), V::splat(kExpC4));
    const auto low = V::fma(p23, r2, r_tail);
    const auto t = V::fma(p45, V::mul(r2, r2), low);
    return V::fma(scale, t, scale);
}

// Lanes with |x| < 2^-54 (zero among them) are 1 + x, as in the library,
// without leaving the registers.
template <class V>
ZYL_LANES LaneResult<V> exp_lanes(typename V::D x) {
    LaneResult<V> r{exp_ordinary<V, false>(x, x), V::invert(magnitude_within<V>(x, 0x1p-54, 512.0))};
    if (V::lanes_of(r.scalar) != 0) {
        const auto tiny = V::lt(V::abs(x), V::splat(0x1p-54));
        r = {V::select(tiny, V::add(V::splat(1.0), x), r.value), V::but_not(r.scalar, tiny)};
    }
    return r;
}

// Inputs x = 2^k z split around `offset` as both logarithms do: the table
// index, k as a double, and z.
template <class V>
struct Reduced {
    typename V::I index;
    typename V::D k;
    typename V::D z;
};

template <class V, int kSize>
ZYL_LANES Reduced<V> reduce(typename V::D x, std::uint64_t offset) {
    constexpr int kBits = __builtin_ctz(kSize);
    const auto ix = V::bits(x);
    const auto tmp = V::isub(ix, V::splat_bits(offset));
    const auto index = V::iand(V::template shr<52 - kBits>(tmp), V::splat_bits(kSize - 1));
    const auto k = twelve_bit_integer<V>(V::template shr<52>(tmp));
    const auto z = V::from_bits(V::isub(ix, V::iand(tmp, V::splat_bits(0xfff0000000000000))));
    return {index, k, z};
}

// log(x) for x in [0x1.ep-1, 1 + 0x1.09p-4): a polynomial in r = x - 1 with
// r + B0 r^2 carried in two parts.
template <class V>
ZYL_LANES typename V::D log_near_one(typename V::D x) {
    auto b = [](int i) { return V::splat(kLogB[i]); };
    const auto r = V::sub(x, V::splat(1.0));
    const auto r2 = V::mul(r, r);
    const auto r3 = V::mul(r, r2);
    const auto b123 = V::fma(r2, b(3), V::fma(r, b(2), b(1)));
    const auto b456 = V::fma(r2, b(6), V::fma(r, b(5), b(4)));
    const auto b789 = V::fma(r2, b(9), V::fma(r, b(8), b(7)));
    const auto b7_10 = V::fma(r3, b(10), b789);
    const auto p = V::fma(V::fma(b7_10, r3, b456), r3, b123);
    // rhi keeps r's top 26 bits, so rhi * rhi is exact.
    const auto two27 = V::splat(0x1p27);
    const auto rhi = V::fnma(two27, r, V::fma(r, two27, r));
    const auto rlo = V::sub(r, rhi);
    const auto rhi2 = V::mul(rhi, rhi);
    const auto hi = V::fma(rhi2, b(0), r);
    auto lo = V::fma(rhi2, b(0), V::sub(r, hi));
    lo = V::fma(V::mul(b(0), rlo), V::add(r, rhi), lo);
    return V::add(hi, V::fma(p, r3, lo));
}

// pow's logarithm: log(x) as hi + lo with about 15 more bits in lo.
template <class V>
struct SplitLog {
    typename V::D hi;
    typename V::D lo;
};

template <class V>
ZYL_LANES SplitLog<V> pow_log(typename V::D x) {
    auto a = [](int i) { return V::splat(kPowA[i]); };
    const Reduced<V> s = reduce<V, kTableSize>(x, kPowLogOffset);
    typename V::D invc, logc, logctail, unused;
    V::lookup4(kPowLogTable, s.index, invc, logc, logctail, unused);
    const auto t1 = V::fma(s.k, V::splat(kLn2Hi), logc);
    const auto lo1 = V::fma(s.k, V::splat(kLn2Lo), logctail);
    const auto r = V::fma(s.z, invc, V::splat(-1.0));
    const auto ar = V::mul(r, a(0));
    const auto t2 = V::add(r, t1);
    const auto ar2 = V::mul(r, ar);
    const auto ar3 = V::mul(r, ar2);
    const auto lo2 = V::add(V::sub(t1, t2), r);
    const auto lo3 = V::fms(ar, r, ar2);
    const auto hi = V::add(t2, ar2);
    const auto lo4 = V::add(V::sub(t2, hi), ar2);
    const auto q56 = V::fma(r, a(6), a(5));
    const auto q = V::fma(ar2, V::fma(q56, ar2, V::fma(r, a(4), a(3))), V::fma(r, a(2), a(1)));
    const auto lo = V::fma(ar3, q, V::add(V::add(V::add(lo1, lo2), lo3), lo4));
    const auto y = V::add(hi, lo);
    return {y, V::add(V::sub(hi, y), lo)};
}

// log(x) for positive normal x outside the near-1 range: x = 2^k z, r =
// z invc - 1 (one rounding), log(x) = k ln2 + logc + r + r^2 (A0 + r A1 +
// ...), with k ln2hi + logc exact and the rounding error of hi = w + r
// carried in lo.
template <class V>
ZYL_LANES typename V::D table_log(typename V::D x) {
    auto a = [](int i) { return V::splat(kLogA[i]); };
    const Reduced<V> s = reduce<V, kTableSize>(x, kLogOffset);
    typename V::D invc, logc;
    V::lookup2(kLogTable, s.index, invc, logc);
    const auto r = V::fma(s.z, invc, V::splat(-1.0));
    const auto w = V::fma(s.k, V::splat(kLn2Hi), logc);
    const auto hi = V::add(w, r);
    const auto lo = V::fma(s.k, V::splat(kLn2Lo), V::add(V::sub(w, hi), r));
    const auto r2 = V::mul(r, r);
    const auto p = V::fma(r2, V::fma(r, a(4), a(3)), V::fma(r, a(2), a(1)));
    return V::add(V::fma(V::mul(r, r2), p, V::fma(r2, a(0), lo)), hi);
}

template <class V>
ZYL_LANES LaneResult<V> log_lanes(typename V::D x) {
    const auto near_one = V::within(V::bits(x), bits_of(kLogNearOneLow), bits_of(kLogNearOneHigh));
    LaneResult<V> r{table_log<V>(x), V::invert(positive_normal<V>(x))};
    if (V::lanes_of(near_one) != 0)
        r = {V::select(near_one, log_near_one<V>(x), r.value), V::but_not(r.scalar, near_one)};
    return r;
}

template <class V>
ZYL_LANES LaneResult<V> pow_lanes(typename V::D x, typename V::D y) {
    const SplitLog<V> l = pow_log<V>(x);
    const auto ehi = V::mul(y, l.hi);
    const auto elo = V::fma(y, l.lo, V::fms(l.hi, y, ehi));
    const auto ordinary = V::both(V::both(positive_normal<V>(x), magnitude_within<V>(y, 0x1p-65, 0x1p63)),
                                  magnitude_within<V>(ehi, 0x1p-54, 512.0));
    return {exp_ordinary<V, true>(ehi, elo), V::invert(ordinary)};
}

}  // namespace zyl::kernels::libm
