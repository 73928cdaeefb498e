#pragma once
// Text forms of doubles shared by every repr and by the formula renderer.
// All of them write NaN as "NaN" and the infinities as "inf" / "-inf".
#include <string>

namespace zyl {

// Fixed notation with exactly `decimals` digits after the point, correctly
// rounded from the exact binary value (ties to even); negative zero keeps its
// sign. decimals = 6 for the class reprs, 4 for formula constants.
std::string format_fixed(double v, int decimals);
void append_fixed(std::string& out, double v, int decimals);

// One digit, the point, two digits, "e" and the exponent without plus sign or
// leading zeros: 1234.5 -> "1.23e3", 0.0 -> "0.00e0".
std::string format_exp2(double v);

// Shortest digits that read back as the same double; plain decimal with at
// least one fractional digit for 0 and 1e-4 <= |v| < 1e16, otherwise the
// exponent form "1.5e-10".
std::string format_shortest(double v);

}  // namespace zyl
