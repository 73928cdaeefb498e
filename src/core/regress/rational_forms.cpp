#include "rational_forms.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <utility>

#include "combine.hpp"
#include "constant_fit.hpp"
#include "linear_fit.hpp"

namespace zyl::regress {
namespace {

constexpr std::size_t kMaxNumerator = 2;
constexpr std::size_t kMaxDenominator = 2;
// Choices of each size grown by one more term, and those of each size
// refitted on the ratio's own error.
constexpr std::size_t kSeeds = 24;
constexpr std::size_t kFinalistsPerSize = 2;
// The denominator's least magnitude on the samples against its largest:
// below it, a pole sits among the data.
constexpr double kPoleMargin = 1e-6;
// A part of a sum whose share of it is below this is rounding, not a term.
constexpr double kNegligibleShare = 1e-9;
constexpr double kInf = std::numeric_limits<double>::infinity();

using Index = std::uint32_t;

struct Choice {
    std::vector<Index> num, den;  // column indices, increasing
    RationalFit fit;
    bool fitted = false;
};

// The term lists of choices met so far: the stage forms some thousands of
// choices, and a search through all of them per choice dominated its time.
class SeenTerms {
public:
    // True when c's terms were not met before.
    bool insert(const Choice& c) { return seen_.emplace(c.num, c.den).second; }
    bool contains(const Choice& c) const { return seen_.contains({c.num, c.den}); }

private:
    std::set<std::pair<std::vector<Index>, std::vector<Index>>> seen_;
};

// Indices of the columns that are finite, not constant and not equal to an
// earlier one: a term offered twice would only be chosen twice.
std::vector<Index> usable_columns(const std::vector<std::span<const double>>& columns) {
    std::vector<Index> out;
    for (Index c = 0; c < columns.size(); ++c) {
        const std::span<const double> v = columns[c];
        const double s = spread(v);
        if (!(s > 0.0) || !std::isfinite(s)) continue;
        const bool twin = std::any_of(out.begin(), out.end(), [&](Index e) {
            return std::equal(v.begin(), v.end(), columns[e].begin());
        });
        if (!twin) out.push_back(c);
    }
    return out;
}

class RationalSearch {
public:
    RationalSearch(const Columns& data, std::span<const double> y, const std::vector<const Formula*>& formulas,
                   const std::vector<std::span<const double>>& columns, const RationalSettings& settings,
                   std::vector<Evaluator>& evaluators)
        : data_(data), y_(y), formulas_(formulas), columns_(columns), settings_(settings), evaluators_(evaluators) {}

    RationalsFound run() {
        const std::vector<Index> usable = usable_columns(columns_);
        std::vector<Choice> choices;
        for (Index g : usable)
            for (Index h : usable) choices.push_back({{g}, {h}, {}, false});
        std::vector<Choice> finalists;
        for (std::size_t size = 2; size <= kMaxNumerator + kMaxDenominator && !choices.empty(); ++size) {
            if (!solve(choices)) return stopped();
            std::vector<Choice> best = best_of(choices, kSeeds, &RationalFit::multiplied_error);
            for (Choice& c : best_of(choices, kFinalistsPerSize, &RationalFit::sse)) finalists.push_back(std::move(c));
            choices = grown(best, usable);
            add_simple_choices(choices, usable, size + 1);
        }
        std::vector<Formula> structures = written(finalists);
        if (!refit(structures)) return stopped();
        return std::move(found_);
    }

private:
    RationalsFound stopped() {
        found_.structures.clear();
        found_.stopped = true;
        return std::move(found_);
    }

    std::vector<std::span<const double>> spans(const std::vector<Index>& ids) const {
        std::vector<std::span<const double>> out;
        for (Index i : ids) out.push_back(columns_[i]);
        return out;
    }

    // Fits every choice with an intercept; false when cancelled.
    bool solve(std::vector<Choice>& choices) {
        auto done = parallel_for(
            choices.size(),
            [&](std::size_t i) {
                Choice& c = choices[i];
                if (auto fit = fit_rational(spans(c.num), spans(c.den), y_, settings_.weights, true)) {
                    c.fit = std::move(*fit);
                    c.fitted = true;
                }
            },
            settings_.control);
        found_.evaluations += choices.size();
        return done != kCancelled;
    }

    // The `keep` choices of least error, ties to the earlier.
    static std::vector<Choice> best_of(const std::vector<Choice>& choices, std::size_t keep,
                                       double RationalFit::*error) {
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (choices[i].fitted) order.push_back(i);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return choices[a].fit.*error < choices[b].fit.*error; });
        std::vector<Choice> out;
        for (std::size_t i = 0; i < order.size() && out.size() < keep; ++i) out.push_back(choices[order[i]]);
        return out;
    }

