#pragma once
// Octonion products in the basis e0 ... e7, e0 being the real unit.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pool/worker_pool.hpp"

namespace zyl {

using Octonion = std::array<double, 8>;

// e_i * e_j = sign * e_index.
struct BasisProduct {
    std::int8_t sign;
    std::uint8_t index;
};

using OctonionTable = std::array<std::array<BasisProduct, 8>, 8>;

// Row i is the left factor e_i, column j the right factor e_j. Built from
// e_i * e_{i+1} = e_{i+3} (indices cyclic in 1 ... 7) and its rotations.
inline constexpr OctonionTable kOctonionTable = {{
    {{{+1, 0}, {+1, 1}, {+1, 2}, {+1, 3}, {+1, 4}, {+1, 5}, {+1, 6}, {+1, 7}}},
    {{{+1, 1}, {-1, 0}, {+1, 4}, {+1, 7}, {-1, 2}, {+1, 6}, {-1, 5}, {-1, 3}}},
    {{{+1, 2}, {-1, 4}, {-1, 0}, {+1, 5}, {+1, 1}, {-1, 3}, {+1, 7}, {-1, 6}}},
    {{{+1, 3}, {-1, 7}, {-1, 5}, {-1, 0}, {+1, 6}, {+1, 2}, {-1, 4}, {+1, 1}}},
    {{{+1, 4}, {+1, 2}, {-1, 1}, {-1, 6}, {-1, 0}, {+1, 7}, {+1, 3}, {-1, 5}}},
    {{{+1, 5}, {-1, 6}, {+1, 3}, {-1, 2}, {-1, 7}, {-1, 0}, {+1, 1}, {+1, 4}}},
    {{{+1, 6}, {+1, 5}, {-1, 7}, {+1, 4}, {-1, 3}, {-1, 1}, {-1, 0}, {+1, 2}}},
    {{{+1, 7}, {+1, 3}, {+1, 6}, {-1, 1}, {+1, 5}, {-1, 4}, {-1, 2}, {-1, 0}}},
}};

// a * b. Terms with an exactly zero factor are never formed, so 0 * inf adds
// nothing; the others reach each component in increasing row order.
Octonion octonion_mul(const Octonion& a, const Octonion& b);

// a * b as octonion_mul gives it, when all 16 coefficients are finite: then
// every term can be formed, zeros included, without a branch per term. A
// zero term adds a signed zero to a sum that starts at +0.0 and so is never
// -0.0, which changes nothing; only an infinite or NaN partner would make a
// skipped term matter. Returns false, leaving c alone, in that case.
bool octonion_mul_finite(const Octonion& a, const Octonion& b, Octonion& c);

// Two products at once, one per lane of each SSE2 register, under the same
// condition: c0 = a0 * b0 and c1 = a1 * b1 when all 32 coefficients are
// finite; false, leaving c0 and c1 alone, otherwise.
bool octonion_mul_finite_pair(const Octonion& a0, const Octonion& b0, const Octonion& a1, const Octonion& b1,
                              Octonion& c0, Octonion& c1);

// out[k] = a[k] * b[k] for k < min(len a, len b), computed on the worker
// pool. Returns the number of products computed, or kCancelled.
std::size_t octonion_mul_batch(std::span<const Octonion> a, std::span<const Octonion> b,
                               std::vector<Octonion>& out, const MapControl& control = {});

}  // namespace zyl
