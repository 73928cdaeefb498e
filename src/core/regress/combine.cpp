#include "combine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "linear_fit.hpp"

namespace zyl::regress {
namespace {

// Pairs extended by a third column.
constexpr std::size_t kTripleSeeds = 8;

// Fits every candidate in parallel and keeps the `keep` best; false when
// cancelled.
bool keep_best(const std::vector<std::vector<std::uint32_t>>& candidates,
               std::span<const std::span<const double>> columns, std::span<const double> y, Weights w,
               std::size_t keep, const MapControl& control, std::vector<Combination>& out) {
    std::vector<Combination> fitted(candidates.size());
    auto done = parallel_for(
        candidates.size(),
        [&](std::size_t i) {
            std::vector<std::span<const double>> cols;
            for (std::uint32_t p : candidates[i]) cols.push_back(columns[p]);
            fitted[i].parts = candidates[i];
            fitted[i].sse = std::numeric_limits<double>::infinity();
            if (auto fit = fit_linear(cols, y, w)) {
                fitted[i].weights = fit->coefficients;
                fitted[i].intercept = fit->intercept;
                fitted[i].sse = fit->sse;
            }
        },
        control);
    if (done == kCancelled) return false;
    std::vector<std::size_t> order(fitted.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return fitted[a].sse < fitted[b].sse; });
    for (std::size_t i : order) {
        if (out.size() == keep || !std::isfinite(fitted[i].sse)) break;
        out.push_back(std::move(fitted[i]));
    }
    return true;
}

}  // namespace

SumsFound best_sums(std::span<const std::span<const double>> columns, std::span<const double> y, Weights w,
                    std::size_t pairs, std::size_t triples, const MapControl& control) {
    SumsFound found;
    std::vector<std::vector<std::uint32_t>> candidates;
    for (std::uint32_t a = 0; a < columns.size(); ++a)
        for (std::uint32_t b = a + 1; b < columns.size(); ++b) candidates.push_back({a, b});
    found.fits += candidates.size();
    std::vector<Combination> best_pairs;
    if (!keep_best(candidates, columns, y, w, std::max(pairs, kTripleSeeds), control, best_pairs)) {
        found.stopped = true;
        return found;
    }
    candidates.clear();
    for (std::size_t s = 0; s < best_pairs.size() && s < kTripleSeeds; ++s)
        for (std::uint32_t c = 0; c < columns.size(); ++c) {
            std::vector<std::uint32_t> parts = best_pairs[s].parts;
            if (std::find(parts.begin(), parts.end(), c) != parts.end()) continue;
            parts.push_back(c);
            std::sort(parts.begin(), parts.end());
            if (std::find(candidates.begin(), candidates.end(), parts) == candidates.end())
                candidates.push_back(std::move(parts));
        }
    found.fits += candidates.size();
    std::vector<Combination> best_triples;
    if (!keep_best(candidates, columns, y, w, triples, control, best_triples)) {
        found.stopped = true;
        return found;
    }
    if (best_pairs.size() > pairs) best_pairs.resize(pairs);
    found.sums = std::move(best_pairs);
    for (Combination& t : best_triples) found.sums.push_back(std::move(t));
    return found;
}

namespace {

// x^p as terms; p in {1, 2, 3, 4, -1, -2, 1/2, -1/2}.
void append_power(Formula& f, std::uint32_t var, int twice_p) {
    f.push_back(Term::variable(var));
    switch (std::abs(twice_p)) {
        case 1: f.push_back(Term::operation(Fn::Sqrt)); break;
        case 4: f.push_back(Term::operation(Fn::Square)); break;
        case 8:
            f.push_back(Term::operation(Fn::Square));
            f.push_back(Term::operation(Fn::Square));
            break;
        case 6:
            f.push_back(Term::variable(var));
            f.push_back(Term::operation(Fn::Square));
            f.push_back(Term::operation(Fn::Mul));
            break;
        default: break;
    }
    if (twice_p < 0) f.push_back(Term::operation(Fn::Inv));
}

}  // namespace

