#pragma once
// SplitMix64 (Steele, Lea and Flood, 2014): a step of the golden-ratio
// sequence and a finaliser whose every output bit depends on every input
// bit. Seeds the probe points of the formula search and mixes the duplicate
// keys of the estimator's search.
#include <cstdint>

namespace zyl::discover {

inline std::uint64_t splitmix64(std::uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace zyl::discover
