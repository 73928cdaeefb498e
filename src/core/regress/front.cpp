#include "front.hpp"

#include <cmath>
#include <map>

#include "finish.hpp"

namespace zyl::regress {

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

std::size_t select_best(std::span<const Scored> front, std::span<const double> y) {
    const Acceptance acceptance = acceptance_for(y);
    const double n = static_cast<double>(y.size() > 0 ? y.size() : 1);
    const double floor_mse = acceptance.floor_sse / n;
    std::size_t chosen = 0;
    double chosen_score = 0.0;
    for (std::size_t i = 0; i < front.size(); ++i) {
        const double mse = front[i].rmse * front[i].rmse;
        const double score = n * std::log(std::fmax(mse, floor_mse)) +
                             std::log(n) * static_cast<double>(front[i].formula.size());
        if (i == 0 || score < chosen_score) {
            chosen = i;
            chosen_score = score;
        }
    }
    return chosen;
}

}  // namespace zyl::regress
