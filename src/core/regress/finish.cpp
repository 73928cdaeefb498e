#include "finish.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "constant_fit.hpp"
#include "exact_forms.hpp"
#include "scaling.hpp"

namespace zyl::regress {
namespace {

// Exact forms are looked for within this fraction of the fitted value; the
// acceptance test decides among them.
constexpr double kSnapWindow = 0.02;
constexpr std::size_t kMaxTries = 32;

enum class ScaleKind { None, Neg, Mul, Div };

struct Outer {
    ScaleKind kind = ScaleKind::Mul;
    Term scale = Term::constant(1.0, true);
    bool has_offset = true;
    Term offset = Term::constant(0.0, true);  // added; negative values become a subtraction
};

Term negated(const Term& t) {
    if (t.has_exact) return Term::exact_constant({-t.exact.p, t.exact.q, t.exact.basis}, t.fitted);
    return Term::constant(-t.value, t.fitted);
}

Formula assemble(const Formula& f, const Outer& outer) {
    Formula out;
    out.reserve(f.size() + 4);
    switch (outer.kind) {
        case ScaleKind::None:
            out = f;
            break;
        case ScaleKind::Neg:
            out = f;
            out.push_back(Term::operation(Fn::Neg));
            break;
        case ScaleKind::Mul:
            out.push_back(outer.scale);
            out.insert(out.end(), f.begin(), f.end());
            out.push_back(Term::operation(Fn::Mul));
            break;
        case ScaleKind::Div:
            out = f;
            out.push_back(outer.scale);
            out.push_back(Term::operation(Fn::Div));
            break;
    }
    if (outer.has_offset) {
        const bool negative = outer.offset.value < 0.0;
        out.push_back(negative ? negated(outer.offset) : outer.offset);
        out.push_back(Term::operation(negative ? Fn::Sub : Fn::Add));
    }
    return out;
}

double squared_error(std::span<const double> v, std::span<const double> y) {
    double s = 0.0;
    for (std::size_t i = 0; i < v.size(); ++i) s += (v[i] - y[i]) * (v[i] - y[i]);
    return s;
}

std::optional<double> outer_sse(const Formula& f, const Outer& outer, const Columns& data, std::span<const double> y,
                                Evaluator& evaluator) {
    if (!evaluator.run(assemble(f, outer), data)) return std::nullopt;
    return squared_error(evaluator.values(), y);
}

// Replaces free constants, in term order, by the simplest exact form the
// data accepts, refitting the ones still free after each replacement.
Scaling snap_inner(Formula& f, Scaling fit, const Columns& data, std::span<const double> y, Evaluator& evaluator,
                   const Acceptance& acceptance) {
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (!f[i].free()) continue;
        auto forms = exact_forms_near(f[i].value, kSnapWindow);
        for (std::size_t t = 0; t < forms.size() && t < kMaxTries; ++t) {
            Formula g = f;
            g[i] = Term::exact_constant(forms[t], true);
            auto s = scaled_fit(g, data, y, evaluator);
            if (!s || !acceptance.accepts(s->sse, fit.sse)) continue;
            f = std::move(g);
            fit = *s;
            if (auto refit = fit_constants(f, data, y, evaluator)) fit = refit->scaling;
            break;
        }
    }
    return fit;
}

}  // namespace

bool Acceptance::accepts(double simpler_sse, double fitted_sse) const {
    if (!std::isfinite(simpler_sse)) return false;
    const double a = std::fmax(simpler_sse, floor_sse);
    const double b = std::fmax(fitted_sse, floor_sse);
    const double n = static_cast<double>(samples);
    return n * std::log(a / b) <= std::log(n);
}

Acceptance acceptance_for(std::span<const double> y) {
    double s = 0.0;
    for (double v : y) s += v * v;
    const double n = static_cast<double>(y.size());
    const double mean_square = y.empty() ? 0.0 : s / n;
    const double floor = n * kExactRelative * kExactRelative * mean_square;
    return {y.size(), floor > 0.0 ? floor : 1e-300};
}

std::optional<double> formula_rmse(const Formula& f, const Columns& data, std::span<const double> y,
                                   Evaluator& evaluator) {
    if (!evaluator.run(f, data) || data.samples == 0) return std::nullopt;
    return std::sqrt(squared_error(evaluator.values(), y) / static_cast<double>(data.samples));
}

std::optional<Finished> finish(Formula f, const Columns& data, std::span<const double> y, Evaluator& evaluator,
                               const Acceptance& acceptance) {
    auto first = scaled_fit(f, data, y, evaluator);
    if (!first) return std::nullopt;
    Scaling fit = snap_inner(f, *first, data, y, evaluator, acceptance);
    if (!evaluator.run(f, data)) return std::nullopt;
    const std::vector<double> fv(evaluator.values().begin(), evaluator.values().end());

    Outer outer;
    outer.scale = Term::constant(fit.scale, true);
    outer.offset = Term::constant(fit.offset, true);
    double sse = fit.sse;
    if (auto s0 = fit_scale_with_offset(fv, y, 0.0); s0 && acceptance.accepts(s0->sse, sse)) {
        outer.has_offset = false;
        outer.scale = Term::constant(s0->scale, true);
        sse = s0->sse;
    }

    // Exact scales, both as a factor and as a divisor, simplest first.
    struct ScaleTry {
        Exact form;
        bool divide;
    };
    std::vector<ScaleTry> tries;
    for (const Exact& x : exact_forms_near(outer.scale.value, kSnapWindow)) tries.push_back({x, false});
    for (const Exact& x : exact_forms_near(1.0 / outer.scale.value, kSnapWindow))
        if (!(x.q == 1 && std::abs(x.p) == 1 && x.basis == Basis::One)) tries.push_back({x, true});
    std::stable_sort(tries.begin(), tries.end(), [](const ScaleTry& a, const ScaleTry& b) {
        return std::abs(a.form.p) + a.form.q < std::abs(b.form.p) + b.form.q;
    });
    for (std::size_t t = 0; t < tries.size() && t < kMaxTries; ++t) {
        Outer trial = outer;
        const Exact& x = tries[t].form;
        trial.scale = Term::exact_constant(x, true);
        trial.kind = tries[t].divide ? ScaleKind::Div : ScaleKind::Mul;
        if (x.q == 1 && x.basis == Basis::One && std::abs(x.p) == 1) trial.kind = x.p > 0 ? ScaleKind::None : ScaleKind::Neg;
        if (trial.has_offset) {
            const double a = trial.kind == ScaleKind::Div ? 1.0 / trial.scale.value : trial.scale.value;
            trial.offset = Term::constant(fit_offset_with_scale(fv, y, a).offset, true);
        }
        auto s = outer_sse(f, trial, data, y, evaluator);
        if (s && acceptance.accepts(*s, sse)) {
            outer = trial;
            sse = *s;
            break;
        }
    }
    if (outer.has_offset) {
        for (const Exact& x : exact_forms_near(outer.offset.value, kSnapWindow)) {
            Outer trial = outer;
            trial.offset = Term::exact_constant(x, true);
            auto s = outer_sse(f, trial, data, y, evaluator);
            if (s && acceptance.accepts(*s, sse)) {
                outer = trial;
                sse = *s;
                break;
            }
        }
    }
    Formula result = assemble(f, outer);
    auto rmse = formula_rmse(result, data, y, evaluator);
    if (!rmse) return std::nullopt;
    return Finished{std::move(result), *rmse};
}

}  // namespace zyl::regress
