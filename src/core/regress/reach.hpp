#pragma once
// The stage after the level search that reaches the forms a chain of single
// nodes reaches late or never:
//   - constants inside functions, f(c1*g + c2) and g^c over the variables,
//     their products and ratios and the simplest blocks, fitted by
//     Levenberg-Marquardt from several starts (inner_forms.hpp);
//   - products of a fitted inner form with a block (an amplitude times a
//     wave), and a variable times a saturation, x*(exp(c*g) - 1), fitted
//     as one inner form;
//   - weighted sums a*g1 + b*g2 (+ c*g3) + d of the blocks found, the inner
//     forms, the products and products of powers of the variables, the
//     weights solved by linear least squares, so that a sum of separately
//     weighted terms is one step; and sums that explain 1/y, written
//     1/(g1 + b*g2 + c), for rational responses;
//   - ratios of short sums, (a0 + a1*g1 + a2*g2) / (1 + b1*h1 + b2*h2), over
//     the simplest terms, the blocks and the monomials (rational_forms.hpp).
// Its results are structures with free constants at fitted values, written
// with ordinary terms (g1 + c*g2, ...), which the search finishes like any
// other (finish.hpp). It reads every row it is given: on many rows, the
// search gives it the sample it ranks on.
#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "formula.hpp"
#include "pool/worker_pool.hpp"
#include "scaling.hpp"

namespace zyl::regress {

struct Block {
    Formula formula;
    std::span<const double> values;  // on every sample, valid during the call
};

struct ReachSettings {
    Weights weights;
    bool use_trig = true;
    // Free constants a structure may carry (its finished form adds two).
    std::size_t max_constants = 6;
    // Evaluations the stage may spend, about: the inner forms fitted are
    // cut to it.
    std::size_t allowance = std::size_t{1} << 20;
    // A weighted sse at or below which a form explains the data to rounding.
    double floor_sse = 0.0;
    // Asked between phases; true stops the stage.
    std::function<bool()> stop;
    MapControl control;
};

struct ReachResult {
    std::vector<Formula> structures;
    std::size_t evaluations = 0;
    bool stopped = false;
};

// `blocks` best first; those of at most three terms without free constants
// are the bases of the inner forms.
ReachResult reach(const Columns& data, std::span<const double> y, const std::vector<Block>& blocks,
                  const ReachSettings& settings);

}  // namespace zyl::regress
