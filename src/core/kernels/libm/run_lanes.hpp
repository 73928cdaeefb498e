#pragma once
// Runs a lane function over arrays, register by register, and hands the
// lanes it marks to the scalar function. The last, partial register is
// filled with an ordinary input so that padding never reaches the scalar
// function.
#include <algorithm>
#include <cstddef>

#include "kernels/libm/isa_kernels.hpp"
#include "kernels/libm/rule_lanes.hpp"
#include "kernels/libm/trig_lanes.hpp"

namespace zyl::kernels::libm {

template <class V>
using UnaryLanes = LaneResult<V> (*)(typename V::D);
template <class V>
using BinaryLanes = LaneResult<V> (*)(typename V::D, typename V::D);

// Elements per chunk. The kernel runs over a whole chunk before the scalar
// function finishes the lanes it marked, from a copy of the chunk's inputs
// (out may be an input): the vector loop never branches on the marks, which
// for log come in a third of the registers at random.
inline constexpr std::size_t kChunk = 256;

// Finishes the marked lanes of a chunk: marks[k] holds those of register k.
template <std::size_t W>
void finish_marked(const unsigned char* marks, std::size_t registers, double* out, auto scalar_at) {
    for (std::size_t k = 0; k < registers; ++k)
        for (unsigned m = marks[k]; m != 0; m &= m - 1) {
            const std::size_t j = k * W + static_cast<std::size_t>(__builtin_ctz(m));
            out[j] = scalar_at(j);
        }
}

// n a multiple of the register width, at most kChunk.
template <class V, UnaryLanes<V> F>
void unary_chunk(const double* in, double* out, std::size_t n, UnaryScalar scalar) {
    constexpr std::size_t w = V::kLanes;
    alignas(64) double xs[kChunk];
    unsigned char marks[kChunk / w];
    unsigned any = 0;
    for (std::size_t j = 0; j < n; j += w) {
        const auto x = V::load(in + j);
        V::store(xs + j, x);
        const LaneResult<V> r = F(x);
        V::store(out + j, r.value);
        any |= marks[j / w] = static_cast<unsigned char>(V::lanes_of(r.scalar));
    }
    if (any != 0) finish_marked<w>(marks, n / w, out, [&](std::size_t j) { return scalar(xs[j]); });
}

template <class V, BinaryLanes<V> F>
void binary_chunk(const double* a, const double* b, double* out, std::size_t n, BinaryScalar scalar) {
    constexpr std::size_t w = V::kLanes;
    alignas(64) double as[kChunk], bs[kChunk];
    unsigned char marks[kChunk / w];
    unsigned any = 0;
    for (std::size_t j = 0; j < n; j += w) {
        const auto x = V::load(a + j), y = V::load(b + j);
        V::store(as + j, x);
        V::store(bs + j, y);
        const LaneResult<V> r = F(x, y);
        V::store(out + j, r.value);
        any |= marks[j / w] = static_cast<unsigned char>(V::lanes_of(r.scalar));
    }
    if (any != 0) finish_marked<w>(marks, n / w, out, [&](std::size_t j) { return scalar(as[j], bs[j]); });
}

// Whole registers of [0, n) in chunks; returns where they end.
std::size_t whole_registers(std::size_t n, std::size_t w, auto chunk) {
    const std::size_t whole = n - n % w;
    for (std::size_t i = 0; i < whole; i += kChunk) chunk(i, std::min(kChunk, whole - i));
    return whole;
}

// 2.0 takes the ordinary path of every lane function.
inline constexpr double kPadding = 2.0;

template <class V, UnaryLanes<V> F>
void run_unary(const double* in, double* out, std::size_t n, UnaryScalar scalar) {
    constexpr std::size_t w = V::kLanes;
    const std::size_t i = whole_registers(n, w, [&](std::size_t begin, std::size_t len) {
        unary_chunk<V, F>(in + begin, out + begin, len, scalar);
    });
    if (i == n) return;
    alignas(64) double buffer[w];
    for (std::size_t j = 0; j < w; ++j) buffer[j] = i + j < n ? in[i + j] : kPadding;
    unary_chunk<V, F>(buffer, buffer, w, scalar);
    for (std::size_t j = 0; i + j < n; ++j) out[i + j] = buffer[j];
}

template <class V, BinaryLanes<V> F>
void run_binary(const double* a, const double* b, double* out, std::size_t n, BinaryScalar scalar) {
    constexpr std::size_t w = V::kLanes;
    const std::size_t i = whole_registers(n, w, [&](std::size_t begin, std::size_t len) {
        binary_chunk<V, F>(a + begin, b + begin, out + begin, len, scalar);
    });
    if (i == n) return;
    alignas(64) double as[w], bs[w];
    for (std::size_t j = 0; j < w; ++j) {
        as[j] = i + j < n ? a[i + j] : kPadding;
        bs[j] = i + j < n ? b[i + j] : kPadding;
    }
    binary_chunk<V, F>(as, bs, as, w, scalar);
    for (std::size_t j = 0; i + j < n; ++j) out[i + j] = as[j];
}

// The kernels of one instruction set V, in the order of Unary and Binary.
template <class V>
constexpr IsaKernels isa_kernels(const char* isa) {
    return {isa,
            {&run_unary<V, &exp_lanes<V>>, &run_unary<V, &log_lanes<V>>, &run_unary<V, &exp_term_lanes<V>>,
             &run_unary<V, &log_term_lanes<V>>, &run_unary<V, &sin_lanes<V>>, &run_unary<V, &cos_lanes<V>>},
            {&run_binary<V, &pow_lanes<V>>, &run_binary<V, &pow_abs_lanes<V>>, &run_binary<V, &tension_lanes<V>>,
             &run_binary<V, &zyl_lanes<V>>}};
}

}  // namespace zyl::kernels::libm
