#pragma once
// The end of the search: the kept structures and the reach stage's are
// finished (finish.hpp) on every worker, the constant formula joins them,
// and the front is selected (front.hpp).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "front.hpp"
#include "search_state.hpp"

namespace zyl::regress::stage {

// Pool indices of the best `per_complexity` structures of each complexity
// that read a variable, simplest first.
std::vector<std::uint32_t> ids_to_finish(const State& s, std::size_t per_complexity);
std::vector<Formula> structures_to_finish(const State& s, std::size_t per_complexity);

// The weighted mean of y, the simplest formula of all.
std::optional<Scored> constant_candidate(const State& s, Evaluator& ev);

SelectionData selection_data(const State& s, double noise_variance);

// Fills s.outcome; false when stopped.
bool finish_front(State& s);

}  // namespace zyl::regress::stage
