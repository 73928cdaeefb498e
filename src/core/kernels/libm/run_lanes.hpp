#pragma once
// Runs a lane function over arrays, register by register, and hands the
// lanes it marks to the scalar function. The last, partial register is
// filled with an ordinary input so that padding never reaches the scalar
// function.
#include <cstddef>

#include "kernels/libm/isa_kernels.hpp"
#include "kernels/libm/rule_lanes.hpp"

namespace zyl::kernels::libm {

template <class V>
using UnaryLanes = LaneResult<V> (*)(typename V::D);
template <class V>
using BinaryLanes = LaneResult<V> (*)(typename V::D, typename V::D);

// Stores a result whose marked lanes are recomputed by the scalar function
// from the inputs (passed in registers, since out may be an input). Rare,
// so kept out of the loops.
template <class V>
[[gnu::noinline]] void store_with_scalar(double* out, typename V::D x, const LaneResult<V>& r, UnaryScalar scalar) {
    alignas(64) double xs[V::kLanes], ys[V::kLanes];
    V::store(xs, x);
    V::store(ys, r.value);
    for (unsigned marked = V::lanes_of(r.scalar); marked != 0; marked &= marked - 1) {
        const int j = __builtin_ctz(marked);
        ys[j] = scalar(xs[j]);
    }
    V::store(out, V::load(ys));
}

template <class V>
[[gnu::noinline]] void store_with_scalar(double* out, typename V::D a, typename V::D b, const LaneResult<V>& r,
                                         BinaryScalar scalar) {
    alignas(64) double as[V::kLanes], bs[V::kLanes], ys[V::kLanes];
    V::store(as, a);
    V::store(bs, b);
    V::store(ys, r.value);
    for (unsigned marked = V::lanes_of(r.scalar); marked != 0; marked &= marked - 1) {
        const int j = __builtin_ctz(marked);
        ys[j] = scalar(as[j], bs[j]);
    }
    V::store(out, V::load(ys));
}

template <class V, UnaryLanes<V> F>
ZYL_LANES void one_register(const double* in, double* out, UnaryScalar scalar) {
    const auto x = V::load(in);
    const LaneResult<V> r = F(x);
    if (V::lanes_of(r.scalar) == 0) return V::store(out, r.value);
    store_with_scalar<V>(out, x, r, scalar);
}

template <class V, BinaryLanes<V> F>
ZYL_LANES void one_register(const double* a, const double* b, double* out, BinaryScalar scalar) {
    const auto x = V::load(a), y = V::load(b);
    const LaneResult<V> r = F(x, y);
    if (V::lanes_of(r.scalar) == 0) return V::store(out, r.value);
    store_with_scalar<V>(out, x, y, r, scalar);
}

// 2.0 takes the ordinary path of every lane function.
inline constexpr double kPadding = 2.0;

template <class V, UnaryLanes<V> F>
void run_unary(const double* in, double* out, std::size_t n, UnaryScalar scalar) {
    constexpr std::size_t w = V::kLanes;
    std::size_t i = 0;
    for (; i + w <= n; i += w) one_register<V, F>(in + i, out + i, scalar);
    if (i == n) return;
    alignas(64) double buffer[w];
    for (std::size_t j = 0; j < w; ++j) buffer[j] = i + j < n ? in[i + j] : kPadding;
    one_register<V, F>(buffer, buffer, scalar);
    for (std::size_t j = 0; i + j < n; ++j) out[i + j] = buffer[j];
}

template <class V, BinaryLanes<V> F>
void run_binary(const double* a, const double* b, double* out, std::size_t n, BinaryScalar scalar) {
    constexpr std::size_t w = V::kLanes;
    std::size_t i = 0;
    for (; i + w <= n; i += w) one_register<V, F>(a + i, b + i, out + i, scalar);
    if (i == n) return;
    alignas(64) double as[w], bs[w];
    for (std::size_t j = 0; j < w; ++j) {
        as[j] = i + j < n ? a[i + j] : kPadding;
        bs[j] = i + j < n ? b[i + j] : kPadding;
    }
    one_register<V, F>(as, bs, as, scalar);
    for (std::size_t j = 0; i + j < n; ++j) out[i + j] = as[j];
}

// The kernels of one instruction set V, in the order of Unary and Binary.
template <class V>
constexpr IsaKernels isa_kernels(const char* isa) {
    return {isa,
            {&run_unary<V, &exp_lanes<V>>, &run_unary<V, &log_lanes<V>>, &run_unary<V, &exp_term_lanes<V>>,
             &run_unary<V, &log_term_lanes<V>>},
            {&run_binary<V, &pow_lanes<V>>, &run_binary<V, &pow_abs_lanes<V>>, &run_binary<V, &tension_lanes<V>>,
             &run_binary<V, &zyl_lanes<V>>}};
}

}  // namespace zyl::kernels::libm
