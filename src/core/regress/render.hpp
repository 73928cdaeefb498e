#pragma once
// Plain infix text of a formula for reading, in its tidy form (tidy_form.hpp):
// the same text for every assembly order of one formula, with the caller's
// variable names, constants in their exact form ("3/5", "4*pi") or in the
// shortest digits that read back as the same double, and only the
// parentheses the reading needs. The text reads as Python and as sympy input
// (with pi, E, sqrt, exp, log, sin, cos and abs).
#include <span>
#include <string>
#include <string_view>

#include "formula.hpp"

namespace zyl::regress {

// names[j] names variable j; a variable without a name is written "x<j>".
// Ill-formed lists render as "?".
std::string to_text(const Formula& f, std::span<const std::string> names);

}  // namespace zyl::regress
