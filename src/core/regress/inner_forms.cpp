#include "inner_forms.hpp"

#include <algorithm>
#include <cmath>

#include "linear_fit.hpp"

namespace zyl::regress {
namespace {

constexpr double kPi = 3.141592653589793;
// The frequency scan reads at most this many samples, evenly spaced, so
// that it costs the same for any row count.
constexpr std::size_t kScanSamples = 2048;
// Scan steps per cycle of the lowest frequency: a peak of the periodogram
// is about one such cycle wide, so it is met at least four times.
constexpr double kStepsPerCycle = 4.0;
// Highest frequency scanned, in cycles over the range of g.
constexpr double kMaxCycles = 25.0;
constexpr std::size_t kFrequencies = 2;

Term C(double v) { return Term::constant(v, true); }
Term O(Fn f) { return Term::operation(f); }

void append(Formula& f, const Formula& g) { f.insert(f.end(), g.begin(), g.end()); }

// c1*g + c2, or c1*g without the offset.
Formula affine(const Formula& g, double c1, double c2, bool offset) {
    Formula f{C(c1)};
    append(f, g);
    f.push_back(O(Fn::Mul));
    if (offset) {
        f.push_back(C(c2));
        f.push_back(O(Fn::Add));
    }
    return f;
}

struct Range {
    double lo, hi;
};

std::optional<Range> range_of(std::span<const double> v) {
    double lo = INFINITY, hi = -INFINITY;
    for (double x : v) {
        if (!std::isfinite(x)) return std::nullopt;
        lo = std::fmin(lo, x);
        hi = std::fmax(hi, x);
    }
    if (!(hi - lo > 1e-12 * std::fmax(std::fabs(lo), std::fabs(hi)))) return std::nullopt;
    return Range{lo, hi};
}

// Where y departs most from its median: the centre of a peak or a dip.
double peak_position(std::span<const double> g, std::span<const double> y) {
    std::vector<double> sorted(y.begin(), y.end());
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::size_t best = 0;
    for (std::size_t i = 1; i < y.size(); ++i)
        if (std::fabs(y[i] - median) > std::fabs(y[best] - median)) best = i;
    return g[best];
}

}  // namespace

std::vector<Frequency> dominant_frequencies(std::span<const double> g, std::span<const double> y, Weights w,
                                            std::size_t count) {
    std::vector<Frequency> out;
    auto range = range_of(g);
    if (!range || y.size() != g.size()) return out;
    const std::size_t n = g.size();
    const std::size_t stride = (n + kScanSamples - 1) / kScanSamples;
    std::vector<double> gs, ys, ws;
    for (std::size_t i = 0; i < n; i += stride) {
        gs.push_back(g[i]);
        ys.push_back(y[i]);
        if (!w.empty()) ws.push_back(w[i]);
    }
    const double span = range->hi - range->lo;
    const double step = 2.0 * kPi / span / kStepsPerCycle;
    const auto steps = static_cast<std::size_t>(kMaxCycles * kStepsPerCycle);
    std::vector<double> s(gs.size()), c(gs.size()), sse(steps + 1, INFINITY), phase(steps + 1, 0.0);
    for (std::size_t k = 1; k <= steps; ++k) {
        const double omega = step * static_cast<double>(k);
        for (std::size_t i = 0; i < gs.size(); ++i) {
            s[i] = std::sin(omega * gs[i]);
            c[i] = std::cos(omega * gs[i]);
        }
        const std::span<const double> cols[] = {s, c};
        if (auto fit = fit_linear(cols, ys, ws)) {
            sse[k] = fit->sse;
            // a*sin + b*cos = R*sin(w*g + atan2(b, a)).
            phase[k] = std::atan2(fit->coefficients[1], fit->coefficients[0]);
        }
    }
    std::vector<std::size_t> minima;
    for (std::size_t k = 1; k <= steps; ++k) {
        const bool left = k == 1 || sse[k] < sse[k - 1];
        const bool right = k == steps || sse[k] <= sse[k + 1];
        if (std::isfinite(sse[k]) && left && right) minima.push_back(k);
    }
    std::stable_sort(minima.begin(), minima.end(), [&](std::size_t a, std::size_t b) { return sse[a] < sse[b]; });
    for (std::size_t k : minima) {
        if (out.size() == count) break;
        out.push_back({step * static_cast<double>(k), phase[k]});
    }
    return out;
}

std::vector<Formula> inner_form_starts(const Formula& g, std::span<const double> values, std::span<const double> y,
                                       Weights w, bool use_trig) {
    std::vector<Formula> out;
    auto range = range_of(values);
    if (!range) return out;
    const double span = range->hi - range->lo;

    if (use_trig) {
        for (const Frequency& f : dominant_frequencies(values, y, w, kFrequencies)) {
            for (Fn wave : {Fn::Sin, Fn::Cos}) {
                // cos(x) = sin(x + pi/2): the cosine starts a quarter turn back.
                const double phase = wave == Fn::Sin ? f.phase : f.phase - 0.5 * kPi;
                Formula shifted = affine(g, f.omega, phase, true);
                shifted.push_back(O(wave));
                out.push_back(shifted);
                Formula plain = affine(g, f.omega, 0.0, false);
                plain.push_back(O(wave));
                out.push_back(std::move(plain));
            }
            for (double rate : {-1.0 / span, -4.0 / span}) {
                Formula damped = affine(g, rate, 0.0, false);
                damped.push_back(O(Fn::Exp));
                append(damped, affine(g, f.omega, f.phase, true));
                damped.push_back(O(Fn::Sin));
                damped.push_back(O(Fn::Mul));
                out.push_back(std::move(damped));
            }
        }
    }

    // Steps: rising and falling, with the midpoint at a quarter, half and
    // three quarters of the range, and at g = 0 without a midpoint constant
    // (one fitted near zero could not be told from zero, and its formula
    // never chosen).
    auto step = [&](double rate, double mid, bool offset) {
        Formula f{Term::exact_constant({1, 1, Basis::One}, false)};
        append(f, affine(g, rate, -rate * mid, offset));
        f.push_back(O(Fn::Exp));
        f.push_back(O(Fn::Add));
        f.push_back(O(Fn::Inv));
        out.push_back(std::move(f));
    };
    for (double rate : {-4.0 / span, 4.0 / span, -12.0 / span, 12.0 / span}) {
        for (double at : {0.25, 0.5, 0.75}) step(rate, range->lo + at * span, true);
        if (range->lo < 0.0 && range->hi > 0.0) step(rate, 0.0, false);
    }

    // Peaks centred where y departs most from its median, and mid-range.
    for (double centre : {peak_position(values, y), range->lo + 0.5 * span})
        for (double width : {span / 8.0, span / 3.0}) {
            Formula peak = g;
            peak.push_back(C(-centre));
            peak.push_back(O(Fn::Add));
            peak.push_back(O(Fn::Square));
            peak.push_back(C(-0.5 / (width * width)));
            peak.push_back(O(Fn::Mul));
            peak.push_back(O(Fn::Exp));
            out.push_back(std::move(peak));
        }

    for (double rate : {-0.5 / span, -2.0 / span, -6.0 / span, 0.5 / span, 2.0 / span}) {
        Formula e = affine(g, rate, 0.0, false);
        e.push_back(O(Fn::Exp));
        out.push_back(std::move(e));
    }

    if (range->lo > 0.0)
        for (double power : {-1.5, -0.5, 0.5, 1.5}) {
            Formula p{C(power)};
            append(p, g);
            p.push_back(O(Fn::Log));
            p.push_back(O(Fn::Mul));
            p.push_back(O(Fn::Exp));
            out.push_back(std::move(p));
        }
    return out;
}

std::vector<Formula> saturation_starts(const Formula& g, std::span<const double> values, const Formula& amplitude) {
    std::vector<Formula> out;
    auto range = range_of(values);
    if (!range) return out;
    const double span = range->hi - range->lo;
    for (double rate : {-1.0 / span, -4.0 / span}) {
        Formula f = affine(g, rate, 0.0, false);
        f.push_back(O(Fn::Exp));
        f.push_back(Term::exact_constant({-1, 1, Basis::One}, false));
        f.push_back(O(Fn::Add));
        append(f, amplitude);
        f.push_back(O(Fn::Mul));
        out.push_back(std::move(f));
    }
    return out;
}

}  // namespace zyl::regress
