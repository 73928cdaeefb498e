#pragma once
// Plain infix text of a formula, with the caller's variable names, constants
// in their exact form ("3/5", "4*pi") or in the shortest digits that read
// back as the same double, and only the parentheses the reading needs.
#include <span>
#include <string>
#include <string_view>

#include "formula.hpp"

namespace zyl::regress {

// names[j] names variable j; a variable without a name is written "x<j>".
// Ill-formed lists render as "?".
std::string to_text(const Formula& f, std::span<const std::string> names);

}  // namespace zyl::regress
