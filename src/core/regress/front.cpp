#include "front.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "exact_forms.hpp"

namespace zyl::regress {
namespace {

constexpr double kPinnedErrors = 2.0;

// Relative frequencies of the symbols of laws (see front.hpp), indexed by
// Fn; then a constant and a variable.
constexpr double kSymbolWeights[kFnCount] = {
    1.0,   // neg
    1.5,   // inv
    1.5,   // exp
    0.75,  // log
    2.0,   // sqrt
    0.5,   // sin
    0.5,   // cos
    0.25,  // abs
    2.0,   // square
    0.25,  // zyl
    5.0,   // add
    3.0,   // sub
    10.0,  // mul
    6.0,   // div
};
constexpr double kConstantWeight = 6.0;
constexpr double kVariableWeight = 8.0;

double symbol_total() {
    double t = kConstantWeight + kVariableWeight;
    for (double w : kSymbolWeights) t += w;
    return t;
}

double structure_length(const Formula& f, std::size_t variables) {
    const double total = symbol_total();
    double length = 0.0;
    for (const Term& t : f) {
        if (t.kind == Kind::Var)
            length += std::log(total / kVariableWeight) + std::log(static_cast<double>(variables));
        else if (t.kind == Kind::Const)
            length += std::log(total / kConstantWeight);
        else
            length += std::log(total / kSymbolWeights[static_cast<std::uint8_t>(t.fn)]);
    }
    return length;
}

std::size_t free_constants(const Formula& f) {
    std::size_t k = 0;
    for (const Term& t : f) k += t.free() ? 1 : 0;
    return k;
}

bool pinned_down(const Scored& s, std::size_t k) {
    std::size_t j = 0;
    for (const Term& t : s.formula) {
        if (!t.free()) continue;
        const double variance = s.covariance[j * k + j];
        if (!(variance >= 0.0) || !(std::fabs(t.value) > kPinnedErrors * std::sqrt(variance))) return false;
        ++j;
    }
    return true;
}

double description_length(const Scored& s, std::size_t k, double sigma2, const SelectionData& d) {
    double length = s.sse / (2.0 * sigma2) + structure_length(s.formula, d.variables);
    std::size_t j = 0;
    for (const Term& t : s.formula) {
        if (t.kind != Kind::Const) continue;
        if (t.free()) {
            const double precision = std::sqrt(12.0 * sigma2 / s.information[j * k + j]);
            length += std::fmax(std::log(std::fabs(t.value) / precision), 0.0) + std::log(2.0);
            ++j;
        } else if (t.has_exact) {
            length += exact_description(t.exact);
        }
    }
    return length;
}

double score_of(const Scored& s, Selection rule) {
    return rule == Selection::DescriptionLength ? s.description_length : rule == Selection::Bic ? s.bic : s.rmse;
}

}  // namespace

void score_candidates(std::span<Scored> candidates, const SelectionData& d) {
    const double n = static_cast<double>(d.samples > 0 ? d.samples : 1);
    double sigma2 = d.noise_variance > 0.0 ? d.noise_variance : std::numeric_limits<double>::infinity();
    for (const Scored& s : candidates)
        if (s.formula.size() < d.samples && std::isfinite(s.sse))
            sigma2 = std::fmin(sigma2, s.sse / static_cast<double>(d.samples - s.formula.size()));
    if (!std::isfinite(sigma2)) sigma2 = 0.0;
    sigma2 = std::fmax(sigma2, d.floor_mse);
    for (Scored& s : candidates) {
        const std::size_t k = free_constants(s.formula);
        const bool has_var = std::any_of(s.formula.begin(), s.formula.end(),
                                         [](const Term& t) { return t.kind == Kind::Var; });
        s.selectable = k < d.samples && s.covariance.size() == k * k && s.information.size() == k * k &&
                       std::isfinite(s.sse) && (!has_var || pinned_down(s, k));
        s.description_length = s.selectable && sigma2 > 0.0 ? description_length(s, k, sigma2, d)
                                                            : std::numeric_limits<double>::infinity();
        const double mse = s.sse / n;
        s.bic = n * std::log(std::fmax(mse, d.floor_mse)) + std::log(n) * static_cast<double>(s.formula.size());
    }
}

Choice choose(std::vector<Scored> candidates, Selection rule) {
    // Within one complexity BIC orders as the error does.
    const Selection within = rule == Selection::DescriptionLength ? rule : Selection::Accuracy;
    std::map<std::size_t, std::size_t> representative;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!std::isfinite(candidates[i].rmse)) continue;
        auto [it, fresh] = representative.emplace(candidates[i].formula.size(), i);
        const Scored& held = candidates[it->second];
        const double a = score_of(candidates[i], within), b = score_of(held, within);
        if (!fresh && (a < b || (!(a == b) && std::isnan(b)) || (a == b && candidates[i].rmse < held.rmse)))
            it->second = i;
    }
    std::size_t winner = candidates.size();
    double winner_score = std::numeric_limits<double>::infinity();
    for (const auto& [complexity, i] : representative) {
        const double score = score_of(candidates[i], rule);
        if (score < winner_score) {
            winner = i;
            winner_score = score;
        }
    }
    Choice out;
    double least_error = std::numeric_limits<double>::infinity();
    for (const auto& [complexity, i] : representative) {
        const bool chosen = i == winner || (winner == candidates.size() && out.front.empty());
        if (!(candidates[i].rmse < least_error) && !chosen) continue;
        if (chosen) out.best = out.front.size();
        least_error = std::fmin(least_error, candidates[i].rmse);
        out.front.push_back(std::move(candidates[i]));
    }
    return out;
}

}  // namespace zyl::regress
