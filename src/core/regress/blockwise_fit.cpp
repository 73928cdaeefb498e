#include "blockwise_fit.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "constant_fit.hpp"

namespace zyl::regress {
namespace {

constexpr unsigned kMaxIterations = 10;
constexpr double kInitialDamping = 1e-3;
constexpr double kMaxDamping = 1e12;
// The steps of the fit's forward differences and of the statistics' central
// ones, as in constant_fit.cpp and statistics.cpp.
constexpr double kFitStep = 1e-7;
constexpr double kFitStepFloor = 1e-3;
constexpr double kStatisticsStep = 1e-6;
constexpr double kStatisticsStepFloor = 1e-6;
// An accepted step that improves the error by less than this fraction
// ends the fit, as in constant_fit.cpp; or by less than this share of one
// row's mean part of it: a difference no test of the fit can see, which on
// millions of rows would otherwise take many more passes to reach rounding.
constexpr double kConverged = 1e-14;
constexpr double kConvergedPerRow = 1e-2;

std::vector<std::size_t> free_terms(const Formula& f) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i].free()) out.push_back(i);
    return out;
}

// Walks the rows in blocks: a view of each block's columns, or of a copy
// of them when the rows are those of a row-major table.
class Blocks {
public:
    explicit Blocks(const Columns& data) : data_(data), pointers_(data.columns.size()) {
        if (data.stride != 1) copied_.resize(data.columns.size() * kRowBlock);
    }
    std::size_t count() const { return (data_.samples + kRowBlock - 1) / kRowBlock; }
    std::size_t begin(std::size_t b) const { return b * kRowBlock; }
    Columns view(std::size_t b) {
        const std::size_t first = begin(b), last = std::min(first + kRowBlock, data_.samples);
        for (std::size_t j = 0; j < pointers_.size(); ++j) {
            if (copied_.empty()) {
                pointers_[j] = data_.columns[j] + first;
                continue;
            }
            double* column = &copied_[j * kRowBlock];
            for (std::size_t i = first; i < last; ++i) column[i - first] = data_.at(j, i);
            pointers_[j] = column;
        }
        return {pointers_, last - first};
    }

private:
    const Columns& data_;
    std::vector<const double*> pointers_;
    std::vector<double> copied_;  // kRowBlock per column, for a row-major table
};

using Sums = FitSums;

enum class Differences { None, Forward, Central };

// Derivatives that cannot be formed on some block are zero everywhere
// under forward differences (the fit then takes no step along them), and
// fail the whole point under central ones (as constant_statistics).
std::optional<Sums> sums_at(const Formula& f, const std::vector<std::size_t>& slots, Differences differences,
                            const Columns& data, std::span<const double> y, Evaluator& ev, Weights w,
                            bool (*cancelled)()) {
    const std::size_t k = differences == Differences::None ? 0 : slots.size();
    Sums s;
    s.normal.assign(k * k, 0.0);
    s.gradient.assign(k, 0.0);
    std::vector<double> steps(k);
    for (std::size_t j = 0; j < k; ++j) {
        const double c = f[slots[j]].value;
        steps[j] = differences == Differences::Forward ? kFitStep * std::fmax(std::fabs(c), kFitStepFloor)
                                                       : kStatisticsStep * std::fmax(std::fabs(c), kStatisticsStepFloor);
    }
    std::vector<double> base(kRowBlock), up(kRowBlock), jac(k * kRowBlock);
    std::vector<bool> failed(k, false);
    Formula g = f;
    for (std::size_t j = 0; j < k; ++j) g[slots[j]] = Term::constant(f[slots[j]].value, true);
    Blocks blocks(data);
    for (std::size_t b = 0; b < blocks.count(); ++b) {
        if (cancelled != nullptr && cancelled()) return std::nullopt;
        const Columns view = blocks.view(b);
        const std::size_t first = blocks.begin(b), m = view.samples;
        if (!ev.run(f, view)) return std::nullopt;
        std::copy(ev.values().begin(), ev.values().end(), base.begin());
        for (std::size_t i = 0; i < m; ++i) {
            const double r = base[i] - y[first + i];
            s.sse += weight(w, first + i) * r * r;
            s.plain_sse += r * r;
        }
        for (std::size_t j = 0; j < k; ++j) {
            const double c = f[slots[j]].value, h = steps[j];
            double* col = &jac[j * kRowBlock];
            g[slots[j]].value = c + h;
            const bool moved = ev.run(g, view);
            if (differences == Differences::Forward) {
                if (!moved) failed[j] = true;
                for (std::size_t i = 0; i < m; ++i) col[i] = moved ? (ev.values()[i] - base[i]) / h : 0.0;
            } else {
                if (!moved) return std::nullopt;
                std::copy(ev.values().begin(), ev.values().end(), up.begin());
                g[slots[j]].value = c - h;
                if (!ev.run(g, view)) return std::nullopt;
                for (std::size_t i = 0; i < m; ++i) col[i] = (up[i] - ev.values()[i]) / (2.0 * h);
            }
            g[slots[j]].value = c;
        }
        for (std::size_t r = 0; r < k; ++r) {
            const double* jr = &jac[r * kRowBlock];
            double gsum = 0.0;
            for (std::size_t i = 0; i < m; ++i) gsum += weight(w, first + i) * jr[i] * (base[i] - y[first + i]);
            s.gradient[r] += gsum;
            for (std::size_t c = 0; c <= r; ++c) {
                const double* jc = &jac[c * kRowBlock];
                double sum = 0.0;
                for (std::size_t i = 0; i < m; ++i) sum += weight(w, first + i) * jr[i] * jc[i];
                s.normal[r * k + c] += sum;
            }
        }
    }
    if (!std::isfinite(s.sse)) return std::nullopt;
    for (std::size_t r = 0; r < k; ++r)
        for (std::size_t c = 0; c < r; ++c) s.normal[c * k + r] = s.normal[r * k + c];
    for (std::size_t j = 0; j < k; ++j) {
        if (!failed[j]) continue;
        s.gradient[j] = 0.0;
        for (std::size_t c = 0; c < k; ++c) s.normal[j * k + c] = s.normal[c * k + j] = 0.0;
    }
    return s;
}

}  // namespace

