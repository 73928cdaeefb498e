#include "search_all_rows.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "blockwise_fit.hpp"
#include "finish.hpp"
#include "search_state.hpp"
#include "statistics.hpp"

namespace zyl::regress::stage {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A constant the finishing wrote exactly after fitting it.
bool snapped(const Term& t) { return t.kind == Kind::Const && t.fitted && t.has_exact; }

class AllRows {
public:
    AllRows(const Columns& data, std::span<const double> y, Weights w)
        : data_(data), y_(y), w_(w), n_(data.samples), floor_sse_(rounding_floor_sse(y, w)) {}

    double floor_sse() const { return floor_sse_; }

    // The formula refitted on every row, with its statistics; nothing when
    // it fails on some row or the work was cancelled. Out of time, the steps
    // not begun are left out: the formula is then only measured there.
    template <class InTime>
    std::optional<Scored> refit(Formula f, Evaluator& ev, InTime in_time) const {
        if (in_time() && !fit_constants_in_blocks(f, data_, y_, ev, w_, &job_cancelled)) return std::nullopt;
        Constants at = constants_of(f);
        auto sums = fit_sums_in_blocks(f, at.terms, data_, y_, ev, w_, &job_cancelled);
        if (!sums) return std::nullopt;
        std::vector<std::optional<ConstantEstimate>> freed(f.size());
        if (in_time()) {
            const std::vector<std::size_t> lost = judge_exact(f, at, *sums, freed);
            if (!lost.empty()) {
                for (std::size_t i : lost) f[i] = Term::constant(freed[i]->value, true);
                if (!fit_constants_in_blocks(f, data_, y_, ev, w_, &job_cancelled)) return std::nullopt;
                at = constants_of(f);
                sums = fit_sums_in_blocks(f, at.terms, data_, y_, ev, w_, &job_cancelled);
                if (!sums) return std::nullopt;
            }
        }
        return scored(std::move(f), statistics_of(*sums, at.terms, at.free_slots, n_), freed);
    }

private:
    // The fitted constants of a formula, free or written exactly, and which
    // of them are free.
    struct Constants {
        std::vector<std::size_t> terms;
        std::vector<std::size_t> free_slots;  // into terms
    };
    static Constants constants_of(const Formula& f) {
        Constants out;
        for (std::size_t i = 0; i < f.size(); ++i) {
            if (!f[i].free() && !snapped(f[i])) continue;
            if (f[i].free()) out.free_slots.push_back(out.terms.size());
            out.terms.push_back(i);
        }
        return out;
    }

    // For each constant written exactly after fitting: its estimate were it
    // fitted with the free ones, and whether the sse that refit would reach
    // still lies within the profile-likelihood interval of finish.hpp. The
    // refits are taken as one Gauss-Newton step from the fitted point, from
    // the sums of one pass over the rows: the exact values lie within a few
    // standard errors, where the model is linear to far better than the test
    // needs. The terms whose exact value the rows no longer allow.
    std::vector<std::size_t> judge_exact(const Formula& f, const Constants& at, const FitSums& sums,
                                         std::vector<std::optional<ConstantEstimate>>& freed) const {
        std::vector<std::size_t> lost;
        const double base = reduction(sums, at.free_slots, nullptr, nullptr);
        for (std::size_t slot = 0; slot < at.terms.size(); ++slot) {
            const std::size_t i = at.terms[slot];
            if (f[i].free()) continue;
            std::vector<std::size_t> with = at.free_slots;
            with.push_back(slot);
            double step = 0.0, variance = 0.0;
            const double gain = reduction(sums, with, &step, &variance) - base;
            if (!std::isfinite(gain)) continue;
            const std::size_t k = with.size();
            const double sigma2 = n_ > k ? (sums.sse - gain) / static_cast<double>(n_ - k) : 0.0;
            freed[i] = ConstantEstimate{f[i].value + step, n_ > k ? std::sqrt(variance * sigma2) : kNaN};
            if (gain > kSnapChiSquare * std::fmax(sigma2, floor_sse_ / static_cast<double>(n_))) lost.push_back(i);
        }
        return lost;
    }

