#pragma once
// The C library's sin and cos (the IBM accurate algorithms of glibc) on
// every lane of a register, with the operations and fused multiply-adds of
// its FMA build, for |x| below 105414350. Larger arguments (the library's
// long reduction), infinities and NaN are marked for the scalar function.
// Both functions come down to one of two kernels on a reduced argument
// a + da: do_sin (a Taylor polynomial for |a| < 0.126, otherwise the table
// of sin and cos at multiples of 1/128) or do_cos (the table); each lane
// picks its kernel and sign, and only kernels some lane needs are computed.
#include "kernels/libm/lanes.hpp"

namespace zyl::kernels::libm {

template <class V>
struct Reduced2 {
    typename V::D a;
    typename V::D da;
    typename V::M use_cos;  // lanes that take do_cos
    typename V::M negate;   // lanes whose result changes sign
};

// x = n pi/2 + a + da, pi/2 in three parts (the library's reduce_sincos).
template <class V>
ZYL_LANES Reduced2<V> reduce_by_half_pi(typename V::D x, bool cosine) {
    const auto t = V::fma(x, V::splat(kTwoOverPi), V::splat(kToInt));
    const auto xn = V::sub(t, V::splat(kToInt));
    auto y = V::fnma(xn, V::splat(kMp1), x);
    y = V::fnma(xn, V::splat(kMp2), y);
    const auto t2 = V::fnma(xn, V::splat(kPp3), y);
    auto db = V::fnma(xn, V::splat(kPp3), V::sub(y, t2));
    const auto b = V::fnma(xn, V::splat(kPp4), t2);
    db = V::add(db, V::fnma(xn, V::splat(kPp4), V::sub(t2, b)));
    // cos x = sin(x + pi/2): its quadrant is one further.
    auto n = V::bits(t);
    if (cosine) n = V::iadd(n, V::splat_bits(1));
    return {b, db, V::has_bit(n, 1), V::has_bit(n, 2)};
}

// The table entry nearest |a| and the remainder |a| - k/128.
template <class V>
struct TableSplit {
    typename V::D rest;
    typename V::D sn, ssn, cs, ccs;
};

template <class V>
ZYL_LANES TableSplit<V> table_split(typename V::D abs_a) {
    const auto big = V::splat(kSinCosBig);
    const auto u = V::add(abs_a, big);
    TableSplit<V> t;
    t.rest = V::sub(abs_a, V::sub(u, big));
    V::lookup4(kSinCosTable, V::iand(V::bits(u), V::splat_bits(0xffffffff)), t.sn, t.ssn, t.cs, t.ccs);
    return t;
}

template <class V>
ZYL_LANES typename V::D sin_odd_part(typename V::D xx) {
    return V::fma(xx, V::splat(kSn5), V::splat(kSn3));
}

template <class V>
ZYL_LANES typename V::D cos_even_part(typename V::D xx) {
    return V::fma(xx, V::fma(xx, V::splat(kCs6), V::splat(kCs4)), V::splat(kCs2));
}

// do_sin for |a| < 0.126.
template <class V>
ZYL_LANES typename V::D sin_taylor(typename V::D a, typename V::D da) {
    auto s = [](int i) { return V::splat(kTaylorS[i]); };
    const auto xx = V::mul(a, a);
    auto p = V::fma(xx, s(4), s(3));
    p = V::fma(xx, p, s(2));
    p = V::fma(xx, p, s(1));
    p = V::fma(xx, p, s(0));
    const auto t = V::fma(xx, V::fms(p, a, V::mul(da, V::splat(0.5))), da);
    return V::add(a, t);
}

// do_sin from the table, |a| >= 0.126.
template <class V>
ZYL_LANES typename V::D sin_table(typename V::D a, typename V::D da, const TableSplit<V>& t) {
    const auto dx = V::select(V::le(a, V::splat(0.0)), V::neg(da), da);
    const auto x = t.rest;
    const auto xx = V::mul(x, x);
    const auto s = V::add(x, V::fma(V::mul(x, xx), sin_odd_part<V>(xx), dx));
    const auto c = V::fma(x, dx, V::mul(xx, cos_even_part<V>(xx)));
    const auto cor = V::fma(s, t.cs, V::fnma(c, t.sn, V::fma(s, t.ccs, t.ssn)));
    return V::copysign(V::add(t.sn, cor), a);
}

// do_cos from the table.
template <class V>
ZYL_LANES typename V::D cos_table(typename V::D a, typename V::D da, const TableSplit<V>& t) {
    const auto dx = V::select(V::lt(a, V::splat(0.0)), V::neg(da), da);
    const auto x = V::add(t.rest, dx);
    const auto xx = V::mul(x, x);
    const auto s = V::fma(V::mul(x, xx), sin_odd_part<V>(xx), x);
    const auto c = V::mul(xx, cos_even_part<V>(xx));
    const auto cor = V::fnma(s, t.sn, V::fnma(c, t.cs, V::fnma(s, t.ssn, t.ccs)));
    return V::add(t.cs, cor);
}

// do_sin or do_cos of a + da, lane by lane.
template <class V>
ZYL_LANES typename V::D sin_or_cos(const Reduced2<V>& r) {
    const auto abs_a = V::abs(r.a);
    const TableSplit<V> t = table_split<V>(abs_a);
    const auto taylor = V::but_not(V::lt(abs_a, V::splat(kTaylorBound)), r.use_cos);
    const auto by_sin_table = V::invert(V::either(taylor, r.use_cos));
    auto y = V::splat(0.0);
    if (V::lanes_of(r.use_cos) != 0) y = V::select(r.use_cos, cos_table<V>(r.a, r.da, t), y);
    if (V::lanes_of(by_sin_table) != 0) y = V::select(by_sin_table, sin_table<V>(r.a, r.da, t), y);
    if (V::lanes_of(taylor) != 0) y = V::select(taylor, sin_taylor<V>(r.a, r.da), y);
    return y;
}

// kCosine selects cos, otherwise sin.
template <class V, bool kCosine>
ZYL_LANES LaneResult<V> sin_cos_lanes(typename V::D x) {
    const auto abs_bits = V::iand(V::bits(x), V::splat_bits(~kSignBit));
    const std::uint64_t tiny_bits = kCosine ? kCosTinyBits : kSinTinyBits;
    const auto tiny = V::within(abs_bits, 0, tiny_bits);
    const auto table_range = V::within(abs_bits, tiny_bits, kTableRangeBits);
    const auto near_half_pi = V::within(abs_bits, kTableRangeBits, kNearHalfPiBits);
    const auto reducible = V::within(abs_bits, kNearHalfPiBits, kReducibleBits);
    const auto zero = V::splat(0.0);

    // |x| < 0.855469: the kernel on x itself.
    Reduced2<V> r{x, zero, kCosine ? V::invert(V::none()) : V::none(), V::none()};
    if (V::lanes_of(reducible) != 0) {
        const Reduced2<V> n = reduce_by_half_pi<V>(x, kCosine);
        r = {V::select(reducible, n.a, r.a), V::select(reducible, n.da, r.da),
             V::select_mask(reducible, n.use_cos, r.use_cos), V::select_mask(reducible, n.negate, r.negate)};
    }
    // Up to 2.426265: sin x = +-cos(pi/2 - |x|), cos x = sin(pi/2 - |x|),
    // pi/2 in two parts, added as each function does.
    const auto y = V::sub(V::splat(kHalfPiHi), V::abs(x));
    const auto lo = V::splat(kHalfPiLo);
    if constexpr (kCosine) {
        const auto a = V::add(y, lo);
        r = {V::select(near_half_pi, a, r.a), V::select(near_half_pi, V::add(V::sub(y, a), lo), r.da),
             V::but_not(r.use_cos, near_half_pi), r.negate};
    } else {
        r = {V::select(near_half_pi, y, r.a), V::select(near_half_pi, lo, r.da), V::either(r.use_cos, near_half_pi),
             r.negate};
    }
    // Lanes outside the three ranges look up entry 0 and are replaced.
    const auto ranged = V::either(V::either(table_range, near_half_pi), reducible);
    r.a = V::select(ranged, r.a, zero);
    auto v = sin_or_cos<V>(r);
    v = V::select(r.negate, V::neg(v), v);
    if constexpr (!kCosine) v = V::select(near_half_pi, V::copysign(v, x), v);
    v = V::select(tiny, kCosine ? V::splat(1.0) : x, v);
    return {v, V::invert(V::either(tiny, ranged))};
}

template <class V>
ZYL_LANES LaneResult<V> sin_lanes(typename V::D x) {
    return sin_cos_lanes<V, false>(x);
}

template <class V>
ZYL_LANES LaneResult<V> cos_lanes(typename V::D x) {
    return sin_cos_lanes<V, true>(x);
}

}  // namespace zyl::kernels::libm