    // Each seed with one more term in its numerator or its denominator.
    std::vector<Choice> grown(const std::vector<Choice>& seeds, const std::vector<Index>& usable) const {
        std::vector<Choice> out;
        SeenTerms seen;
        auto add = [&](Choice c) {
            const std::size_t constants = c.num.size() + c.den.size();  // with a0, less the lead's scale
            if (constants > settings_.max_constants) return;
            if (seen.insert(c)) out.push_back(std::move(c));
        };
        for (const Choice& s : seeds)
            for (Index t : usable)
                for (bool into_numerator : {true, false}) {
                    std::vector<Index> side = into_numerator ? s.num : s.den;
                    if (side.size() == (into_numerator ? kMaxNumerator : kMaxDenominator)) continue;
                    if (std::find(side.begin(), side.end(), t) != side.end()) continue;
                    side.push_back(t);
                    std::sort(side.begin(), side.end());
                    Choice c{into_numerator ? side : s.num, into_numerator ? s.den : side, {}, false};
                    add(std::move(c));
                }
        return out;
    }

    // Every choice of `size` terms among the simplest ones not yet in
    // `choices`.
    void add_simple_choices(std::vector<Choice>& choices, const std::vector<Index>& usable, std::size_t size) const {
        std::vector<Index> simple;
        for (Index u : usable)
            if (u < settings_.simple) simple.push_back(u);
        std::vector<std::vector<Index>> sides;
        for (std::size_t a = 0; a < simple.size(); ++a) {
            sides.push_back({simple[a]});
            for (std::size_t b = a + 1; b < simple.size(); ++b) sides.push_back({simple[a], simple[b]});
        }
        SeenTerms grown;
        for (const Choice& c : choices) grown.insert(c);
        for (const std::vector<Index>& num : sides)
            for (const std::vector<Index>& den : sides) {
                if (num.size() + den.size() != size || size > settings_.max_constants) continue;
                Choice c{num, den, {}, false};
                if (!grown.contains(c)) choices.push_back(std::move(c));
            }
    }

    // sum_formula's parts and spreads for one side.
    void side_parts(const std::vector<Index>& ids, std::vector<const Formula*>& parts,
                    std::vector<double>& spreads) const {
        for (Index i : ids) {
            parts.push_back(formulas_[i]);
            spreads.push_back(spread(columns_[i]));
        }
    }

    // (numerator) / (denominator), each a sum written by sum_formula with
    // its leading part's weight divided out (the outer scale carries it);
    // nothing when a part is rounding.
    std::optional<Formula> ratio_formula(const Choice& c, const RationalFit& fit, bool intercept) const {
        std::vector<const Formula*> num_parts, den_parts;
        std::vector<double> num_spreads, den_spreads;
        side_parts(c.num, num_parts, num_spreads);
        side_parts(c.den, den_parts, den_spreads);
        if (has_negligible_part(fit.numerator, num_spreads) || has_negligible_part(fit.denominator, den_spreads, 1.0))
            return std::nullopt;
        Formula f = sum_formula(num_parts, Combination{c.num, fit.numerator, fit.intercept, fit.sse}, num_spreads,
                                intercept);
        const Formula d =
            sum_formula(den_parts, Combination{c.den, fit.denominator, 1.0, fit.sse}, den_spreads, true);
        f.insert(f.end(), d.begin(), d.end());
        f.push_back(Term::operation(Fn::Div));
        return f;
    }

    // Each finalist once refitted with every sample weighed by its inverse
    // squared denominator (so that the multiplied-out residual is the
    // ratio's), written with and without a0.
    std::vector<Formula> written(const std::vector<Choice>& finalists) {
        std::vector<Formula> out;
        for (const Choice& c : finalists) {
            const std::vector<double> w = reweighted(c);
            for (bool intercept : {true, false}) {
                auto fit = fit_rational(spans(c.num), spans(c.den), y_, w, intercept);
                ++found_.evaluations;
                if (!fit) continue;
                // An a0 that is rounding is the choice without it.
                if (intercept && !(std::fabs(fit->intercept) > kNegligibleShare * numerator_size(c, *fit))) continue;
                if (auto f = ratio_formula(c, *fit, intercept)) out.push_back(std::move(*f));
            }
        }
        return out;
    }

    double numerator_size(const Choice& c, const RationalFit& fit) const {
        double size = 0.0;
        for (std::size_t j = 0; j < c.num.size(); ++j)
            size = std::fmax(size, std::fabs(fit.numerator[j]) * spread(columns_[c.num[j]]));
        return size;
    }

    std::vector<double> reweighted(const Choice& c) const {
        std::vector<double> w(y_.size());
        for (std::size_t i = 0; i < y_.size(); ++i) {
            double d = 1.0;
            for (std::size_t j = 0; j < c.den.size(); ++j) d += c.fit.denominator[j] * columns_[c.den[j]][i];
            w[i] = weight(settings_.weights, i) / (d * d);
        }
        return w;
    }

