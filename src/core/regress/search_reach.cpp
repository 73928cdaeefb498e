#include "search_reach.hpp"

#include <algorithm>
#include <cmath>

#include "reach.hpp"

namespace zyl::regress::stage {
namespace {

// Parts of the weighted sums of the reach stage: of each complexity up to
// this one, the most accurate few and those that explain most of a residual
// target; a sum of larger parts is rarely worth its length.
constexpr std::size_t kSumPartComplexity = 7;
constexpr std::size_t kSumPartsByError = 6;
constexpr std::size_t kSumPartsByResidual = 2;

// Of each complexity up to kSumPartComplexity, the structures that read a
// variable and are most accurate or explain most of a residual target; most
// accurate first.
std::vector<Block> reach_blocks(const State& s) {
    std::vector<std::uint32_t> ids;
    auto by = [&](auto key) {
        return [&, key](std::uint32_t a, std::uint32_t b) { return key(s.pool[a]) < key(s.pool[b]); };
    };
    for (std::size_t c = 1; c < s.by_complexity.size() && c <= kSumPartComplexity; ++c) {
        std::vector<std::uint32_t> level;
        for (std::uint32_t i : s.by_complexity[c])
            if (!s.pool[i].block && s.pool[i].has_var && std::isfinite(s.pool[i].error)) level.push_back(i);
        std::stable_sort(level.begin(), level.end(), by([](const Entry& e) { return e.error; }));
        ids.insert(ids.end(), level.begin(), level.begin() + std::min(level.size(), kSumPartsByError));
        std::stable_sort(level.begin(), level.end(), by([](const Entry& e) { return e.residual; }));
        for (std::size_t k = 0, added = 0; k < level.size() && added < kSumPartsByResidual; ++k)
            if (std::find(ids.begin(), ids.end(), level[k]) == ids.end()) {
                ids.push_back(level[k]);
                ++added;
            }
    }
    std::stable_sort(ids.begin(), ids.end(), by([](const Entry& e) { return e.error; }));
    std::vector<Block> blocks;
    for (std::uint32_t i : ids) blocks.push_back({s.pool[i].formula, s.pool[i].values});
    return blocks;
}

}  // namespace

bool add_reach(State& s, std::vector<Formula>& structures) {
    if (s.best_error <= s.exact_error || s.over_time() || s.ended_early) return true;
    ReachSettings settings;
    settings.weights = s.w;
    settings.use_trig = s.options.use_trig;
    settings.floor_sse = s.floor_sse;
    settings.allowance = s.options.max_evaluations / kReachShare;
    settings.stop = [&s] { return s.should_stop(); };
    settings.control = s.hooks.control;
    ReachResult found = reach(s.data, s.y, reach_blocks(s), settings);
    s.evaluations += found.evaluations;
    if (found.stopped) return false;
    for (Formula& f : found.structures) structures.push_back(std::move(f));
    return true;
}

}  // namespace zyl::regress::stage
