#include "scoring.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "rule_lanes.hpp"
#include "sum_lanes.hpp"
#include "scaling.hpp"

namespace zyl::regress {
namespace {

// Below this fraction of the target's variance the closed-form residual
// sum loses its digits to cancellation; it is then summed directly.
constexpr double kDirectBelow = 1e-6;
constexpr double kFlatRelative = 1e-12;
constexpr std::size_t kMaxTargets = 32;

// Dividing by values that come near zero would make a few poles that
// anything with the same divisor explains.
bool pole_free(std::span<const double> v) {
    double least = std::numeric_limits<double>::infinity(), most = 0.0;
    for (double x : v) {
        least = std::fmin(least, std::fabs(x));
        most = std::fmax(most, std::fabs(x));
    }
    return least > 0.05 * most;
}

double mean(std::span<const double> v) {
    double s = 0.0;
    for (double x : v) s += x;
    return s / static_cast<double>(v.size());
}

bool centre(std::vector<double>& t, double& ss) {
    const double m = mean(t);
    ss = 0.0;
    for (double& v : t) {
        v -= m;
        ss += v * v;
    }
    return std::isfinite(ss) && ss > kFlatRelative * kFlatRelative * m * m * static_cast<double>(t.size()) &&
           ss > 0.0;
}

}  // namespace

Targets::Targets(const Columns& data, std::span<const double> y, Weights w) : y_(y), w_(w) {
    const std::size_t n = y.size();
    if (n == 0) return;
    total_weight_ = weight_total(w, n);
    double sy = 0.0;
    for (std::size_t i = 0; i < n; ++i) sy += weight(w, i) * y[i];
    mean_y_ = sy / total_weight_;
    centred_y_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        centred_y_[i] = y[i] - mean_y_;
        syy_ += weight(w, i) * centred_y_[i] * centred_y_[i];
    }
    auto add = [&](std::vector<double> t) {
        double ss = 0.0;
        if (residual_ss_.size() == kMaxTargets || !centre(t, ss)) return;
        residual_values_.push_back(std::move(t));
        residual_ss_.push_back(ss);
    };
    const bool y_pole_free = pole_free(y);
    if (y_pole_free) {
        std::vector<double> inverse(n);
        for (std::size_t i = 0; i < n; ++i) inverse[i] = 1.0 / y[i];
        add(std::move(inverse));
    }
    for (const double* x : data.columns) {
        std::span<const double> col{x, n};
        if (pole_free(col)) {
            std::vector<double> ratio(n), product(n);
            for (std::size_t i = 0; i < n; ++i) {
                ratio[i] = y[i] / col[i];
                product[i] = y[i] * col[i];
            }
            add(std::move(ratio));
            add(std::move(product));
        }
        if (y_pole_free) {
            std::vector<double> ratio(n), product(n);
            for (std::size_t i = 0; i < n; ++i) {
                ratio[i] = col[i] / y[i];
                product[i] = 1.0 / (col[i] * y[i]);
            }
            add(std::move(ratio));
            if (pole_free(col)) add(std::move(product));
        }
        if (auto line = fit_scaling(col, y)) {
            std::vector<double> rest(n);
            for (std::size_t i = 0; i < n; ++i) rest[i] = y[i] - (line->scale * col[i] + line->offset);
            add(std::move(rest));
        }
    }
    // Ranking by residual targets needs no more than a fixed, evenly spread
    // subset of the samples.
    const std::size_t m = std::min(n, kSubsetSamples);
    for (std::size_t k = 0; k < m; ++k) subset_.push_back(k * n / m);
    for (std::size_t t = 0; t < residual_values_.size(); ++t) {
        std::vector<double> picked(m);
        for (std::size_t k = 0; k < m; ++k) picked[k] = residual_values_[t][subset_[k]];
        double ss = 0.0;
        if (!centre(picked, ss)) ss = 0.0;
        subset_values_.push_back(std::move(picked));
        subset_ss_.push_back(ss);
    }
    subset_stride_ = (subset_values_.size() + 3) / 4 * 4;
    subset_by_sample_.assign(m * subset_stride_, 0.0);
    for (std::size_t t = 0; t < subset_values_.size(); ++t)
        for (std::size_t k = 0; k < m; ++k) subset_by_sample_[k * subset_stride_ + t] = subset_values_[t][k];
}