    // Levenberg-Marquardt on the ratio's own error; keeps those that still
    // evaluate, best first. False when cancelled.
    bool refit(std::vector<Formula>& structures) {
        std::vector<double> sse(structures.size(), kInf);
        std::vector<std::size_t> spent(structures.size(), 0);
        auto done = parallel_for_workers(
            structures.size(),
            [&](std::size_t worker, std::size_t i) {
                ConstantFitLimits limits;
                limits.cancelled = &job_cancelled;
                auto fit = fit_constants(structures[i], data_, y_, evaluators_[worker], limits, settings_.weights);
                if (!fit) return;
                spent[i] = fit->evaluations;
                if (std::isfinite(fit->scaling.sse)) sse[i] = fit->scaling.sse;
            },
            settings_.control);
        for (std::size_t s : spent) found_.evaluations += s;
        if (done == kCancelled) return false;
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < structures.size(); ++i)
            if (std::isfinite(sse[i])) order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sse[a] < sse[b]; });
        for (std::size_t i : order) found_.structures.push_back(std::move(structures[i]));
        return true;
    }

    const Columns& data_;
    std::span<const double> y_;
    const std::vector<const Formula*>& formulas_;
    const std::vector<std::span<const double>>& columns_;
    const RationalSettings& settings_;
    std::vector<Evaluator>& evaluators_;
    RationalsFound found_;
};

}  // namespace

std::optional<RationalFit> fit_rational(std::span<const std::span<const double>> numerator,
                                        std::span<const std::span<const double>> denominator,
                                        std::span<const double> y, Weights w, bool intercept) {
    const std::size_t n = y.size();
    std::vector<std::vector<double>> scaled(denominator.size(), std::vector<double>(n));
    for (std::size_t j = 0; j < denominator.size(); ++j)
        for (std::size_t i = 0; i < n; ++i) scaled[j][i] = -y[i] * denominator[j][i];
    std::vector<std::span<const double>> columns(numerator.begin(), numerator.end());
    for (const std::vector<double>& s : scaled) columns.emplace_back(s);
    auto linear = fit_linear(columns, y, w, intercept);
    if (!linear) return std::nullopt;
    RationalFit fit;
    fit.numerator.assign(linear->coefficients.begin(), linear->coefficients.begin() + numerator.size());
    fit.denominator.assign(linear->coefficients.begin() + numerator.size(), linear->coefficients.end());
    fit.intercept = linear->intercept;
    double least = kInf, most = 0.0, den_squares = 0.0;
    bool positive = true;
    for (std::size_t i = 0; i < n; ++i) {
        double num = fit.intercept, den = 1.0;
        for (std::size_t j = 0; j < numerator.size(); ++j) num += fit.numerator[j] * numerator[j][i];
        for (std::size_t j = 0; j < denominator.size(); ++j) den += fit.denominator[j] * denominator[j][i];
        if (i == 0) positive = den > 0.0;
        if (!(positive ? den > 0.0 : den < 0.0)) return std::nullopt;
        least = std::fmin(least, std::fabs(den));
        most = std::fmax(most, std::fabs(den));
        den_squares += weight(w, i) * den * den;
        const double r = num / den - y[i];
        fit.sse += weight(w, i) * r * r;
    }
    if (!(least > kPoleMargin * most) || !std::isfinite(fit.sse)) return std::nullopt;
    fit.multiplied_error = linear->sse / (den_squares / weight_total(w, n));
    return fit;
}

std::vector<Formula> simple_ratio_terms(std::size_t variables, const std::vector<Formula>& pairs,
                                        std::size_t limit) {
    std::vector<Formula> out;
    const auto d = static_cast<std::uint32_t>(variables);
    for (std::uint32_t v = 0; v < d; ++v) {
        out.push_back({Term::variable(v)});
        out.push_back({Term::variable(v), Term::operation(Fn::Square)});
    }
    out.insert(out.end(), pairs.begin(), pairs.end());
    for (std::uint32_t v = 0; v < d; ++v) {
        out.push_back({Term::variable(v), Term::operation(Fn::Inv)});
        out.push_back({Term::variable(v), Term::variable(v), Term::operation(Fn::Square), Term::operation(Fn::Mul)});
    }
    out.resize(std::min(out.size(), limit));
    return out;
}

std::vector<Formula> ratio_only_terms(std::size_t variables, const std::vector<Formula>& pairs,
                                      std::size_t max_variables) {
    std::vector<Formula> out = triple_monomials(variables, max_variables);
    for (std::uint32_t v = 0; v < variables; ++v) out.push_back({Term::variable(v), Term::operation(Fn::Exp)});
    for (const Formula& p : pairs) {
        out.push_back(p);
        out.back().push_back(Term::operation(Fn::Exp));
    }
    return out;
}

RationalsFound best_rationals(const Columns& data, std::span<const double> y,
                              const std::vector<const Formula*>& formulas,
                              const std::vector<std::span<const double>>& columns, const RationalSettings& settings,
                              std::vector<Evaluator>& evaluators) {
    return RationalSearch(data, y, formulas, columns, settings, evaluators).run();
}

}  // namespace zyl::regress
