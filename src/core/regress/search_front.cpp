#include "search_front.hpp"

#include <cmath>

#include "common_scale.hpp"
#include "constant_fit.hpp"
#include "finish.hpp"
#include "search_dimensions.hpp"
#include "search_reach.hpp"
#include "statistics.hpp"

namespace zyl::regress::stage {

std::vector<std::uint32_t> ids_to_finish(const State& s, std::size_t per_complexity) {
    std::vector<std::uint32_t> out;
    for (const auto& ids : s.by_complexity) {
        std::size_t taken = 0;
        for (std::uint32_t id : ids) {
            const Entry& e = s.pool[id];
            if (e.block || !e.has_var || !std::isfinite(e.error) || !finishable(s, e)) continue;
            if (taken++ == per_complexity) break;
            out.push_back(id);
        }
    }
    return out;
}

std::vector<Formula> structures_to_finish(const State& s, std::size_t per_complexity) {
    std::vector<Formula> structures;
    for (std::uint32_t id : ids_to_finish(s, per_complexity)) structures.push_back(s.pool[id].formula);
    return structures;
}

std::optional<Scored> constant_candidate(const State& s, Evaluator& ev) {
    double sum = 0.0;
    for (std::size_t i = 0; i < s.n; ++i) sum += weight(s.w, i) * s.y[i];
    const Formula constant{Term::constant(sum / weight_total(s.w, s.n), true)};
    return scored_as_is(constant, s.data, s.y, ev, s.w);
}

SelectionData selection_data(const State& s, double noise_variance) {
    SelectionData d;
    d.samples = s.n;
    d.variables = s.data.columns.size();
    d.noise_variance = noise_variance;
    d.floor_mse = s.floor_sse / static_cast<double>(s.n);
    return d;
}

bool finish_front(State& s) {
    std::vector<Formula> structures = structures_to_finish(s, kFinishedPerComplexity);
    if (!add_reach(s, structures)) return false;
    std::vector<std::vector<Scored>> finished(structures.size());
    FinishSettings settings;
    settings.weights = s.w;
    settings.floor_sse = s.floor_sse;
    settings.exact_constants = s.options.exact_constants;
    if (s.options.dimensions) settings.dimensions = &*s.options.dimensions;
    auto done = parallel_for_workers(
        structures.size(),
        [&](std::size_t w, std::size_t i) {
            if (s.finishing_over_time()) return;
            Formula f = structures[i];
            if (s.options.dimensions && !dimension_of(f, *s.options.dimensions)) return;
            Evaluator& ev = s.scratch[w].evaluator;
            if (!fit_constants(f, s.data, s.y, ev, {}, s.w)) return;
            drop_common_scale(f, s.data, ev);
            finished[i] = finish(f, s.data, s.y, ev, settings);
        },
        s.hooks.control);
    if (done == kCancelled) return false;
    std::vector<Scored> candidates;
    if (auto c = constant_candidate(s, s.scratch[0].evaluator)) candidates.push_back(std::move(*c));
    for (auto& variants : finished)
        for (Scored& v : variants) candidates.push_back(std::move(v));
    score_candidates(candidates, selection_data(s, neighbour_noise_variance(s.data, s.y, s.w)));
    Choice choice = choose(std::move(candidates), s.options.selection);
    s.outcome.front = std::move(choice.front);
    s.outcome.best = choice.best;
    s.outcome.evaluations = s.evaluations;
    return true;
}

}  // namespace zyl::regress::stage
