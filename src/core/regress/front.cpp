#include "front.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "exact_forms.hpp"

namespace zyl::regress {
namespace {

constexpr double kPriorSamples = 2.0;
constexpr double kPinnedErrors = 2.0;

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

// Nodes times the log of the distinct symbols they are spelled with: the
// code length of the structure when each node names one of them.
double structure_length(const Formula& f) {
    std::set<std::pair<int, std::uint32_t>> symbols;
    for (const Term& t : f) {
        if (t.kind == Kind::Var) symbols.emplace(0, t.var);
        else if (t.kind == Kind::Const) symbols.emplace(1, 0);
        else symbols.emplace(2, static_cast<std::uint32_t>(t.fn));
    }
    return static_cast<double>(f.size()) * std::log(static_cast<double>(symbols.size()));
}

double description_length(const Scored& s, std::size_t k, double n, double s2, const SelectionData& d) {
    const double sigma2 = std::fmax((s.sse + kPriorSamples * s2) / (n + kPriorSamples), d.floor_mse);
    double length = 0.5 * n * std::log(2.0 * 3.141592653589793 * sigma2) + s.sse / (2.0 * sigma2);
    length += structure_length(s.formula);
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

}  // namespace

std::vector<Scored> pareto_front(std::span<const Scored> candidates) {
    std::map<std::size_t, const Scored*> best;
    for (const Scored& c : candidates) {
        if (!std::isfinite(c.rmse)) continue;
        auto [it, fresh] = best.emplace(c.formula.size(), &c);
        if (!fresh && c.rmse < it->second->rmse) it->second = &c;
    }
    std::vector<Scored> front;
    for (const auto& [complexity, c] : best)
        if (front.empty() || c->rmse < front.back().rmse) front.push_back(*c);
    return front;
}

void score_front(std::span<Scored> front, const SelectionData& d) {
    const double n = static_cast<double>(d.samples > 0 ? d.samples : 1);
    double s2 = d.noise_variance > 0.0 ? d.noise_variance : std::numeric_limits<double>::infinity();
    for (const Scored& s : front) {
        const std::size_t k = free_constants(s.formula);
        if (k < d.samples) s2 = std::fmin(s2, s.sse / static_cast<double>(d.samples - k));
    }
    if (!std::isfinite(s2)) s2 = 0.0;
    for (Scored& s : front) {
        const std::size_t k = free_constants(s.formula);
        const bool has_var = std::any_of(s.formula.begin(), s.formula.end(),
                                         [](const Term& t) { return t.kind == Kind::Var; });
        s.selectable = k < d.samples && s.covariance.size() == k * k && s.information.size() == k * k &&
                       (!has_var || pinned_down(s, k));
        s.description_length = s.selectable ? description_length(s, k, n, s2, d)
                                            : std::numeric_limits<double>::infinity();
        const double mse = s.sse / n;
        s.bic = n * std::log(std::fmax(mse, d.floor_mse)) + std::log(n) * static_cast<double>(s.formula.size());
    }
}

std::size_t select_best(std::span<const Scored> front, Selection rule) {
    std::size_t chosen = 0;
    double chosen_score = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < front.size(); ++i) {
        const double score = rule == Selection::DescriptionLength ? front[i].description_length
                             : rule == Selection::Bic             ? front[i].bic
                                                                  : front[i].rmse;
        if (score < chosen_score) {
            chosen = i;
            chosen_score = score;
        }
    }
    return chosen;
}

}  // namespace zyl::regress
