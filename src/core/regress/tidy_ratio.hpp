#pragma once
// Exact rational arithmetic for the constants of the reading form; every
// operation says when its result leaves 64 bits, and the caller then goes on
// with doubles.
#include <cstdint>
#include <optional>

namespace zyl::regress::tidy {

struct Ratio {
    std::int64_t p = 1;
    std::int64_t q = 1;  // positive, and p/q in lowest terms

    double value() const { return static_cast<double>(p) / static_cast<double>(q); }
    bool is(std::int64_t n) const { return q == 1 && p == n; }
};

// p/q reduced, or nullopt when q is 0 or the reduced form leaves 64 bits.
std::optional<Ratio> ratio(__int128 p, __int128 q);
std::optional<Ratio> product(const Ratio& a, const Ratio& b);
std::optional<Ratio> sum(const Ratio& a, const Ratio& b);
// a**n for an integer |n| <= 64 (nullopt beyond, and for 0**negative).
std::optional<Ratio> power(const Ratio& a, std::int64_t n);
// The exact square root, when p and q are both perfect squares.
std::optional<Ratio> exact_root(const Ratio& a);

}  // namespace zyl::regress::tidy