std::optional<double> fit_constants_in_blocks(Formula& f, const Columns& data, std::span<const double> y,
                                              Evaluator& evaluator, Weights w, bool (*cancelled)()) {
    const std::vector<std::size_t> slots = free_terms(f);
    const std::size_t k = slots.size();
    auto current = sums_at(f, slots, Differences::Forward, data, y, evaluator, w, cancelled);
    if (!current) return std::nullopt;
    std::vector<double> step;
    double damping = kInitialDamping;
    for (unsigned it = 0; it < kMaxIterations && k > 0 && current->sse > 0.0; ++it) {
        bool accepted = false;
        while (!accepted && damping < kMaxDamping) {
            if (!solve_damped(current->normal, current->gradient, damping, k, step)) {
                damping *= 10.0;
                continue;
            }
            Formula trial = f;
            for (std::size_t j = 0; j < k; ++j) trial[slots[j]].value = f[slots[j]].value + step[j];
            auto next = sums_at(trial, slots, Differences::None, data, y, evaluator, w, cancelled);
            if (!next && cancelled != nullptr && cancelled()) return std::nullopt;
            if (next && next->sse < current->sse) {
                const double resolution =
                    std::fmax(kConverged, kConvergedPerRow / static_cast<double>(data.samples));
                const bool converged = current->sse - next->sse <= resolution * current->sse;
                f = std::move(trial);
                damping = std::fmax(damping / 10.0, 1e-12);
                accepted = true;
                if (converged) return next->sse;
                current = sums_at(f, slots, Differences::Forward, data, y, evaluator, w, cancelled);
                if (!current) return std::nullopt;
            } else {
                damping *= 10.0;
            }
        }
        if (!accepted) break;
    }
    return current->sse;
}

std::optional<FitSums> fit_sums_in_blocks(const Formula& f, const std::vector<std::size_t>& terms,
                                          const Columns& data, std::span<const double> y, Evaluator& evaluator,
                                          Weights w, bool (*cancelled)()) {
    return sums_at(f, terms, Differences::Central, data, y, evaluator, w, cancelled);
}

ConstantStatistics statistics_of(const FitSums& sums, const std::vector<std::size_t>& terms,
                                 const std::vector<std::size_t>& slots, std::size_t n) {
    ConstantStatistics s;
    const std::size_t all = terms.size(), k = slots.size();
    for (std::size_t j : slots) s.terms.push_back(terms[j]);
    s.sse = sums.sse;
    s.plain_sse = sums.plain_sse;
    s.information.resize(k * k);
    for (std::size_t r = 0; r < k; ++r)
        for (std::size_t c = 0; c < k; ++c) s.information[r * k + c] = sums.normal[slots[r] * all + slots[c]];
    s.covariance = covariance_of(s.information, k, s.sse, n);
    return s;
}

std::optional<ConstantStatistics> constant_statistics_in_blocks(const Formula& f, const Columns& data,
                                                                std::span<const double> y, Evaluator& evaluator,
                                                                Weights w, bool (*cancelled)()) {
    const std::vector<std::size_t> terms = free_terms(f);
    auto sums = sums_at(f, terms, Differences::Central, data, y, evaluator, w, cancelled);
    if (!sums) return std::nullopt;
    std::vector<std::size_t> slots(terms.size());
    for (std::size_t j = 0; j < slots.size(); ++j) slots[j] = j;
    return statistics_of(*sums, terms, slots, data.samples);
}

}  // namespace zyl::regress
