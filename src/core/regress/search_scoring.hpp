#pragma once
// Scoring the candidates of a level from their operands' values, and
// walking them in rank order past duplicates of what the pool already
// holds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "search_state.hpp"

namespace zyl::regress::stage {

enum class Verdict : std::uint8_t { Failed, Scored, Redundant };

struct Slot {
    double error = kInf;
    double residual = 1.0;
    std::uint32_t target = 0;  // the residual target it explains best
    Verdict verdict = Verdict::Failed;
};

// Duplicate keys of the moves of one level, computed when first asked.
using MoveKeys = std::unordered_map<std::uint32_t, std::uint64_t>;

enum class Scoring : std::uint8_t { Done, OutOfTime, Stopped };
// Scores every move in parallel blocks. Out of time, the moves not reached
// are left failed and s.budget_spent is set.
Scoring score_moves(State& s, const std::vector<Move>& moves, std::vector<Slot>& slots);

// Records the key of move i from its fitted values: fitted twins (c*x and
// -c*x, or one structure reached from two starts) share their values to the
// digits the fit settles, and so their key.
void fitted_key(State& s, std::uint32_t i, std::span<const double> values, MoveKeys& keys);

inline double by_error(const Slot& slot) { return slot.error; }
inline double by_residual(const Slot& slot) { return slot.residual; }
using Rank = double (*)(const Slot&);

// Takes up to `count` of `ids` in rank order (then by index) whose key is
// neither in `taken` nor taken before in this walk; keys are recorded in
// `keys` (shared by the walks of one level).
std::vector<std::uint32_t> walk(State& s, const std::vector<Slot>& slots, const std::vector<std::uint32_t>& ids,
                                Rank rank, std::size_t count, const std::vector<Move>& moves, MoveKeys& keys,
                                const std::unordered_set<std::uint64_t>& taken);

}  // namespace zyl::regress::stage