std::vector<Formula> monomials(std::size_t variables, std::size_t limit) {
    std::vector<Formula> out;
    auto add = [&](Formula f) {
        if (out.size() < limit) out.push_back(std::move(f));
    };
    for (std::uint32_t v = 0; v < variables; ++v)
        for (int twice_p : {2, 4, -2, -4, 1, -1, 6, 8}) {
            Formula f;
            append_power(f, v, twice_p);
            add(std::move(f));
        }
    for (const auto& [p, q] : std::vector<std::pair<int, int>>{{2, 2}, {2, -2}, {-2, 2}, {4, 2}, {2, 4}, {4, -2},
                                                                {2, -4}, {-2, -2}, {-4, 2}, {-2, 4}, {4, 4}})
        for (std::uint32_t a = 0; a < variables; ++a)
            for (std::uint32_t b = a + 1; b < variables; ++b) {
                Formula f;
                append_power(f, a, p);
                append_power(f, b, q);
                f.push_back(Term::operation(Fn::Mul));
                add(std::move(f));
            }
    return out;
}

std::vector<Formula> triple_monomials(std::size_t variables, std::size_t max_variables) {
    std::vector<Formula> out;
    if (variables > max_variables) return out;
    const auto d = static_cast<std::uint32_t>(variables);
    // x^p * z^q * u^r, the powers twice over.
    auto add = [&](std::uint32_t x, int p, std::uint32_t z, int q, std::uint32_t u, int r) {
        Formula f;
        append_power(f, x, p);
        append_power(f, z, q);
        f.push_back(Term::operation(Fn::Mul));
        append_power(f, u, r);
        f.push_back(Term::operation(Fn::Mul));
        out.push_back(std::move(f));
    };
    for (std::uint32_t a = 0; a < d; ++a)
        for (std::uint32_t b = a + 1; b < d; ++b)
            for (std::uint32_t c = b + 1; c < d; ++c) {
                add(a, 2, b, 2, c, 2);
                // Each of the three as the odd one out.
                const std::uint32_t triple[3][3] = {{a, b, c}, {a, c, b}, {b, c, a}};
                for (const auto& [x, z, odd] : triple) {
                    add(x, 2, z, 2, odd, -2);
                    add(x, 2, z, 2, odd, -4);
                    add(x, -2, z, -2, odd, 2);
                }
            }
    return out;
}

double spread(std::span<const double> values) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (double x : values) {
        lo = std::fmin(lo, x);
        hi = std::fmax(hi, x);
    }
    return hi - lo;
}

bool has_negligible_part(const std::vector<double>& weights, const std::vector<double>& spreads, double other) {
    constexpr double kNegligibleShare = 1e-9;
    double largest = std::fabs(other);
    for (std::size_t j = 0; j < weights.size(); ++j) largest = std::fmax(largest, std::fabs(weights[j] * spreads[j]));
    for (std::size_t j = 0; j < weights.size(); ++j)
        if (!(std::fabs(weights[j] * spreads[j]) > kNegligibleShare * largest)) return true;
    return false;
}

Formula sum_formula(const std::vector<const Formula*>& parts, const Combination& c,
                    const std::vector<double>& spreads, bool with_intercept) {
    const std::vector<double>& weights = c.weights;
    std::size_t lead = 0;
    for (std::size_t j = 1; j < parts.size(); ++j)
        if (std::fabs(weights[j] * spreads[j]) > std::fabs(weights[lead] * spreads[lead])) lead = j;
    Formula f = *parts[lead];
    for (std::size_t j = 0; j < parts.size(); ++j) {
        if (j == lead) continue;
        f.push_back(Term::constant(weights[j] / weights[lead], true));
        f.insert(f.end(), parts[j]->begin(), parts[j]->end());
        f.push_back(Term::operation(Fn::Mul));
        f.push_back(Term::operation(Fn::Add));
    }
    if (with_intercept) {
        f.push_back(Term::constant(c.intercept / weights[lead], true));
        f.push_back(Term::operation(Fn::Add));
    }
    return f;
}

}  // namespace zyl::regress
