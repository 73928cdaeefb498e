#pragma once
// A structure whose free constants all scale together, f(l*c) = a*f(c) + b
// (m*(c1*v^2 + c2*h) from two fitted parts), carries one constant too many:
// the outer scale absorbs their common size, and the redundant direction
// leaves its constants without uncertainties, so that the structure could
// never be selected.
#include "formula.hpp"

namespace zyl::regress {

// Fixes the largest free constant of such a structure at 1 and divides the
// others by it; a product with that 1 (or a quotient by it) is dropped,
// 1*x being x. Any other structure, or one that cannot be evaluated, is
// left as it is.
void drop_common_scale(Formula& f, const Columns& data, Evaluator& ev);

}  // namespace zyl::regress
