#pragma once
// What the stages of the search share: the data, the pool of kept
// structures, and the clock, budget and stop requests every stage answers
// to. Each stage has a file of its own (search_generation, search_scoring,
// search_fitting, search_level, search_reach, search_front,
// search_stopped); search.cpp runs them in order.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <unordered_set>
#include <vector>

#include "formula.hpp"
#include "scoring.hpp"
#include "search.hpp"

namespace zyl::regress::stage {

inline constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
inline constexpr double kInf = std::numeric_limits<double>::infinity();
// Parallel phases are cut into blocks of about this many sample operations,
// and the stop hook is asked between blocks, so that a stop request is seen
// within a few milliseconds whatever the sample count.
inline constexpr std::size_t kBlockWork = std::size_t{1} << 22;
// Structures of each complexity finished into front candidates.
inline constexpr std::size_t kFinishedPerComplexity = 4;
// One part in this many of the evaluation budget is kept for the reach
// stage.
inline constexpr std::size_t kReachShare = 8;

// Free constants are moved to this second point to tell a constant that
// shapes the formula from one an outer scale or offset would absorb.
inline double shadow_of(double c) { return c * 1.37 + 0.29; }
inline Formula shadowed(Formula f) {
    for (Term& t : f)
        if (t.free()) t.value = shadow_of(t.value);
    return f;
}

// Weights scaled to mean 1, so that a noise level is in units of y at an
// average sample; empty stays empty.
std::vector<double> unit_mean(std::span<const double> w);

struct Entry {
    Formula formula;
    std::vector<double> values;  // at the constants the formula holds
    std::vector<double> shadow;  // with every free constant moved; empty when it has none
    double error = kInf;         // scaled rmse; +inf for leaves without variables and for blocks
    std::uint32_t complexity = 1;
    std::uint32_t free = 0;
    bool has_var = false;
    bool block = false;       // an affine wrap kept only as an operand
    bool helper = false;      // kept for what it explains of a residual target
    bool unary_only = false;  // a wrap offered to the unary operations alone
    double residual = 1.0;    // least unexplained share of a residual target
    Dimensioned dim;          // with units only

    std::span<const double> shadow_values() const { return free > 0 ? shadow : values; }
};

// A candidate: an operation on one or two kept structures.
struct Move {
    Fn fn;
    std::uint32_t a;
    std::uint32_t b;  // kNone for a unary operation
};

// Moves a worker scores at once (see Targets::score_each).
inline constexpr std::size_t kScoredTogether = 8;

// Per-worker buffers.
struct Scratch {
    // Values and shadow values of kScoredTogether moves, one after another.
    std::vector<double> values, shadow;
    Evaluator evaluator;
};

struct State {
    State(const Columns& data, std::span<const double> y, std::span<const double> weights, const Options& options,
          const Hooks& hooks);

    const Columns& data;
    const std::span<const double> y;
    const std::size_t n;
    const std::vector<double> unit_weights;  // scaled to mean 1; empty when all alike
    const Weights w;                         // views unit_weights
    const Options& options;
    const Hooks& hooks;
    const double floor_sse;    // rounding floor of the weighted sse
    const double exact_error;  // the rmse of that floor
    const std::chrono::steady_clock::time_point start;
    const Targets targets;
    std::vector<Scratch> scratch;  // one per worker slot
    std::vector<Fn> unary, binary;

    std::vector<Entry> pool;
    std::vector<std::vector<std::uint32_t>> by_complexity;  // pool indices
    std::unordered_set<std::uint64_t> seen;                 // duplicate keys of what the pool holds
    std::uint32_t constant_leaf = kNone;                    // starts at +1
    std::uint32_t negative_leaf = kNone;                    // starts at -1
    std::vector<double> normal;                             // buffer for normalised values
    double best_error = kInf;
    std::size_t evaluations = 0;
    std::size_t last_candidates = 0;
    bool budget_spent = false;
    bool ended_early = false;  // by the level hook
    Outcome outcome;

    void add_entry(Entry e);
    std::uint32_t free_of(const Move& m) const { return pool[m.a].free + (m.b == kNone ? 0 : pool[m.b].free); }

    double elapsed() const;
    // The levels leave a share of the budget to the reach stage.
    std::size_t level_budget() const { return options.max_evaluations - options.max_evaluations / kReachShare; }
    bool over_time() const;
    // No structure is begun past the limit, so finishing runs past it by at
    // most the structures under way; those not begun are left out.
    bool finishing_over_time() const;
    // After a scoring phase: the time finishing `structures` is expected to
    // take, from what one of `candidates` cost to score.
    void reserve_finishing(double scoring_seconds, std::size_t candidates, std::size_t structures);
    // Once the hook has asked to stop, the answer stays: the request it
    // reported (a raised exception) is not repeated.
    bool should_stop();
    // For the sequential stretches of a level, whose length grows with the
    // sample count: asks the hook at most every few milliseconds and keeps
    // the answer.
    bool poll_stop();
    bool stop_seen() const { return stop_seen_; }

private:
    std::chrono::steady_clock::time_point last_poll_{};
    double finishing_reserve_ = 0.0;  // seconds; see reserve_finishing
    bool stop_seen_ = false;
};

}  // namespace zyl::regress::stage
