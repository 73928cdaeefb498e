#pragma once
// The structures a level is made of: the leaves the search starts from, the
// candidates of each complexity (an operation on kept structures of lower
// complexities), and the affine wraps that bring constants inside
// functions.
#include <cstddef>
#include <vector>

#include "search_state.hpp"

namespace zyl::regress::stage {

// The variables, the free constant leaves +1 and -1, and pi.
void seed(State& s);

// The candidates of complexity c, within what is left of the level budget.
std::vector<Move> moves_for(const State& s, std::size_t c);

// Constants wrapped around the best structures two terms simpler: useless
// alone (the outer fit absorbs them) but the way into exp(-c*x), 1/(x + c),
// sqrt(c - x^2). They join the pool as operands only.
void add_wraps(State& s, std::size_t c);

Formula formula_of(const State& s, const Move& m);
// The move as a pool entry of complexity c, with its values (and shadow
// values when it has free constants).
Entry entry_of(const State& s, const Move& m, std::size_t c);

}  // namespace zyl::regress::stage
