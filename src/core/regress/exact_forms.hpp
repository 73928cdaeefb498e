#pragma once
// Simple exact numbers near a fitted constant: p/q * basis with small p and
// q, and what writing one costs. The cost is a code length in nats under a
// prior a person would agree with: an integer m >= 1 has probability
// 1 / (m (m + 1)), so 1 and 2 are cheap and 88 is not; the basis is 1 half
// the time, pi a quarter, each of the other five (pi**2, e, sqrt(2*pi),
// sqrt(2), sqrt(pi)) one time in a hundred; the sign is one bit. So 1/2
// costs 3.9 nats, 3/2 5.6, 4*pi 5.8, sqrt(2*pi) 6.7 and 4*sqrt(2*pi)/5 11.7,
// against ln(|c| / precision) + ln 2 for writing the fitted value c to the
// precision the data give it.
#include <vector>

#include "formula.hpp"

namespace zyl::regress {

inline constexpr int kMaxDenominator = 12;
inline constexpr int kMaxNumerator = 120;

// Code length of p/q * basis in nats.
double exact_description(const Exact& x);

// Every p/q * basis (lowest terms, p != 0) within `window` * |v| of v,
// cheapest first (then by basis, then by q).
std::vector<Exact> exact_forms_near(double v, double window);

}  // namespace zyl::regress
