#include "search_scoring.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "scaling.hpp"
#include "search_keys.hpp"
#include "search_front.hpp"

namespace zyl::regress::stage {
namespace {

// Values (and shadow values when the move has free constants) into values
// and shadow; false when some sample fails.
bool values_of(const State& s, const Move& m, double* values, double* shadow) {
    const Entry& a = s.pool[m.a];
    const Entry* b = m.b == kNone ? nullptr : &s.pool[m.b];
    if (!apply(m.fn, a.values.data(), b ? b->values.data() : nullptr, values, s.n)) return false;
    if (a.free + (b ? b->free : 0) == 0) return true;
    return apply(m.fn, a.shadow_values().data(), b ? b->shadow_values().data() : nullptr, shadow, s.n);
}

// Scores `moves` (kScoredTogether at most) into their slots: their values
// one after another in the scratch, then the scores of those whose values
// exist, together.
void score_group(const State& s, std::span<const Move> moves, std::span<Slot> slots, Scratch& scratch) {
    const std::size_t n = s.n;
    std::array<std::span<const double>, kScoredTogether> values;
    std::array<std::size_t, kScoredTogether> which;
    std::size_t valued = 0;
    for (std::size_t q = 0; q < moves.size(); ++q) {
        slots[q] = Slot{};
        double* v = scratch.values.data() + q * n;
        if (!values_of(s, moves[q], v, scratch.shadow.data() + q * n)) continue;
        values[valued] = {v, n};
        which[valued++] = q;
    }
    std::array<std::optional<Targets::Score>, kScoredTogether> scores;
    s.targets.score_each({values.data(), valued}, {scores.data(), valued});
    // Those with free constants whose values only scale with them are
    // redundant.
    std::array<std::span<const double>, kScoredTogether> free_values, shadows;
    std::array<std::size_t, kScoredTogether> free_slot;
    std::size_t free = 0;
    for (std::size_t k = 0; k < valued; ++k) {
        const auto& score = scores[k];
        if (!score) continue;
        const std::size_t q = which[k];
        Slot& slot = slots[q];
        slot.error = score->error;
        slot.residual = score->residual;
        slot.target = score->target;
        slot.verdict = Verdict::Scored;
        if (s.free_of(moves[q]) == 0) continue;
        free_values[free] = values[k];
        shadows[free] = {scratch.shadow.data() + q * n, n};
        free_slot[free++] = q;
    }
    std::array<bool, kScoredTogether> redundant;
    same_up_to_scale_each({free_values.data(), free}, {shadows.data(), free}, {redundant.data(), free});
    for (std::size_t k = 0; k < free; ++k)
        if (redundant[k]) slots[free_slot[k]].verdict = Verdict::Redundant;
}

// Duplicate key of a scored move: its values up to scale and offset, and for
// free constants also its shadow values; raw values for a wrap.
std::uint64_t key_of(State& s, const Move& m, Verdict verdict) {
    Scratch& scratch = s.scratch[0];
    const std::span<double> values(scratch.values.data(), s.n), shadow(scratch.shadow.data(), s.n);
    values_of(s, m, values.data(), shadow.data());
    const bool free = s.free_of(m) > 0;
    if (verdict == Verdict::Redundant) return raw_key(shadow, raw_key(values, 1));
    s.normal.resize(s.n);
    if (!normalise(values, s.normal)) return raw_key(values, 2);
    std::uint64_t key = normalised_key(s.normal, 0);
    if (free && normalise(shadow, s.normal)) key = normalised_key(s.normal, key);
    return key;
}

// Indices of the scored slots in rank order by `rank` (then by index), of
// which at least the first `want` are sorted; all when `want` is 0.
std::vector<std::uint32_t> ranked(const std::vector<Slot>& slots, std::vector<std::uint32_t> ids, Rank rank,
                                  std::size_t want) {
    auto before = [&](std::uint32_t x, std::uint32_t y) {
        const double rx = rank(slots[x]), ry = rank(slots[y]);
        return rx < ry || (rx == ry && x < y);
    };
    if (want > 0 && want < ids.size()) {
        std::nth_element(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(want), ids.end(), before);
        std::sort(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(want), before);
        ids.resize(want);
    } else {
        std::sort(ids.begin(), ids.end(), before);
    }
    return ids;
}

}  // namespace

Scoring score_moves(State& s, const std::vector<Move>& moves, std::vector<Slot>& slots) {
    slots.assign(moves.size(), Slot{});
    const std::size_t block = std::max<std::size_t>(1, kBlockWork / (4 * s.n));
    const double scoring_start = s.elapsed();
    for (std::size_t first = 0; first < moves.size(); first += block) {
        const std::size_t count = std::min(block, moves.size() - first);
        const std::size_t groups = (count + kScoredTogether - 1) / kScoredTogether;
        MapControl control = s.hooks.control;  // its cost is per move; a job scores a group
        control.element_cost_ns *= static_cast<double>(kScoredTogether);
        auto done = parallel_for_workers(
            groups,
            [&](std::size_t w, std::size_t g) {
                const std::size_t begin = first + g * kScoredTogether;
                const std::size_t size = std::min(kScoredTogether, first + count - begin);
                score_group(s, std::span(moves).subspan(begin, size), std::span(slots).subspan(begin, size),
                            s.scratch[w]);
            },
            control);
        if (done == kCancelled || s.should_stop()) return Scoring::Stopped;
        if (s.options.time_limit > 0.0)
            s.reserve_finishing(s.elapsed() - scoring_start, first + count,
                                ids_to_finish(s, kFinishedPerComplexity).size());
        if (s.over_time()) {
            s.budget_spent = true;
            return Scoring::OutOfTime;
        }
    }
    return Scoring::Done;
}

void fitted_key(State& s, std::uint32_t i, std::span<const double> values, MoveKeys& keys) {
    s.normal.resize(s.n);
    if (normalise(values, s.normal)) keys[i] = normalised_key(s.normal, 0, kFittedKeyResolution);
}

std::vector<std::uint32_t> walk(State& s, const std::vector<Slot>& slots, const std::vector<std::uint32_t>& ids,
                                Rank rank, std::size_t count, const std::vector<Move>& moves, MoveKeys& keys,
                                const std::unordered_set<std::uint64_t>& taken) {
    std::vector<std::uint32_t> out;
    for (std::size_t want = std::min(ids.size(), 4 * count + 64);; want = ids.size()) {
        out.clear();
        std::vector<std::uint32_t> order = ranked(slots, ids, rank, want);
        std::unordered_set<std::uint64_t> local;
        for (std::uint32_t i : order) {
            if (out.size() == count || s.poll_stop() || s.over_time()) break;
            auto [it, fresh] = keys.emplace(i, 0);
            if (fresh) it->second = key_of(s, moves[i], slots[i].verdict);
            if (taken.count(it->second) || !local.insert(it->second).second) continue;
            out.push_back(i);
        }
        if (out.size() == count || want == ids.size() || s.over_time()) return out;
    }
}

}  // namespace zyl::regress::stage
