#include "tidy_key.hpp"

#include <algorithm>
#include <bit>

namespace zyl::regress::tidy {
namespace {
constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
}  // namespace

bool operator<(const Key& a, const Key& b) {
    const auto a_end = a.tokens.begin() + a.size;
    const auto b_end = b.tokens.begin() + b.size;
    if (std::lexicographical_compare(a.tokens.begin(), a_end, b.tokens.begin(), b_end)) return true;
    if (std::lexicographical_compare(b.tokens.begin(), b_end, a.tokens.begin(), a_end)) return false;
    return a.hash < b.hash;
}

std::uint64_t ordered(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return (bits & kSignBit) != 0 ? ~bits : bits | kSignBit;
}

std::uint64_t ordered(std::int64_t v) { return static_cast<std::uint64_t>(v) ^ kSignBit; }

std::uint64_t mix(std::uint64_t hash, std::uint64_t v) {
    std::uint64_t z = hash ^ (v + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2));
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

void KeyBuilder::token(std::uint64_t t) {
    hashed(t);
    put(t);
}

void KeyBuilder::hashed(std::uint64_t t) { key_.hash = mix(key_.hash, t); }

void KeyBuilder::child(const Key& c) {
    hashed(c.hash);
    for (std::uint8_t i = 0; i < c.size; ++i) put(c.tokens[i]);
    // What follows a cut-off child would not line up with other keys.
    if (!c.complete) key_.complete = false;
}

void KeyBuilder::put(std::uint64_t t) {
    if (!key_.complete) return;
    if (key_.size == kKeyTokens) {
        key_.complete = false;
        return;
    }
    key_.tokens[key_.size++] = t;
}

}  // namespace zyl::regress::tidy
