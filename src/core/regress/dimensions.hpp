#pragma once
// Physical dimensions of formulas: exponents of the seven SI base units as
// exact fractions (sqrt halves them), propagated over a formula's postfix
// terms. A formula is consistent when the arguments of exp, log, sin and cos
// are dimensionless, the two sides of every sum agree, and the whole has the
// target's dimension.
//
// Constants: a pure number (every exact constant, and by default every
// fitted one) is dimensionless. With dimensional constants allowed, a fitted
// constant may carry a dimension in two places: as the one overall scale of
// the formula (a*g, g/a, with an offset beside it or not), where it takes
// whatever g lacks of the target's dimension; and as a lone constant added to
// something (K + S, the offset b of a*g + b), where it takes its sibling's
// dimension. Anywhere else, such as the rate inside exp(c*x), it stays a
// pure number, so the search keeps its pruning.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "formula.hpp"

namespace zyl::regress {

inline constexpr std::size_t kBaseUnits = 7;

// p/q in lowest terms with q > 0.
struct Ratio {
    std::int64_t p = 0;
    std::int64_t q = 1;
    friend bool operator==(const Ratio&, const Ratio&) = default;
};

struct Dimension {
    std::array<Ratio, kBaseUnits> exponent{};
    bool dimensionless() const;
    friend bool operator==(const Dimension&, const Dimension&) = default;
};

// Exponents a + b, a - b and a * (p/q); nothing when a numerator or
// denominator would leave the range in which they stay exact.
std::optional<Dimension> product(const Dimension& a, const Dimension& b);
std::optional<Dimension> quotient(const Dimension& a, const Dimension& b);
std::optional<Dimension> power(const Dimension& a, Ratio r);

// The dimension of a (sub)formula. `adopting` marks a lone fitted constant
// that, with dimensional constants allowed, takes the dimension of what it
// is added to; its own dimension is then none.
struct Dimensioned {
    Dimension dim;
    bool adopting = false;
};

// The dimension of operation f on operands a (and b for a binary one);
// nothing when the operation is inconsistent.
std::optional<Dimensioned> combine(Fn f, const Dimensioned& a, const Dimensioned* b);

struct DimensionRules {
    std::vector<Dimension> variables;  // one per input column
    Dimension target;
    bool dimensional_constants = false;
};

// A leaf's dimension under the rules.
Dimensioned leaf_dimension(const Term& t, const DimensionRules& rules);

// The dimension of a whole formula built of consistent operations, before
// any overall scale; nothing when some operation is inconsistent.
std::optional<Dimensioned> dimension_of(const Formula& f, const DimensionRules& rules);

// For a result formula: one dimension per constant term, in term order, when
// the formula has the target's dimension under the rules; nothing when it
// does not. A formula that is a lone fitted constant (the mean of y, the
// model of no dependence) always has it.
std::optional<std::vector<Dimension>> constant_dimensions(const Formula& f, const DimensionRules& rules);

}  // namespace zyl::regress
