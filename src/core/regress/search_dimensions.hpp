#pragma once
// Units in the search. With the dimensions of the columns and of y given,
// only consistent operations are built, which is what makes a search with
// units cheaper, and only structures that can be finished in y's dimension
// are finished. Without them every test passes.
#include <optional>

#include "dimensions.hpp"
#include "search_state.hpp"

namespace zyl::regress::stage {

// A leaf's dimension; none without units.
Dimensioned leaf_dim(const State& s, const Term& t);

// The dimension of the move's result; nothing when it is inconsistent.
std::optional<Dimensioned> move_dimension(const State& s, const Move& m);

bool consistent(const State& s, const Move& m);

// Whether an entry can be finished as a*g + b in y's dimension: by itself,
// or through a scale that may carry a dimension.
bool finishable(const State& s, const Entry& e);

}  // namespace zyl::regress::stage
