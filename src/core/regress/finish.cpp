#include "finish.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>
#include <vector>

#include "constant_fit.hpp"
#include "exact_forms.hpp"
#include "origin_forms.hpp"
#include "statistics.hpp"

namespace zyl::regress {
namespace {

// The widest relative window searched for exact forms, how many forms are
// refitted at most, and how many standard errors away a form may lie to be
// refitted at all (the profile test then decides).
constexpr double kSnapWindow = 0.02;
constexpr std::size_t kMaxTries = 32;
constexpr double kWaldReach = 3.0;
// A fit that stopped short of the optimum by rounding must still find the
// exact value it is next to.
constexpr double kWindowFloor = 1e-6;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Index among the free constants of the term at `term`.
std::size_t free_slot(const ConstantStatistics& s, std::size_t term) {
    return static_cast<std::size_t>(std::find(s.terms.begin(), s.terms.end(), term) - s.terms.begin());
}

enum class ScaleKind { None, Neg, Mul, Div };

// The result formula is inner, then its scale, then its offset.
struct Shape {
    Formula inner;
    ScaleKind kind = ScaleKind::Mul;
    Term scale = Term::constant(1.0, true);
    bool has_offset = true;
    Term offset = Term::constant(0.0, true);
};

Term negated(const Term& t) {
    Term out = t.has_exact ? Term::exact_constant({-t.exact.p, t.exact.q, t.exact.basis}, t.fitted)
                           : Term::constant(-t.value, t.fitted);
    return out;
}

// Where the scale and the offset stand in the assembled formula.
std::size_t scale_index(const Shape& s) { return s.kind == ScaleKind::Mul ? 0 : s.inner.size(); }
std::size_t inner_start(const Shape& s) { return s.kind == ScaleKind::Mul ? 1 : 0; }

Formula assemble(const Shape& s) {
    Formula out;
    out.reserve(s.inner.size() + 4);
    if (s.kind == ScaleKind::Mul) out.push_back(s.scale);
    out.insert(out.end(), s.inner.begin(), s.inner.end());
    if (s.kind == ScaleKind::Mul) out.push_back(Term::operation(Fn::Mul));
    if (s.kind == ScaleKind::Neg) out.push_back(Term::operation(Fn::Neg));
    if (s.kind == ScaleKind::Div) {
        out.push_back(s.scale);
        out.push_back(Term::operation(Fn::Div));
    }
    if (s.has_offset) {
        const bool negative = s.offset.value < 0.0;
        out.push_back(negative ? negated(s.offset) : s.offset);
        out.push_back(Term::operation(negative ? Fn::Sub : Fn::Add));
    }
    return out;
}

// The shape's terms back from an assembled formula whose constants moved.
void take_values(Shape& s, const Formula& f) {
    const std::size_t start = inner_start(s);
    for (std::size_t i = 0; i < s.inner.size(); ++i) s.inner[i] = f[start + i];
    if (s.kind == ScaleKind::Mul || s.kind == ScaleKind::Div) s.scale = f[scale_index(s)];
    if (s.has_offset) {
        const Term& t = f[f.size() - 2];
        s.offset = f.back().fn == Fn::Sub ? negated(t) : t;
    }
}

class Finisher {
public:
    Finisher(const Columns& data, std::span<const double> y, Evaluator& evaluator, const FinishSettings& settings)
        : data_(data), y_(y), evaluator_(evaluator), settings_(settings), n_(data.samples) {}

    std::optional<Scored> run(Shape shape) {
        Formula f = assemble(shape);
        if (!mark_dimensional(f)) return std::nullopt;
        polish(f);
        take_values(shape, f);
        auto stats = constant_statistics(f, data_, y_, evaluator_, settings_.weights);
        if (!stats) return std::nullopt;
        snapped_inner_.assign(shape.inner.size(), std::nullopt);
        snapped_scale_.reset();
        snapped_offset_.reset();
        if (settings_.exact_constants) {
            for (std::size_t i = 0; i < shape.inner.size(); ++i)
                if (shape.inner[i].free() && !dimensional_[inner_start(shape) + i]) snap_inner(shape, i, *stats);
            if (shape.kind == ScaleKind::Mul && !dimensional_[scale_index(shape)]) snap_scale(shape, *stats);
            if (shape.has_offset && shape.offset.free() && !dimensional_[f.size() - 2]) snap_offset(shape, *stats);
        }
        return scored(shape, *stats);
    }

private:
    // Marks the constant terms that carry a dimension; false when the
    // formula lacks the target's dimension.
    bool mark_dimensional(const Formula& f) {
        dimensional_.assign(f.size(), false);
        if (settings_.dimensions == nullptr) return true;
        auto dims = constant_dimensions(f, *settings_.dimensions);
        if (!dims) return false;
        for (std::size_t i = 0, k = 0; i < f.size(); ++i)
            if (f[i].kind == Kind::Const) dimensional_[i] = !(*dims)[k++].dimensionless();
        return true;
    }

    struct Candidate {
        Exact form;
        Shape shape;
    };

