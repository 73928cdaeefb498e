#pragma once
// Simple exact numbers near a fitted constant: p/q * basis with small p and
// q, listed simplest first, so that the first one the data accepts is the
// form a person would write.
#include <vector>

#include "formula.hpp"

namespace zyl::regress {

inline constexpr int kMaxDenominator = 12;
inline constexpr int kMaxNumerator = 120;

// Every p/q * basis (lowest terms, p != 0) within `window` * |v| of v,
// simplest first: by |p| + q plus a small charge for a basis other than 1,
// then by basis, then by q.
std::vector<Exact> exact_forms_near(double v, double window);

}  // namespace zyl::regress