std::optional<Targets::Score> Targets::score(std::span<const double> v) const {
    if (v.empty() || v.size() != centred_y_.size()) return std::nullopt;
    Sums s;
    sums_of(v, s);
    return scored(v, s);
}

void Targets::score_each(std::span<const std::span<const double>> vs, std::span<std::optional<Score>> out) const {
    std::size_t k = 0;
    // Each sum is a chain of dependent additions; four candidates in the
    // lanes of one register make four chains for the price of one, and two
    // registers keep two such chains in flight.
    const auto full = [&](std::span<const double> v) { return !v.empty() && v.size() == centred_y_.size(); };
    auto side_by_side = [&]<std::size_t Q>() {
        constexpr std::size_t kLanes = 4 * Q;
        for (; k + kLanes <= vs.size() && std::all_of(vs.begin() + k, vs.begin() + k + kLanes, full); k += kLanes) {
            Sums s[kLanes];
            sums_side_by_side<Q>(&vs[k], s);
            for (std::size_t l = 0; l < kLanes; ++l) out[k + l] = scored(vs[k + l], s[l]);
        }
    };
    if (w_.empty() && lanes::has_avx2()) {
        side_by_side.template operator()<2>();
        side_by_side.template operator()<1>();
    }
    for (; k < vs.size(); ++k) out[k] = score(vs[k]);
}

void Targets::sums_of(std::span<const double> v, Sums& s) const {
    const std::size_t n = v.size();
    // The candidate on the subset, centred. Its chains of additions do not
    // depend on the full sums below, so the processor overlaps them.
    const std::size_t m = subset_.size();
    double mw = 0.0;
    for (std::size_t k = 0; k < m; ++k) mw += (s.w[k] = v[subset_[k]]);
    mw /= static_cast<double>(m);
    s.sww = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        s.w[k] -= mw;
        s.sww += s.w[k] * s.w[k];
    }
    s.mf = s.sff = s.sfy = 0.0;
    if (w_.empty()) {
        s.mf = mean(v);
        for (std::size_t i = 0; i < n; ++i) {
            const double d = v[i] - s.mf;
            s.sff += d * d;
            s.sfy += d * centred_y_[i];
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) s.mf += w_[i] * v[i];
        s.mf /= total_weight_;
        for (std::size_t i = 0; i < n; ++i) {
            const double wd = w_[i] * (v[i] - s.mf);
            s.sff += wd * (v[i] - s.mf);
            s.sfy += wd * centred_y_[i];
        }
    }
}

template <std::size_t Q>
void Targets::sums_side_by_side(const std::span<const double>* vs, Sums* s) const {
    constexpr std::size_t kLanes = 4 * Q;
    const std::size_t m = subset_.size();
    const double* v[kLanes];
    // The subset by sample, the candidates side by side.
    std::array<double, kLanes * kSubsetSamples> rows;
    for (std::size_t l = 0; l < kLanes; ++l) {
        v[l] = vs[l].data();
        for (std::size_t k = 0; k < m; ++k) rows[kLanes * k + l] = v[l][subset_[k]];
    }
    double sww[kLanes], mf[kLanes], sff[kLanes], sfy[kLanes];
    lanes::centre<Q>(rows.data(), m, sww);
    lanes::centred_sums<Q>(v, vs[0].size(), centred_y_.data(), mf, sff, sfy);
    for (std::size_t l = 0; l < kLanes; ++l) {
        for (std::size_t k = 0; k < m; ++k) s[l].w[k] = rows[kLanes * k + l];
        s[l].sww = sww[l];
        s[l].mf = mf[l];
        s[l].sff = sff[l];
        s[l].sfy = sfy[l];
    }
}

