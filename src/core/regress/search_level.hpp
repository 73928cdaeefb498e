#pragma once
// One level of the search: every candidate of a complexity scored, the
// most promising with constants fitted, and the best kept in the pool (by
// their error, and as helpers for what they explain of a residual target).
#include <cstddef>

#include "search_state.hpp"

namespace zyl::regress::stage {

// False when stopped.
bool level(State& s, std::size_t c);

}  // namespace zyl::regress::stage
