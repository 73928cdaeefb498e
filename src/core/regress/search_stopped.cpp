#include "search_stopped.hpp"

#include <cmath>
#include <limits>

#include "constant_fit.hpp"
#include "search_front.hpp"

namespace zyl::regress::stage {
namespace {

// scale * structure, then + offset when `with_offset`.
Formula scaled(const Formula& structure, const Scaling& fit, bool with_offset) {
    Formula f{Term::constant(fit.scale, true)};
    f.insert(f.end(), structure.begin(), structure.end());
    f.push_back(Term::operation(Fn::Mul));
    if (with_offset) {
        f.push_back(Term::constant(fit.offset, true));
        f.push_back(Term::operation(Fn::Add));
    }
    return f;
}

}  // namespace

Outcome stopped_outcome(State& s) {
    s.outcome.stopped = true;
    s.outcome.front.clear();
    std::vector<Scored> candidates;
    Evaluator& ev = s.scratch[0].evaluator;
    if (auto c = constant_candidate(s, ev)) candidates.push_back(std::move(*c));
    for (const Formula& structure : structures_to_finish(s, 1)) {
        auto fit = scaled_fit(structure, s.data, s.y, ev, s.w);
        if (!fit) continue;
        Formula f = scaled(structure, *fit, true);
        if (s.options.dimensions && !constant_dimensions(f, *s.options.dimensions)) {
            // The offset would carry a dimension a fitted constant may not:
            // the scale is fitted through zero instead.
            fit = fit_scale_with_offset(ev.values(), s.y, 0.0, s.w);
            if (!fit) continue;
            f = scaled(structure, *fit, false);
            if (!constant_dimensions(f, *s.options.dimensions)) continue;
        }
        Scored scored;
        scored.formula = std::move(f);
        scored.sse = fit->sse;
        scored.rmse = std::sqrt(fit->sse / weight_total(s.w, s.n));
        scored.plain_rmse =
            std::sqrt(sum_squared_residuals(ev.values(), s.y, fit->scale, fit->offset) / static_cast<double>(s.n));
        for (const Term& t : scored.formula)
            if (t.kind == Kind::Const)
                scored.estimates.push_back({t.value, std::numeric_limits<double>::quiet_NaN()});
        candidates.push_back(std::move(scored));
    }
    score_candidates(candidates, selection_data(s, 0.0));
    Choice choice = choose(std::move(candidates), Selection::Bic);
    s.outcome.front = std::move(choice.front);
    s.outcome.best = choice.best;
    s.outcome.evaluations = s.evaluations;
    return s.outcome;
}

}  // namespace zyl::regress::stage
