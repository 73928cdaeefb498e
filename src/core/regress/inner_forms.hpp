#pragma once
// Constants inside functions: starting points for f(c1*g + c2) and g^c over
// a building block g, from which Levenberg-Marquardt (constant_fit.hpp)
// finds rates, frequencies, phases, midpoints, centres and widths. A
// nonlinear fit only finds such constants from a start near them, so every
// form gets several deterministic starts spread over the scales the block's
// values allow; periodic forms start at the frequencies the data show.
#include <cstddef>
#include <span>
#include <vector>

#include "formula.hpp"
#include "scaling.hpp"

namespace zyl::regress {

// The angular frequencies at which y, fitted as a*sin(w*g) + b*cos(w*g) + c,
// leaves the least error: local best points of a scan from a fraction of a
// cycle to many cycles over the range of g, best first, at most `count`.
// Each comes with the phase p that writes the fitted wave as sin(w*g + p).
struct Frequency {
    double omega;
    double phase;
};
std::vector<Frequency> dominant_frequencies(std::span<const double> g, std::span<const double> y, Weights w,
                                            std::size_t count);

// Formulas with free constants at their starting values, each built on the
// block `g` (a formula reading a variable, with values `values`):
//   sin(c1*g + c2), cos(c1*g + c2), sin(c1*g), cos(c1*g)   at the data's frequencies
//   exp(c3*g) * sin(c1*g + c2)                              a damped wave
//   1 / (1 + exp(c1*g + c2))                                a step (logistic)
//   exp(c1 * (g + c2)^2)                                    a peak
//   exp(c1 * g)                                             growth or decay
//   exp(c1 * log(g))                                        g^c1, for positive g
// Nothing for a block whose values are constant or not finite.
std::vector<Formula> inner_form_starts(const Formula& g, std::span<const double> values, std::span<const double> y,
                                       Weights w, bool use_trig);

// Starting points for an amplitude of its own times a saturation,
// amplitude * (exp(c1*g) - 1), at decay rates spread over the range of g:
// a charge, an uptake or a current that rises towards a level another
// variable sets. Nothing for a block whose values are constant or not
// finite.
std::vector<Formula> saturation_starts(const Formula& g, std::span<const double> values, const Formula& amplitude);

}  // namespace zyl::regress
