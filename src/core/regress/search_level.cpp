#include "search_level.hpp"

#include <cmath>
#include <unordered_map>
#include <vector>

#include "search_fitting.hpp"
#include "search_generation.hpp"
#include "search_scoring.hpp"

namespace zyl::regress::stage {
namespace {

// Constant fits per level, against y and against residual targets, as a
// multiple of the beam width: a fit costs about a hundred evaluations, and a
// poor starting point must not keep a structure from being fitted.
constexpr std::size_t kFitShare = 2;

using FittedAt = std::unordered_map<std::uint32_t, Fitted*>;

// Fits the constants of `ids` to their targets; the fitted ones go into
// `at` and have their keys from their fitted values. False when stopped.
bool fit_moves(State& s, const std::vector<Move>& moves, const std::vector<std::uint32_t>& ids,
               const std::vector<std::span<const double>>& targets, std::vector<Fitted>& fitted, FittedAt& at,
               MoveKeys& keys) {
    if (!fit_all(s, moves, ids, targets, fitted)) return false;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (!fitted[i].ok) continue;
        at.emplace(ids[i], &fitted[i]);
        fitted_key(s, ids[i], fitted[i].values, keys);
    }
    return true;
}

}  // namespace

bool level(State& s, std::size_t c) {
    std::vector<Move> moves = moves_for(s, c);
    s.last_candidates = moves.size();
    if (s.evaluations + moves.size() >= s.level_budget()) s.budget_spent = true;
    s.evaluations += moves.size();
    std::vector<Slot> slots;
    switch (score_moves(s, moves, slots)) {
        case Scoring::Stopped: return false;
        case Scoring::OutOfTime: return true;
        case Scoring::Done: break;
    }
    std::vector<std::uint32_t> scored, fittable;
    for (std::uint32_t i = 0; i < moves.size(); ++i) {
        if (slots[i].verdict != Verdict::Scored) continue;
        scored.push_back(i);
        if (s.free_of(moves[i]) > 0) fittable.push_back(i);
    }
    MoveKeys keys;

    // Constant fitting for the most promising structures with constants.
    std::vector<std::uint32_t> to_fit =
        walk(s, slots, fittable, by_error, kFitShare * s.options.beam_width, moves, keys, s.seen);
    std::vector<Fitted> fitted;
    FittedAt fitted_at;
    if (!fit_moves(s, moves, to_fit, std::vector<std::span<const double>>(to_fit.size(), s.y), fitted, fitted_at,
                   keys))
        return false;
    for (const auto& [i, f] : fitted_at) slots[i].error = f->error;

    // Structures with constants that best explain a residual target get
    // their constants fitted to that target, so that the law they are a part
    // of can form at a later level.
    std::vector<std::uint32_t> to_refit =
        walk(s, slots, fittable, by_residual, kFitShare * s.options.beam_width, moves, keys, s.seen);
    std::vector<std::span<const double>> refit_targets;
    for (std::uint32_t i : to_refit) refit_targets.push_back(s.targets.residual(slots[i].target));
    std::vector<Fitted> refitted;
    FittedAt refitted_at;
    if (!fit_moves(s, moves, to_refit, refit_targets, refitted, refitted_at, keys)) return false;

    std::vector<std::uint32_t> kept = walk(s, slots, scored, by_error, s.options.beam_width, moves, keys, s.seen);
    for (std::uint32_t i : kept) s.seen.insert(keys.at(i));
    // The refitted helpers rank by what they explain after fitting; a move
    // kept for its error keeps its fit against y.
    std::vector<Slot> helper_slots = slots;
    for (const auto& [i, f] : refitted_at) {
        auto score = s.targets.score(f->values);
        if (!score) continue;
        helper_slots[i].residual = score->residual;
        helper_slots[i].error = score->error;
    }
    std::vector<std::uint32_t> helpers =
        walk(s, helper_slots, scored, by_residual, s.options.beam_width / 2, moves, keys, s.seen);
    for (std::uint32_t i : helpers) {
        s.seen.insert(keys.at(i));
        if (auto it = refitted_at.find(i); it != refitted_at.end() && !fitted_at.count(i)) {
            fitted_at.emplace(i, it->second);
            slots[i] = helper_slots[i];
        }
    }

    const std::size_t n_main = kept.size();
    kept.insert(kept.end(), helpers.begin(), helpers.end());
    if (s.stop_seen()) return false;
    for (std::size_t k = 0; k < kept.size() && !s.poll_stop() && !s.over_time(); ++k) {
        const std::uint32_t i = kept[k];
        Entry e = entry_of(s, moves[i], c);
        e.error = slots[i].error;
        e.residual = slots[i].residual;
        e.helper = k >= n_main;
        if (auto it = fitted_at.find(i); it != fitted_at.end()) {
            Fitted& f = *it->second;
            e.formula = std::move(f.formula);
            e.values = std::move(f.values);
            e.shadow = std::move(f.shadow);
        }
        s.best_error = std::fmin(s.best_error, e.error);
        s.add_entry(std::move(e));
    }
    add_wraps(s, c);
    return !s.stop_seen();
}

}  // namespace zyl::regress::stage