    void polish(Formula& f) {
        ConstantFitLimits limits;
        limits.explicit_outer = true;
        fit_constants(f, data_, y_, evaluator_, limits, settings_.weights);
    }

    double residual_variance(const ConstantStatistics& s) const {
        const double floor = settings_.floor_sse / static_cast<double>(n_ > 0 ? n_ : 1);
        if (n_ <= s.size()) return floor;
        return std::fmax(s.sse / static_cast<double>(n_ - s.size()), floor);
    }

    struct Precision {
        double cost;    // nats to write the fitted value
        double reach;   // how far from it an exact form may lie to be tried
        double error;   // its standard error
    };
    std::optional<Precision> precision_of(const ConstantStatistics& s, std::size_t term, double value) const {
        const std::size_t j = free_slot(s, term);
        if (j == s.size()) return std::nullopt;
        const double information = s.information[j * s.size() + j];
        if (!(information > 0.0) || value == 0.0) return std::nullopt;
        const double variance = residual_variance(s);
        const double d = std::sqrt(12.0 * variance / information);
        double error = s.standard_error(j);
        if (!std::isfinite(error)) error = std::sqrt(variance / information);
        const double reach = std::fmin(kSnapWindow, std::fmax(kWaldReach * error / std::fabs(value), kWindowFloor));
        return Precision{std::fmax(std::log(std::fabs(value) / d), 0.0) + std::log(2.0), reach, error};
    }

    // Tries the candidates, cheapest first, while they are shorter than the
    // fitted value; takes the first whose refit stays inside the interval.
    bool try_candidates(std::vector<Candidate>& candidates, double fitted_cost, Shape& shape, ConstantStatistics& s) {
        std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
            return exact_description(a.form) < exact_description(b.form);
        });
        const double allowed = kSnapChiSquare * residual_variance(s);
        for (std::size_t t = 0; t < candidates.size() && t < kMaxTries; ++t) {
            if (exact_description(candidates[t].form) >= fitted_cost) break;
            Formula g = assemble(candidates[t].shape);
            polish(g);
            auto gs = constant_statistics(g, data_, y_, evaluator_, settings_.weights);
            if (!gs || !(gs->sse - s.sse <= allowed)) continue;
            shape = std::move(candidates[t].shape);
            take_values(shape, g);
            s = std::move(*gs);
            return true;
        }
        return false;
    }

    // Exact forms near `value`, each put into a copy of the shape by
    // `place`, which may decline one.
    struct Source {
        double value;
        std::function<bool(Shape&, const Exact&)> place;
    };

    // Writes the constant at `term`, of fitted value `value`, as the first
    // exact form of the sources the data accept; its fitted estimate when
    // it did.
    std::optional<ConstantEstimate> snap(Shape& shape, ConstantStatistics& s, std::size_t term, double value,
                                         std::initializer_list<Source> sources) {
        auto p = precision_of(s, term, value);
        if (!p) return std::nullopt;
        std::vector<Candidate> candidates;
        for (const Source& source : sources)
            for (const Exact& x : exact_forms_near(source.value, p->reach)) {
                Shape trial = shape;
                if (source.place(trial, x)) candidates.push_back({x, std::move(trial)});
            }
        if (!try_candidates(candidates, p->cost, shape, s)) return std::nullopt;
        return ConstantEstimate{value, p->error};
    }

    void snap_inner(Shape& shape, std::size_t i, ConstantStatistics& s) {
        const double value = shape.inner[i].value;
        snapped_inner_[i] = snap(shape, s, inner_start(shape) + i, value,
                                 {{value, [i](Shape& trial, const Exact& x) {
                                       trial.inner[i] = Term::exact_constant(x, true);
                                       return true;
                                   }}});
    }

    // The scale as an exact factor, as an exact divisor, or gone (1 and -1).
    void snap_scale(Shape& shape, ConstantStatistics& s) {
        const double value = shape.scale.value;
        auto unit = [](const Exact& x) { return x.q == 1 && std::abs(x.p) == 1 && x.basis == Basis::One; };
        auto factor = [&](Shape& trial, const Exact& x) {
            if (unit(x)) trial.kind = x.p > 0 ? ScaleKind::None : ScaleKind::Neg;
            else trial.scale = Term::exact_constant(x, true);
            return true;
        };
        auto divisor = [&](Shape& trial, const Exact& x) {
            if (unit(x)) return false;
            trial.kind = ScaleKind::Div;
            trial.scale = Term::exact_constant(x, true);
            return true;
        };
        snapped_scale_ = snap(shape, s, scale_index(shape), value, {{value, factor}, {1.0 / value, divisor}});
    }

    void snap_offset(Shape& shape, ConstantStatistics& s) {
        const double value = shape.offset.value;
        snapped_offset_ = snap(shape, s, assemble(shape).size() - 2, value,
                               {{value, [](Shape& trial, const Exact& x) {
                                     trial.offset = Term::exact_constant(x, true);
                                     return true;
                                 }}});
    }