std::optional<Targets::Score> Targets::scored(std::span<const double> v, Sums& sums) const {
    const double mf = sums.mf, sff = sums.sff, sfy = sums.sfy, sww = sums.sww;
    const std::size_t m = subset_.size();
    const auto& w = sums.w;
    if (!(sff > kFlatRelative * kFlatRelative * mf * mf * total_weight_) || !std::isfinite(sff) ||
        !std::isfinite(sfy))
        return std::nullopt;
    double sse = syy_ - sfy * sfy / sff;
    if (!(sse > kDirectBelow * syy_)) {
        const double a = sfy / sff;
        const double b = mean_y_ - a * mf;
        sse = sum_squared_residuals(v, y_, a, b, w_);
    }
    if (!std::isfinite(sse)) return std::nullopt;
    Score s{std::sqrt(sse / total_weight_), 1.0, 0};
    if (!(sww > 0.0)) return s;
    // One dot product per target, with four running sums to keep the adder
    // busy; four targets at a time where the processor has AVX2.
    std::array<double, kMaxTargets> dots;
    if (lanes::has_avx512()) {
        lanes::eight_sum_dots(w.data(), m, subset_by_sample_.data(), subset_stride_, dots.data());
    } else if (lanes::has_avx2()) {
        lanes::four_sum_dots(w.data(), m, subset_by_sample_.data(), subset_stride_, dots.data());
    } else {
        for (std::size_t t = 0; t < subset_values_.size(); ++t) {
            const double* r = subset_values_[t].data();
            double d0 = 0.0, d1 = 0.0, d2 = 0.0, d3 = 0.0;
            std::size_t k = 0;
            for (; k + 4 <= m; k += 4) {
                d0 += w[k] * r[k];
                d1 += w[k + 1] * r[k + 1];
                d2 += w[k + 2] * r[k + 2];
                d3 += w[k + 3] * r[k + 3];
            }
            for (; k < m; ++k) d0 += w[k] * r[k];
            dots[t] = (d0 + d1) + (d2 + d3);
        }
    }
    for (std::size_t t = 0; t < subset_values_.size(); ++t) {
        if (!(subset_ss_[t] > 0.0)) continue;
        const double unexplained = 1.0 - dots[t] * dots[t] / (sww * subset_ss_[t]);
        if (unexplained < s.residual) {
            s.residual = unexplained;
            s.target = static_cast<std::uint32_t>(t);
        }
    }
    return s;
}

namespace {

// Samples k * n / m of n, m = min(n, kSubsetSamples), stepped without a
// division per sample; m is returned.
std::size_t spread(std::size_t n, std::array<std::size_t, kSubsetSamples>& at) {
    const std::size_t m = std::min(n, kSubsetSamples);
    for (std::size_t k = 0, index = 0, rest = 0; k < m; ++k) {
        at[k] = index;
        index += n / m;
        rest += n % m;
        if (rest >= m) {
            rest -= m;
            ++index;
        }
    }
    return m;
}

bool related(double svv, double sss, double svs) {
    if (!(svv > 0.0) || !(sss > 0.0)) return false;
    return 1.0 - svs * svs / (svv * sss) <= 1e-14;
}

}  // namespace

bool same_up_to_scale(std::span<const double> v, std::span<const double> s) {
    // An exact linear relation shows on any spread of samples.
    std::array<std::size_t, kSubsetSamples> at;
    const std::size_t m = spread(v.size(), at);
    if (m == 0) return false;
    double mv = 0.0, ms = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        mv += v[at[k]];
        ms += s[at[k]];
    }
    mv /= static_cast<double>(m);
    ms /= static_cast<double>(m);
    double svv = 0.0, sss = 0.0, svs = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        const double a = v[at[k]] - mv;
        const double b = s[at[k]] - ms;
        svv += a * a;
        sss += b * b;
        svs += a * b;
    }
    return related(svv, sss, svs);
}

void same_up_to_scale_each(std::span<const std::span<const double>> v, std::span<const std::span<const double>> s,
                           std::span<bool> out) {
    std::size_t k = 0;
    if (!v.empty() && lanes::has_avx2()) {
        std::array<std::size_t, kSubsetSamples> at;
        const std::size_t m = spread(v[0].size(), at);
        const auto same_length = [&](std::size_t first) {
            for (std::size_t l = first; l < first + 4; ++l)
                if (v[l].size() != v[0].size() || s[l].size() != v[0].size()) return false;
            return true;
        };
        for (; m > 0 && k + 4 <= v.size() && same_length(k); k += 4) {
            const double* vl[4] = {v[k].data(), v[k + 1].data(), v[k + 2].data(), v[k + 3].data()};
            const double* sl[4] = {s[k].data(), s[k + 1].data(), s[k + 2].data(), s[k + 3].data()};
            double svv[4], sss[4], svs[4];
            lanes::four_scale_sums(vl, sl, at.data(), m, svv, sss, svs);
            for (std::size_t l = 0; l < 4; ++l) out[k + l] = related(svv[l], sss[l], svs[l]);
        }
    }
    for (; k < v.size(); ++k) out[k] = same_up_to_scale(v[k], s[k]);
}

}  // namespace zyl::regress
