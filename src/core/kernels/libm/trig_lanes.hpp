#pragma once
// sin and cos on every lane of a register, for 2^-10 <= |x| < 2^19. The
// library's sin and cos look up tables of their own, which these kernels do
// not repeat: they compute the value more accurately than the library and
// keep it where that decides the library's bits. accurate_sin_cos gives sin
// and cos within 2^-64 of their magnitude (2^-66.3 is the largest error
// measured), a two-thousandth of an ulp. The library's documented error
// bounds for its sin and cos paths are at most 0.548 ulp (do_sin's; the
// others 0.51 to 0.518). When the value lies d ulp from the nearest
// midpoint between doubles, every double but the correctly rounded one is
// more than 0.5 + d ulp from it, so for d > 0.049 the library returns the
// correctly rounded value. Lanes within kTrigGuardUlps of a midpoint go to
// the scalar function (about one in eight), so do those outside the range
// above and those whose reduced argument is below 2^-10 in magnitude (the
// value there is too small for the reduction's error bound).
#include "kernels/libm/lanes.hpp"

namespace zyl::kernels::libm {

inline constexpr double kTrigGuardUlps = 0x1p-4;
inline constexpr double kSmallestReduced = 0x1p-10;
inline constexpr double kTrigHigh = 0x1p19;
inline constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
inline constexpr double kIntegerShift = 0x1.8p52;  // adding it rounds to an integer

// y = hi rounded from hi + lo (hi's tail), marked for the scalar function
// where the tail comes within `band` ulp of half an ulp, or where y is a
// power of two. y must be normal and at least 2^-960 in magnitude.
template <class V>
ZYL_LANES LaneResult<V> rounded_outside_band(const SplitLog<V>& l, double band) {
    // 2^e for |y| in [2^e, 2^(e+1)).
    const auto binade = V::from_bits(V::iand(V::bits(l.hi), V::splat_bits(kInfinityBits)));
    const auto clear = V::lt(V::abs(l.lo), V::mul(binade, V::splat((0.5 - band) * 0x1p-52)));
    return {l.hi, V::invert(V::but_not(clear, V::eq(V::abs(l.hi), binade)))};
}

// x = n pi/2 + t with t = th + tl to within 2^-100, n's low bits in
// `quadrant`. n p1 and n p2 are exact, x - n p1 is (Sterbenz), and the sum
// s + se with n p2 is exact while |t| >= 2^-10.
template <class V>
struct HalfPiReduction {
    typename V::D th, tl;
    typename V::I quadrant;
};

template <class V>
ZYL_LANES HalfPiReduction<V> reduce_half_pi(typename V::D x) {
    const auto shifted = V::fma(x, V::splat(kTwoOverPi), V::splat(kIntegerShift));
    const auto n = V::sub(shifted, V::splat(kIntegerShift));
    const auto a = V::fnma(n, V::splat(kHalfPiParts[0]), x);
    const auto b = V::mul(n, V::splat(kHalfPiParts[1]));
    const auto s = V::sub(a, b);
    const auto se = V::sub(V::sub(a, s), b);
    const auto rest = V::fnma(n, V::splat(kHalfPiParts[2]), se);
    const auto th = V::add(s, rest);
    return {th, V::add(V::sub(s, th), rest), V::bits(shifted)};
}

template <class V>
struct SinCos {
    SplitLog<V> sin, cos;
};

// sin and cos of t = th + tl, |t| <= pi/4 + 2^-40: t = k/64 + u with
// |u| <= 1/128, then sin(a + u) = sin a + cos a u + sin a (cos u - 1) +
// cos a (sin u - u) and cos(a + u) likewise, the leading products and sums
// in two parts, sin u - u and cos u - 1 by their series to u^9 and u^8.
template <class V>
ZYL_LANES SinCos<V> accurate_sin_cos(typename V::D th, typename V::D tl) {
    const auto sign = V::iand(V::bits(th), V::splat_bits(kSignBit));
    const auto t = V::abs(th);
    const auto ul = V::from_bits(V::ixor(V::bits(tl), sign));
    const auto k_shifted = V::fma(t, V::splat(64.0), V::splat(kIntegerShift));
    const auto k = V::sub(k_shifted, V::splat(kIntegerShift));
    typename V::D sh, sl, ch, cl;
    V::lookup4(kSinCosTable, V::iand(V::bits(k_shifted), V::splat_bits(kSinCosTableSize - 1)), sh, sl, ch, cl);
    const auto u = V::fnma(k, V::splat(1.0 / 64), t);  // exact
    const auto u2 = V::mul(u, u);
    auto c = [](double v) { return V::splat(v); };
    const auto s_poly = V::fma(u2, V::fma(u2, V::fma(u2, c(1.0 / 362880), c(-1.0 / 5040)), c(1.0 / 120)), c(-1.0 / 6));
    const auto c_poly = V::fma(u2, V::fma(u2, V::fma(u2, c(1.0 / 40320), c(-1.0 / 720)), c(1.0 / 24)), c(-0.5));
    const auto sin_u_less_u = V::mul(V::mul(u, u2), s_poly);
    // cos(u + ul) - 1 and sin(u + ul) - u, to first order in ul.
    const auto cos_less_one = V::fnma(u, ul, V::mul(u2, c_poly));
    const auto sin_less_u = V::add(sin_u_less_u, ul);

    const auto p = V::mul(ch, u);
    const auto p_err = V::fms(ch, u, p);
    const auto s_hi = V::add(sh, p);
    auto s_lo = V::add(V::add(V::sub(sh, s_hi), p), V::add(sl, p_err));
    s_lo = V::fma(cl, u, s_lo);
    s_lo = V::fma(sh, cos_less_one, s_lo);
    s_lo = V::fma(ch, sin_less_u, s_lo);

    const auto q = V::mul(sh, u);
    const auto q_err = V::fms(sh, u, q);
    const auto c_hi = V::sub(ch, q);
    auto c_lo = V::sub(V::add(V::sub(V::sub(ch, c_hi), q), cl), q_err);
    c_lo = V::fnma(sl, u, c_lo);
    c_lo = V::fma(ch, cos_less_one, c_lo);
    c_lo = V::fnma(sh, sin_less_u, c_lo);

    // Each as its rounded sum and that sum's tail.
    auto normalised = [&](typename V::D hi, typename V::D lo, typename V::I with_sign) {
        const auto y = V::add(hi, lo);
        const auto tail = V::add(V::sub(hi, y), lo);
        return SplitLog<V>{V::from_bits(V::ixor(V::bits(y), with_sign)), V::from_bits(V::ixor(V::bits(tail), with_sign))};
    };
    return {normalised(s_hi, s_lo, sign), normalised(c_hi, c_lo, V::splat_bits(0))};
}

// sin(x) for kOffset 0, cos(x) = sin(x + pi/2) for kOffset 1: by the
// quadrant n + kOffset, sin t, cos t, -sin t or -cos t.
template <class V, int kOffset>
ZYL_LANES LaneResult<V> trig_lanes(typename V::D x) {
    const HalfPiReduction<V> r = reduce_half_pi<V>(x);
    const SinCos<V> sc = accurate_sin_cos<V>(r.th, r.tl);
    const auto quadrant = V::iadd(r.quadrant, V::splat_bits(kOffset));
    const auto odd = V::within(V::iand(quadrant, V::splat_bits(1)), 1, 2);
    const auto flip = V::template shl<62>(V::iand(quadrant, V::splat_bits(2)));
    auto pick = [&](typename V::D s, typename V::D c) {
        return V::from_bits(V::ixor(V::bits(V::select(odd, c, s)), flip));
    };
    const SplitLog<V> value{pick(sc.sin.hi, sc.cos.hi), pick(sc.sin.lo, sc.cos.lo)};
    LaneResult<V> result = rounded_outside_band<V>(value, kTrigGuardUlps);
    const auto ordinary = V::both(magnitude_within<V>(x, kSmallestReduced, kTrigHigh),
                                  magnitude_within<V>(r.th, kSmallestReduced, 1.0));
    result.scalar = V::either(result.scalar, V::invert(ordinary));
    return result;
}

template <class V>
ZYL_LANES LaneResult<V> sin_lanes(typename V::D x) {
    return trig_lanes<V, 0>(x);
}

template <class V>
ZYL_LANES LaneResult<V> cos_lanes(typename V::D x) {
    return trig_lanes<V, 1>(x);
}

}  // namespace zyl::kernels::libm
