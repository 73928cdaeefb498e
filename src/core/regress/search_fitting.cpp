#include "search_fitting.hpp"

#include <algorithm>
#include <cmath>

#include "constant_fit.hpp"
#include "search_generation.hpp"

namespace zyl::regress::stage {
namespace {

// Sample passes one constant fit costs at most, roughly.
constexpr std::size_t kFitPasses = 160;

void fit_one(const State& s, const Move& m, std::span<const double> target, Scratch& scratch, Fitted& out) {
    out = Fitted{};
    out.formula = formula_of(s, m);
    ConstantFitLimits limits;
    limits.cancelled = &job_cancelled;
    auto fit = fit_constants(out.formula, s.data, target, scratch.evaluator, limits, s.w);
    if (!fit) return;
    out.evaluations = fit->evaluations + 2;
    if (!scratch.evaluator.run(out.formula, s.data)) return;
    out.values.assign(scratch.evaluator.values().begin(), scratch.evaluator.values().end());
    if (!scratch.evaluator.run(shadowed(out.formula), s.data)) return;
    out.shadow.assign(scratch.evaluator.values().begin(), scratch.evaluator.values().end());
    auto score = s.targets.score(out.values);
    if (!score) return;
    out.error = score->error;
    out.ok = std::isfinite(out.error);
}

}  // namespace

bool fit_all(State& s, const std::vector<Move>& moves, const std::vector<std::uint32_t>& ids,
             const std::vector<std::span<const double>>& targets, std::vector<Fitted>& fitted) {
    fitted.assign(ids.size(), Fitted{});
    const std::size_t block = std::max<std::size_t>(2, kBlockWork / (kFitPasses * s.n));
    for (std::size_t first = 0; first < ids.size(); first += block) {
        const std::size_t count = std::min(block, ids.size() - first);
        auto done = parallel_for_workers(
            count,
            [&](std::size_t w, std::size_t i) {
                fit_one(s, moves[ids[first + i]], targets[first + i], s.scratch[w], fitted[first + i]);
            },
            s.hooks.control);
        if (done == kCancelled || s.should_stop()) return false;
        if (s.over_time()) {
            s.budget_spent = true;
            break;
        }
    }
    for (const Fitted& f : fitted) s.evaluations += f.evaluations;
    return true;
}

}  // namespace zyl::regress::stage
