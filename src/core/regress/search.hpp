#pragma once
// Level-by-level search over formula structures. Every candidate is ranked
// by its error after the closed-form fit of an outer scale and offset; the
// most promising ones with constant leaves get those constants fitted; the
// best few of every complexity are kept as building blocks, so cheap blocks
// always take part. At the end the kept structures are finished (explicit
// scale and offset, exact constants the data allow, uncertainties) into a
// Pareto front, and one of it is selected (front.hpp).
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "dimensions.hpp"
#include "formula.hpp"
#include "front.hpp"
#include "pool/worker_pool.hpp"

namespace zyl::regress {

struct Options {
    // Terms of a searched structure (before scale and offset). Levels past
    // 10 are searched only while they still make the best error fall.
    std::size_t max_complexity = 12;
    std::size_t max_evaluations = 4000000;   // candidate and constant-fitting evaluations, at most
    double time_limit = 0.0;                 // seconds of wall-clock time; 0 for none
    bool use_trig = true;
    bool use_zyl = false;
    std::size_t max_constants = 2;           // fitted constant leaves per structure
    std::size_t beam_width = 80;             // structures kept per complexity
    Selection selection = Selection::DescriptionLength;
    bool exact_constants = true;             // write constants the data allow as exact numbers
    // Dimensions of the columns and of y: when set, only formulas consistent
    // with them are built and kept (dimensions.hpp).
    std::optional<DimensionRules> dimensions;
};

struct LevelReport {
    std::size_t level;
    std::size_t candidates;
    double best_rmse;
    double elapsed;
};

struct Hooks {
    // Asked between phases; true stops the search at once. The result is
    // then reported as stopped, with a front made quickly of what was found:
    // the best structure of each complexity with its scale and offset fitted,
    // no exact constants and no uncertainties, selected by BIC.
    std::function<bool()> stop;
    // Called after each level; false ends the search early, with a front
    // finished as usual from what was found.
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

// data must hold y.size() samples per column; weights are empty (every
// sample alike) or one positive finite number per sample, and only their
// ratios matter. Never raises on any data: non-finite values only make
// candidates fail.
Outcome search(const Columns& data, std::span<const double> y, std::span<const double> weights,
               const Options& options, const Hooks& hooks);

}  // namespace zyl::regress
