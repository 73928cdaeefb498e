#pragma once
// Duplicate keys of candidate values: two candidates with the same key are
// one structure reached twice, and only the first is kept.
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>

#include "discover/splitmix.hpp"

namespace zyl::regress::stage {

// Normalised values are compared to this resolution when deduplicating;
// fitted values to the digits a constant fit settles.
inline constexpr double kKeyResolution = 1e8;
inline constexpr double kFittedKeyResolution = 1e5;

inline std::uint64_t normalised_key(std::span<const double> nv, std::uint64_t seed,
                                    double resolution = kKeyResolution) {
    std::uint64_t h = seed;
    for (double v : nv) h = discover::splitmix64(h + static_cast<std::uint64_t>(std::llround(v * resolution)));
    return h;
}

// Raw values to about ten significant digits: the low mantissa bits go.
inline std::uint64_t raw_key(std::span<const double> v, std::uint64_t seed) {
    std::uint64_t h = seed;
    for (double x : v) h = discover::splitmix64(h + (std::bit_cast<std::uint64_t>(x) >> 20));
    return h;
}

}  // namespace zyl::regress::stage
