#pragma once
// The batch rules that call exp, log and pow, on every lane of a register,
// built from the library functions' lanes (lanes.hpp). A lane any part of
// which the library functions mark goes whole to the scalar rule. Included
// by the instruction-set files: of the rule headers only constants are used
// here, since an inline function of theirs called from this file would be
// compiled for the instruction set.
#include "discover/op_rules.hpp"
#include "kernels/libm/lanes.hpp"
#include "tension/guards.hpp"

namespace zyl::kernels::libm {

// exp_term takes ln(x) first above its threshold; exp marks every such lane.
static_assert(kOverflowThreshold >= 512.0 && discover::rules::kZylOverflow >= 512.0);

template <class V>
ZYL_LANES LaneResult<V> exp_term_lanes(typename V::D x) {
    return exp_lanes<V>(x);
}

// log_term: ln|y|, the floor logarithm for +-0. `y <= 0` decides the sign
// as the scalar rule does, so a NaN keeps its own. Of the lanes log leaves
// to the scalar function (those not positive normal), the zeros are the
// floor's.
template <class V>
ZYL_LANES LaneResult<V> log_term_lanes(typename V::D y) {
    const auto zero = V::splat(0.0);
    const auto m = V::select(V::le(y, zero), V::neg(y), y);
    const LaneResult<V> r = log_lanes<V>(m);
    const auto floor = V::eq(m, zero);
    return {V::select(floor, V::splat(kFloorLog), r.value), V::but_not(r.scalar, floor)};
}

// pow_abs: |base|^e, and 1 where e = 0 or |base| = 1 (lanes pow marks).
template <class V>
ZYL_LANES LaneResult<V> pow_abs_lanes(typename V::D base, typename V::D e) {
    const auto m = V::abs(base);
    LaneResult<V> r = pow_lanes<V>(m, e);
    if (V::lanes_of(r.scalar) != 0) {
        const auto one = V::either(V::eq(e, V::splat(0.0)), V::eq(m, V::splat(1.0)));
        r = {V::select(one, V::splat(1.0), r.value), V::but_not(r.scalar, one)};
    }
    return r;
}

template <class V>
ZYL_LANES LaneResult<V> tension_lanes(typename V::D x, typename V::D y) {
    const LaneResult<V> e = exp_term_lanes<V>(x), l = log_term_lanes<V>(y);
    return {V::sub(e.value, l.value), V::either(e.scalar, l.scalar)};
}

// The discovery engine's zyl: exp(a) - ln(b), with b <= 0 lifted to
// max(|b|, 1e-300).
template <class V>
ZYL_LANES LaneResult<V> zyl_lanes(typename V::D a, typename V::D b) {
    const auto tiny = V::splat(discover::rules::kTinyMagnitude);
    const auto m = V::abs(b);
    const auto lifted = V::select(V::gt(m, tiny), m, tiny);
    const LaneResult<V> e = exp_lanes<V>(a), l = log_lanes<V>(V::select(V::le(b, V::splat(0.0)), lifted, b));
    return {V::sub(e.value, l.value), V::either(e.scalar, l.scalar)};
}

}  // namespace zyl::kernels::libm
