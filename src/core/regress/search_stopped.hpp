#pragma once
// The front of a stopped search, made quickly of what was found: the best
// structure of each complexity with its scale and offset fitted, no exact
// constants and no uncertainties, selected by BIC.
#include "search_state.hpp"

namespace zyl::regress::stage {

Outcome stopped_outcome(State& s);

}  // namespace zyl::regress::stage
