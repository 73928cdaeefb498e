#pragma once
// Level-by-level beam search over postfix expressions.
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "expr.hpp"

namespace zyl::discover {

struct SearchParams {
    std::size_t max_complexity = 8;
    std::size_t beam_width = 2000;
    double precision_goal = 1e-10;
    double complexity_penalty = 0.001;
    bool use_trig = true;
    bool use_zyl = true;
};

struct SearchResult {
    std::string formula;
    std::vector<double> params;
    Expr expr;
    double error;  // rmse * (complexity * penalty + 1)
    std::size_t complexity;
};

struct SearchOutcome {
    std::optional<SearchResult> best;  // empty when nothing could be scored, or when interrupted
    bool interrupted = false;
    std::size_t generated = 0;  // candidates formed and offered to the duplicate filter
    std::size_t scored = 0;     // candidates admitted and sent to scoring
};

// Asked on the calling thread between phases; true abandons the search.
using StopRequest = std::function<bool()>;

// The caller validates the data's shape; columns that break the batch
// precondition only make every candidate unscorable.
SearchOutcome search(std::span<const std::vector<double>> columns, std::span<const double> targets,
                     std::size_t n_vars, const SearchParams& params, const StopRequest& should_stop = {});

// Scores the candidates on the worker pool; unscorable ones are left out and
// the rest keep their order. The candidates move into their results.
std::vector<SearchResult> score_level(std::vector<Expr> candidates, std::span<const std::vector<double>> columns,
                                      std::span<const double> targets, const SearchParams& params);

// Replaces best by the first result of strictly smaller error (NaN never
// replaces and is never replaced), walking results in order.
void update_best(std::optional<SearchResult>& best, std::span<const SearchResult> results);

}  // namespace zyl::discover
