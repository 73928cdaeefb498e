#pragma once
// Weighted sums of building blocks: which two or three blocks, each with a
// weight of its own, explain the target best, y ~ b0 + b1*g1 + b2*g2 (+ b3*g3),
// the weights solved in closed form (linear_fit.hpp).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "formula.hpp"
#include "pool/worker_pool.hpp"
#include "scaling.hpp"

namespace zyl::regress {

struct Combination {
    std::vector<std::uint32_t> parts;  // column indices, increasing
    std::vector<double> weights;       // one per part
    double intercept = 0.0;
    double sse = 0.0;
};

struct SumsFound {
    std::vector<Combination> sums;  // best first: pairs, then triples
    std::size_t fits = 0;           // linear fits solved
    bool stopped = false;
};

// The best `pairs` sums of two columns, then the best `triples` sums of
// three that extend one of the best pairs; ties go to the lower indices.
SumsFound best_sums(std::span<const std::span<const double>> columns, std::span<const double> y, Weights w,
                    std::size_t pairs, std::size_t triples, const MapControl& control);

// max - min of the values: the size of a part's contribution per unit weight.
double spread(std::span<const double> values);

// True when some part's share of a sum, |weight * spread|, is below 1e-9 of
// the largest one (or of |other|, a further term such as a leading 1):
// rounding, not a term.
bool has_negligible_part(const std::vector<double>& weights, const std::vector<double>& spreads,
                         double other = 0.0);

// parts[0] + (w1/w0)*parts[1] + ..., the part with the largest share of the
// sum first, so that the outer scale of the finished formula carries its
// weight; the ratios are free constants. With `with_intercept` the
// intercept follows, divided by w0 as well (for a sum inside a function).
Formula sum_formula(const std::vector<const Formula*>& parts, const Combination& c,
                    const std::vector<double>& spreads, bool with_intercept = false);

// Products of powers of the variables, x^p and x^p * z^q for small integer
// and half-integer p, q: the terms sums of the sciences are made of, as
// parts of sums next to the blocks the search keeps (a term that is a small
// share of the target ranks too low there). At most `limit`, simplest first.
std::vector<Formula> monomials(std::size_t variables, std::size_t limit);

// Products of three different variables, x*z*u, x*z/u, x*z/u^2 and
// x/(z*u): the combined quantities (u*v/c^2, n*T/V) the terms of ratios
// read. For at most `max_variables` variables; none beyond.
std::vector<Formula> triple_monomials(std::size_t variables, std::size_t max_variables);

}  // namespace zyl::regress
