#pragma once
// Saturating structures in the form that vanishes with their input. The
// search meets 1/(g + c) and exp(c*g) first, and an outer scale and offset
// make a + b/(g + c) and a + b*exp(c*g) of them, with three constants; the
// laws of saturation (Michaelis-Menten, Langmuir, Monod) and of first-order
// rise to a plateau tie the offset to the scale so that the response is 0
// where g is: a*g/(g + c) and a*(1 - exp(c*g)), one constant fewer. These are
// offered as further candidates, and the selection decides.
#include <optional>

#include "formula.hpp"

namespace zyl::regress {

// g/(g + c), g/(g - c) or g/(c - g) for 1/(g + c), 1/(g - c), 1/(c - g);
// 1 - exp(c*g) for exp(c*g) or exp(g*c); nothing for any other structure.
std::optional<Formula> through_origin(const Formula& structure);

}  // namespace zyl::regress