    ConstantEstimate estimate_of(const Term& t, const std::optional<ConstantEstimate>& snapped,
                                 const ConstantStatistics& s, std::size_t term) const {
        if (snapped) return *snapped;
        if (!t.free()) return {t.value, t.fitted ? kNaN : 0.0};
        return {t.value, s.standard_error(free_slot(s, term))};
    }

    Scored scored(const Shape& shape, const ConstantStatistics& s) const {
        Scored out;
        out.formula = assemble(shape);
        out.sse = s.sse;
        out.rmse = std::sqrt(s.sse / weight_total(settings_.weights, n_));
        out.plain_rmse = std::sqrt(s.plain_sse / static_cast<double>(n_));
        out.covariance = s.covariance;
        out.information = s.information;
        const std::size_t start = inner_start(shape);
        for (std::size_t i = 0; i < out.formula.size(); ++i) {
            const Term& t = out.formula[i];
            if (t.kind != Kind::Const) continue;
            std::optional<ConstantEstimate> snapped;
            double sign = 1.0;
            if (i >= start && i < start + shape.inner.size()) {
                snapped = snapped_inner_[i - start];
            } else if ((shape.kind == ScaleKind::Mul || shape.kind == ScaleKind::Div) && i == scale_index(shape)) {
                snapped = snapped_scale_;
                // A scale written as a divisor was fitted as a factor.
                if (snapped && shape.kind == ScaleKind::Div)
                    snapped = ConstantEstimate{1.0 / snapped->value,
                                               snapped->std_error / (snapped->value * snapped->value)};
            } else {
                snapped = snapped_offset_;
                if (out.formula.back().fn == Fn::Sub) sign = -1.0;
            }
            ConstantEstimate e = estimate_of(t, snapped, s, i);
            if (snapped) e.value *= sign;
            out.estimates.push_back(e);
        }
        return out;
    }

    const Columns& data_;
    std::span<const double> y_;
    Evaluator& evaluator_;
    const FinishSettings& settings_;
    std::size_t n_;
    std::vector<bool> dimensional_;  // by term of the assembled formula
    std::vector<std::optional<ConstantEstimate>> snapped_inner_;
    std::optional<ConstantEstimate> snapped_scale_, snapped_offset_;
};

}  // namespace

double rounding_floor_sse(std::span<const double> y, Weights w) {
    double s = 0.0;
    for (std::size_t i = 0; i < y.size(); ++i) s += weight(w, i) * y[i] * y[i];
    const double floor = kExactRelative * kExactRelative * s;
    return floor > 0.0 ? floor : 1e-300;
}

std::vector<Scored> finish(const Formula& structure, const Columns& data, std::span<const double> y,
                           Evaluator& evaluator, const FinishSettings& settings) {
    std::vector<Scored> out;
    auto fit = scaled_fit(structure, data, y, evaluator, settings.weights);
    if (!fit) return out;
    const std::vector<double> fv(evaluator.values().begin(), evaluator.values().end());
    Finisher finisher(data, y, evaluator, settings);
    Shape with_offset{structure, ScaleKind::Mul, Term::constant(fit->scale, true), true,
                      Term::constant(fit->offset, true)};
    if (auto s = finisher.run(with_offset)) out.push_back(std::move(*s));
    if (auto through_zero = fit_scale_with_offset(fv, y, 0.0, settings.weights)) {
        Shape without{structure, ScaleKind::Mul, Term::constant(through_zero->scale, true), false,
                      Term::constant(0.0, true)};
        if (auto s = finisher.run(without)) out.push_back(std::move(*s));
    }
    if (auto saturating = through_origin(structure)) {
        if (auto f = scaled_fit(*saturating, data, y, evaluator, settings.weights)) {
            const std::vector<double> sv(evaluator.values().begin(), evaluator.values().end());
            if (auto through_zero = fit_scale_with_offset(sv, y, 0.0, settings.weights)) {
                Shape origin{*saturating, ScaleKind::Mul, Term::constant(through_zero->scale, true), false,
                             Term::constant(0.0, true)};
                if (auto s = finisher.run(origin)) out.push_back(std::move(*s));
            }
        }
    }
    return out;
}

std::optional<Scored> scored_as_is(const Formula& f, const Columns& data, std::span<const double> y,
                                   Evaluator& evaluator, Weights w) {
    auto s = constant_statistics(f, data, y, evaluator, w);
    if (!s) return std::nullopt;
    Scored out;
    out.formula = f;
    out.sse = s->sse;
    out.rmse = std::sqrt(s->sse / weight_total(w, data.samples));
    out.plain_rmse = std::sqrt(s->plain_sse / static_cast<double>(data.samples));
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i].kind == Kind::Const)
            out.estimates.push_back(
                f[i].free() ? ConstantEstimate{f[i].value, s->standard_error(free_slot(*s, i))}
                            : ConstantEstimate{f[i].value, f[i].fitted ? kNaN : 0.0});
    out.covariance = std::move(s->covariance);
    out.information = std::move(s->information);
    return out;
}

}  // namespace zyl::regress
