#include "search_state.hpp"

#include <cmath>

#include "finish.hpp"
#include "pool/worker_pool.hpp"

namespace zyl::regress::stage {
namespace {

constexpr int kPollMillis = 20;
// Finishing one structure takes about as long as scoring this many
// candidates on one thread; a time-limited search leaves that much time,
// for every round of structures the workers finish, before its limit.
constexpr double kFinishInCandidates = 45.0;
// And never less than this share of the limit: on few rows, scoring costs
// little per candidate and that estimate alone leaves finishing too little.
constexpr double kLeastFinishingShare = 0.15;

}  // namespace

std::vector<double> unit_mean(std::span<const double> w) {
    std::vector<double> out(w.begin(), w.end());
    if (out.empty()) return out;
    const double mean = weight_total(w, w.size()) / static_cast<double>(w.size());
    for (double& v : out) v /= mean;
    return out;
}

State::State(const Columns& data_in, std::span<const double> y_in, std::span<const double> weights,
             const Options& options_in, const Hooks& hooks_in)
    : data(data_in), y(y_in), n(data_in.samples), unit_weights(unit_mean(weights)), w(unit_weights),
      options(options_in), hooks(hooks_in), floor_sse(rounding_floor_sse(y_in, w)),
      exact_error(n > 0 ? std::sqrt(floor_sse / static_cast<double>(n)) : 0.0),
      start(std::chrono::steady_clock::now()), targets(data_in, y_in, w),
      scratch(WorkerPool::instance().worker_slots()) {
    unary = {Fn::Inv, Fn::Exp, Fn::Log, Fn::Sqrt, Fn::Square};
    if (options.use_trig) {
        unary.push_back(Fn::Sin);
        unary.push_back(Fn::Cos);
    }
    binary = {Fn::Add, Fn::Sub, Fn::Mul, Fn::Div};
    if (options.use_zyl) binary.push_back(Fn::Zyl);
    for (Scratch& s : scratch) {
        s.values.resize(kScoredTogether * n);
        s.shadow.resize(kScoredTogether * n);
    }
}

void State::add_entry(Entry e) {
    if (by_complexity.size() <= e.complexity) by_complexity.resize(e.complexity + 1);
    by_complexity[e.complexity].push_back(static_cast<std::uint32_t>(pool.size()));
    pool.push_back(std::move(e));
}

double State::elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool State::over_time() const {
    return options.time_limit > 0.0 && elapsed() + finishing_reserve_ > options.time_limit;
}

bool State::finishing_over_time() const { return options.time_limit > 0.0 && elapsed() > options.time_limit; }

void State::reserve_finishing(double scoring_seconds, std::size_t candidates, std::size_t structures) {
    if (options.time_limit <= 0.0 || candidates == 0) return;
    const double slots = static_cast<double>(scratch.size());
    const double candidate_seconds = scoring_seconds * slots / static_cast<double>(candidates);
    const double rounds = std::ceil(static_cast<double>(structures) / slots);
    finishing_reserve_ =
        std::fmax(rounds * kFinishInCandidates * candidate_seconds, kLeastFinishingShare * options.time_limit);
}

bool State::should_stop() {
    if (!stop_seen_) stop_seen_ = hooks.stop && hooks.stop();
    return stop_seen_;
}

bool State::poll_stop() {
    if (stop_seen_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_poll_ < std::chrono::milliseconds(kPollMillis)) return false;
    last_poll_ = now;
    return should_stop();
}

}  // namespace zyl::regress::stage
