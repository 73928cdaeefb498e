#pragma once
// Text forms of a formula: the plain form is rendered from the expression;
// the LaTeX and Python forms are rewrites of the plain text alone.
#include <string>
#include <string_view>

#include "expr.hpp"

namespace zyl::discover {

// Mirrors the postfix structure without simplification. Ill-formed lists still
// render: missing operands are empty, entries below the top are dropped, and
// an empty list is "?".
std::string to_string(const Expr& expr);

std::string to_latex(std::string_view formula);
std::string to_python(std::string_view formula);

}  // namespace zyl::discover