    // What a Gauss-Newton step over the constants `slots` would take off
    // the sse: g' H^-1 g on their rows and columns of J'WJ and J'Wr. With
    // `step`, the last constant's step and its diagonal of H^-1. NaN when H
    // is singular there.
    static double reduction(const FitSums& s, const std::vector<std::size_t>& slots, double* step,
                            double* variance) {
        const std::size_t k = s.gradient.size(), m = slots.size();
        if (m == 0) return 0.0;
        std::vector<double> h(m * m);
        for (std::size_t r = 0; r < m; ++r)
            for (std::size_t c = 0; c < m; ++c) h[r * m + c] = s.normal[slots[r] * k + slots[c]];
        auto inverse = symmetric_inverse(h, m);
        if (!inverse) return kNaN;
        double gain = 0.0;
        for (std::size_t r = 0; r < m; ++r)
            for (std::size_t c = 0; c < m; ++c)
                gain += s.gradient[slots[r]] * (*inverse)[r * m + c] * s.gradient[slots[c]];
        if (step != nullptr) {
            double d = 0.0;
            for (std::size_t c = 0; c < m; ++c) d -= (*inverse)[(m - 1) * m + c] * s.gradient[slots[c]];
            *step = d;
            *variance = (*inverse)[(m - 1) * m + (m - 1)];
        }
        return gain;
    }

    static std::size_t slot_of(const ConstantStatistics& s, std::size_t term) {
        std::size_t j = 0;
        while (j < s.size() && s.terms[j] != term) ++j;
        return j;
    }

    Scored scored(Formula f, const ConstantStatistics& s,
                  const std::vector<std::optional<ConstantEstimate>>& freed) const {
        Scored out;
        out.sse = s.sse;
        out.rmse = std::sqrt(s.sse / weight_total(w_, n_));
        out.plain_rmse = std::sqrt(s.plain_sse / static_cast<double>(n_));
        out.covariance = s.covariance;
        out.information = s.information;
        for (std::size_t i = 0; i < f.size(); ++i) {
            const Term& t = f[i];
            if (t.kind != Kind::Const) continue;
            if (t.free()) out.estimates.push_back({t.value, s.standard_error(slot_of(s, i))});
            else if (freed[i]) out.estimates.push_back(*freed[i]);
            else out.estimates.push_back({t.value, t.fitted ? kNaN : 0.0});
        }
        out.formula = std::move(f);
        return out;
    }

    const Columns& data_;
    std::span<const double> y_;
    Weights w_;
    std::size_t n_;
    double floor_sse_;
};

}  // namespace

Outcome refit_on_all_rows(Outcome ranked, const Columns& data, std::span<const double> y,
                          std::span<const double> weights, const Options& options, const Hooks& hooks,
                          std::chrono::steady_clock::time_point start) {
    auto in_time = [&] {
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        return options.time_limit <= 0.0 || spent.count() < options.time_limit;
    };
    const std::vector<double> unit_weights = unit_mean(weights);
    const AllRows rows(data, y, unit_weights);
    std::vector<std::optional<Scored>> refitted(ranked.front.size());
    std::vector<Evaluator> evaluators(WorkerPool::instance().worker_slots());
    // The longest formulas, the slowest to refit, are begun first.
    std::vector<std::size_t> order(ranked.front.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = order.size() - 1 - i;
    auto done = parallel_for_workers(
        order.size(),
        [&](std::size_t worker, std::size_t k) {
            const std::size_t i = order[k];
            refitted[i] = rows.refit(ranked.front[i].formula, evaluators[worker], in_time);
        },
        hooks.control);
    if (done == kCancelled || (hooks.stop && hooks.stop())) {
        ranked.stopped = true;
        return ranked;
    }
    std::vector<Scored> candidates;
    for (auto& s : refitted)
        if (s) candidates.push_back(std::move(*s));
    SelectionData selection;
    selection.samples = data.samples;
    selection.variables = data.columns.size();
    selection.noise_variance = neighbour_noise_variance(data, y, unit_weights);
    selection.floor_mse = rows.floor_sse() / static_cast<double>(data.samples);
    score_candidates(candidates, selection);
    Choice choice = choose(std::move(candidates), options.selection);
    Outcome out;
    out.front = std::move(choice.front);
    out.best = choice.best;
    out.evaluations = ranked.evaluations;
    return out;
}

}  // namespace zyl::regress::stage
