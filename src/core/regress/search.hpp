#pragma once
// Level-by-level search over formula structures. Every candidate is ranked
// by its error after the closed-form fit of an outer scale and offset; the
// most promising ones with constant leaves get those constants fitted; the
// best few of every complexity are kept as building blocks, so cheap blocks
// always take part. At the end the kept structures are finished (exact
// constants, explicit scale and offset) into a Pareto front.
#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "formula.hpp"
#include "front.hpp"
#include "pool/worker_pool.hpp"

namespace zyl::regress {

struct Options {
    std::size_t max_complexity = 10;         // terms of a searched structure (before scale and offset)
    std::size_t max_evaluations = 4000000;   // candidate and constant-fitting evaluations, at most
    double time_limit = 0.0;                 // seconds of wall-clock time; 0 for none
    bool use_trig = true;
    bool use_zyl = false;
    std::size_t max_constants = 2;           // fitted constant leaves per structure
    std::size_t beam_width = 80;             // structures kept per complexity
};

struct LevelReport {
    std::size_t level;
    std::size_t candidates;
    double best_rmse;
    double elapsed;
};

struct Hooks {
    // Asked between phases; true stops the search at once (the result is then
    // reported as stopped).
    std::function<bool()> stop;
    // Called after each level; false stops the search the same way.
    std::function<bool(const LevelReport&)> level_done;
    // Passed to every parallel map (Ctrl-C polls while the pool works).
    MapControl control;
};

struct Outcome {
    std::vector<Scored> front;
    std::size_t best = 0;
    bool stopped = false;
    std::size_t evaluations = 0;
};

// data must hold y.size() samples per column. Never raises on any data: non-
// finite values only make candidates fail.
Outcome search(const Columns& data, std::span<const double> y, const Options& options, const Hooks& hooks);

}  // namespace zyl::regress
