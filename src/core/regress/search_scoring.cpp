#include "search_scoring.hpp"

#include <algorithm>

#include "scaling.hpp"
#include "search_keys.hpp"
#include "search_front.hpp"

namespace zyl::regress::stage {
namespace {

// Values (and shadow values when the move has free constants) into the
// scratch; false when some sample fails.
bool values_of(const State& s, const Move& m, Scratch& scratch) {
    const Entry& a = s.pool[m.a];
    const Entry* b = m.b == kNone ? nullptr : &s.pool[m.b];
    if (!apply(m.fn, a.values.data(), b ? b->values.data() : nullptr, scratch.values.data(), s.n)) return false;
    if (a.free + (b ? b->free : 0) == 0) return true;
    return apply(m.fn, a.shadow_values().data(), b ? b->shadow_values().data() : nullptr, scratch.shadow.data(),
                 s.n);
}

void score(const State& s, const Move& m, Scratch& scratch, Slot& slot) {
    slot = Slot{};
    if (!values_of(s, m, scratch)) return;
    auto score = s.targets.score(scratch.values);
    if (!score) return;
    slot.error = score->error;
    slot.residual = score->residual;
    slot.target = score->target;
    const bool free = s.free_of(m) > 0;
    slot.verdict = free && same_up_to_scale(scratch.values, scratch.shadow) ? Verdict::Redundant : Verdict::Scored;
}

// Duplicate key of a scored move: its values up to scale and offset, and for
// free constants also its shadow values; raw values for a wrap.
std::uint64_t key_of(State& s, const Move& m, Verdict verdict) {
    Scratch& scratch = s.scratch[0];
    values_of(s, m, scratch);
    const bool free = s.free_of(m) > 0;
    if (verdict == Verdict::Redundant) return raw_key(scratch.shadow, raw_key(scratch.values, 1));
    s.normal.resize(s.n);
    if (!normalise(scratch.values, s.normal)) return raw_key(scratch.values, 2);
    std::uint64_t key = normalised_key(s.normal, 0);
    if (free && normalise(scratch.shadow, s.normal)) key = normalised_key(s.normal, key);
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
        auto done = parallel_for_workers(
            count, [&](std::size_t w, std::size_t i) { score(s, moves[first + i], s.scratch[w], slots[first + i]); },
            s.hooks.control);
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
