#pragma once
// The hand-off to the reach stage (reach.hpp): the pool's best blocks in,
// structures to finish out.
#include <vector>

#include "search_state.hpp"

namespace zyl::regress::stage {

// Adds the reach stage's structures, unless the search already explains the
// data to rounding, its time is up or the caller ended it early; false when
// stopped.
bool add_reach(State& s, std::vector<Formula>& structures);

}  // namespace zyl::regress::stage
