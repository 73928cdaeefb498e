#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "regress/combine.hpp"
#include "regress/common_scale.hpp"
#include "regress/constant_fit.hpp"
#include "regress/inner_forms.hpp"
#include "regress/linear_fit.hpp"
#include "regress/reach.hpp"
#include "regress/search.hpp"
#include "regress_data.hpp"

namespace zyl::regress {
namespace {

using test::LawData;
using test::total_ss;
using Row = std::vector<double>;

double sse_after_fit(Formula f, const LawData& d) {
    Evaluator ev;
    auto fit = fit_constants(f, d.view(), d.y, ev);
    return fit ? fit->scaling.sse : INFINITY;
}

// The least sse any of `structures` reaches once its constants are fitted.
double best_sse(const std::vector<Formula>& structures, const LawData& d) {
    double best = INFINITY;
    for (const Formula& f : structures) best = std::fmin(best, sse_after_fit(f, d));
    return best;
}

TEST(RegressLinearFit, RecoversWeightsAndRejectsDependentOrConstantColumns) {
    LawData d(2, 60, 1.0, 5.0, [](const Row& x) { return 2.0 + 3.0 * x[0] - 0.5 * x[1]; });
    const std::span<const double> both[] = {d.cols[0], d.cols[1]};
    auto fit = fit_linear(both, d.y);
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->coefficients[0], 3.0, 1e-12);
    EXPECT_NEAR(fit->coefficients[1], -0.5, 1e-12);
    EXPECT_NEAR(fit->intercept, 2.0, 1e-11);
    EXPECT_LT(fit->sse, 1e-20);

    std::vector<double> twice(d.cols[0]), flat(60, 4.0);
    for (double& v : twice) v = 2.0 * v + 1.0;
    const std::span<const double> dependent[] = {d.cols[0], twice};
    EXPECT_FALSE(fit_linear(dependent, d.y));
    const std::span<const double> constant[] = {d.cols[0], flat};
    EXPECT_FALSE(fit_linear(constant, d.y));

    // A sample of negligible weight does not move the fit off the others.
    std::vector<double> y = d.y, w(60, 1.0);
    y[5] += 100.0;
    w[5] = 1e-12;
    auto weighted = fit_linear(both, y, w);
    ASSERT_TRUE(weighted);
    EXPECT_NEAR(weighted->coefficients[0], 3.0, 1e-6);
}

TEST(RegressInnerForms, FrequencyAndPhaseComeFromTheData) {
    LawData d(1, 100, 0.0, 6.0, [](const Row& x) { return 1.5 * std::sin(2.3 * x[0] + 0.4) + 0.2; });
    auto found = dominant_frequencies(d.cols[0], d.y, {}, 2);
    ASSERT_FALSE(found.empty());
    const double step = 2.0 * std::numbers::pi / 6.0 / 4.0;
    EXPECT_NEAR(found[0].omega, 2.3, step);
    // On a scan point near the true frequency the phase is close as well.
    EXPECT_NEAR(std::remainder(found[0].phase - 0.4, 2.0 * std::numbers::pi), 0.0, 0.8);
    EXPECT_TRUE(dominant_frequencies(std::vector<double>(100, 1.0), d.y, {}, 2).empty());
}

TEST(RegressInnerForms, StartsReachConstantsInsideFunctions) {
    const struct {
        const char* name;
        double lo, hi;
        double (*law)(const Row&);
    } cases[] = {
        {"logistic", 0.0, 8.0, [](const Row& x) { return 5.0 / (1.0 + std::exp(-1.3 * (x[0] - 4.0))); }},
        {"peak", -1.0, 4.0, [](const Row& x) { return 2.0 * std::exp(-(x[0] - 1.5) * (x[0] - 1.5) / 0.8); }},
        {"wave", 0.0, 6.0, [](const Row& x) { return 1.5 * std::cos(2.2 * x[0] + 0.6); }},
        {"damped", 0.0, 8.0, [](const Row& x) { return 2.0 * std::exp(-0.3 * x[0]) * std::cos(3.1 * x[0]); }},
        {"power", 0.5, 6.0, [](const Row& x) { return 1.8 * std::pow(x[0], 0.65); }},
        {"decay", 0.0, 6.0, [](const Row& x) { return 3.0 * (1.0 - std::exp(-0.7 * x[0])); }},
    };
    for (const auto& c : cases) {
        LawData d(1, 100, c.lo, c.hi, c.law);
        auto starts = inner_form_starts({Term::variable(0)}, d.cols[0], d.y, {}, true);
        ASSERT_FALSE(starts.empty()) << c.name;
        EXPECT_LT(best_sse(starts, d), 1e-16 * total_ss(d.y)) << c.name;
    }
}

TEST(RegressInnerForms, PositiveBlocksOnlyGetPowersAndTrigCanBeLeftOut) {
    LawData d(1, 50, -2.0, 2.0, [](const Row& x) { return x[0]; });
    auto has = [](const std::vector<Formula>& fs, Fn fn) {
        for (const Formula& f : fs)
            for (const Term& t : f)
                if (t.kind == Kind::Op && t.fn == fn) return true;
        return false;
    };
    auto signed_starts = inner_form_starts({Term::variable(0)}, d.cols[0], d.y, {}, false);
    EXPECT_FALSE(has(signed_starts, Fn::Log));
    EXPECT_FALSE(has(signed_starts, Fn::Sin));
    EXPECT_FALSE(has(signed_starts, Fn::Cos));
    EXPECT_TRUE(inner_form_starts({Term::variable(0)}, std::vector<double>(50, 2.0), d.y, {}, true).empty());
    // A step centred at 0 on a range that holds 0 also starts without a
    // midpoint constant, which could not be told from zero.
    auto free_constants = [](const Formula& f) {
        return std::count_if(f.begin(), f.end(), [](const Term& t) { return t.free(); });
    };
    bool centred_step = false;
    for (const Formula& f : signed_starts)
        centred_step |= f.size() == 7 && f.back().fn == Fn::Inv && free_constants(f) == 1;
    EXPECT_TRUE(centred_step);
}

TEST(RegressCombine, WeightedSumsOfBlocksInOneStep) {
    // y = 0.5*a^2 + 9.81*b: the squares and the plain column are blocks.
    LawData d(3, 80, 1.0, 5.0, [](const Row& x) { return 0.5 * x[0] * x[0] + 9.81 * x[1]; });
    std::vector<double> a2(80), c2(80);
    for (std::size_t i = 0; i < 80; ++i) {
        a2[i] = d.cols[0][i] * d.cols[0][i];
        c2[i] = d.cols[2][i] * d.cols[2][i];
    }
    const std::span<const double> columns[] = {d.cols[0], d.cols[1], d.cols[2], a2, c2};
    SumsFound found = best_sums(columns, d.y, {}, 3, 2, MapControl{});
    ASSERT_FALSE(found.stopped);
    ASSERT_GE(found.sums.size(), 4u);
    EXPECT_EQ(found.sums[0].parts, (std::vector<std::uint32_t>{1, 3}));
    EXPECT_NEAR(found.sums[0].weights[0], 9.81, 1e-9);
    EXPECT_NEAR(found.sums[0].weights[1], 0.5, 1e-9);
    EXPECT_EQ(found.sums[3].parts.size(), 3u);  // triples follow the pairs

    // Written with ordinary terms, the larger share leading.
    Formula b{Term::variable(1)}, sq{Term::variable(0), Term::operation(Fn::Square)};
    Formula f = sum_formula({&sq, &b}, Combination{{0, 1}, {0.5, 9.81}, 0.0, 0.0}, {12.0, 4.0});
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0].var, 1u);
    EXPECT_NEAR(f[1].value, 0.5 / 9.81, 1e-15);
    EXPECT_TRUE(f[1].free());
    EXPECT_LT(sse_after_fit(f, d), 1e-18 * total_ss(d.y));
}

TEST(RegressReach, SumsProductsAndStopping) {
    // An amplitude of its own times a wave with a phase.
    LawData wave(2, 100, 0.0, 6.0, [](const Row& x) { return x[0] * std::sin(1.7 * x[1] + 0.4); });
    std::vector<Block> blocks{{{Term::variable(0)}, wave.cols[0]}, {{Term::variable(1)}, wave.cols[1]}};
    ReachResult r = reach(wave.view(), wave.y, blocks, ReachSettings{});
    ASSERT_FALSE(r.stopped);
    EXPECT_GT(r.evaluations, 0u);
    EXPECT_LT(best_sse(r.structures, wave), 1e-16 * total_ss(wave.y));
    // Phases are written within half a turn.
    for (const Formula& f : r.structures)
        for (std::size_t i = 2; i < f.size(); ++i)
            if (f[i].kind == Kind::Op && (f[i].fn == Fn::Sin || f[i].fn == Fn::Cos) && f[i - 1].fn == Fn::Add &&
                f[i - 2].kind == Kind::Const)
                EXPECT_LE(std::fabs(f[i - 2].value), std::numbers::pi);

    // Two separately weighted terms of different kinds.
    LawData sum(1, 100, 0.5, 3.0, [](const Row& x) { return 1.0 / (x[0] * x[0]) - 0.5 / x[0]; });
    std::vector<double> inv(100), inv2(100);
    for (std::size_t i = 0; i < 100; ++i) {
        inv[i] = 1.0 / sum.cols[0][i];
        inv2[i] = inv[i] * inv[i];
    }
    std::vector<Block> terms{{{Term::variable(0)}, sum.cols[0]},
                             {{Term::variable(0), Term::operation(Fn::Inv)}, inv},
                             {{Term::variable(0), Term::operation(Fn::Square), Term::operation(Fn::Inv)}, inv2}};
    EXPECT_LT(best_sse(reach(sum.view(), sum.y, terms, ReachSettings{}).structures, sum),
              1e-18 * total_ss(sum.y));

    // A rational response: a sum that explains 1/y.
    LawData peak(1, 100, 0.1, 3.0, [](const Row& x) {
        const double w2 = x[0] * x[0];
        return 1.0 / ((1.0 - w2) * (1.0 - w2) + 0.09 * w2);
    });
    std::vector<Block> single{{{Term::variable(0)}, peak.cols[0]}};
    EXPECT_LT(best_sse(reach(peak.view(), peak.y, single, ReachSettings{}).structures, peak),
              1e-18 * total_ss(peak.y));

    // An amplitude of its own times a saturation, x0 * (1 - exp(-0.7*x1)):
    // the fitted decay with its own offset, times the amplitude.
    LawData rise(2, 100, 0.5, 5.0, [](const Row& x) { return x[0] * (1.0 - std::exp(-0.7 * x[1])); });
    std::vector<Block> parts{{{Term::variable(0)}, rise.cols[0]}, {{Term::variable(1)}, rise.cols[1]}};
    EXPECT_LT(best_sse(reach(rise.view(), rise.y, parts, ReachSettings{}).structures, rise),
              1e-18 * total_ss(rise.y));

    ReachSettings stop;
    stop.stop = [] { return true; };
    ReachResult stopped = reach(wave.view(), wave.y, blocks, stop);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.structures.empty());
}

TEST(RegressSearch, FindsConstantsInsideFunctionsAndWeightedSums) {
    const struct {
        const char* name;
        std::size_t vars;
        double lo, hi;
        double (*law)(const Row&);
    } cases[] = {
        {"damped wave", 1, 0.0, 8.0, [](const Row& x) { return 2.0 * std::exp(-0.3 * x[0]) * std::cos(3.1 * x[0]); }},
        {"logistic", 1, 0.0, 8.0, [](const Row& x) { return 5.0 / (1.0 + std::exp(-1.3 * (x[0] - 4.0))); }},
        {"energy", 3, 0.5, 4.0, [](const Row& x) { return 0.5 * x[0] * x[1] * x[1] + 9.81 * x[0] * x[2]; }},
    };
    for (const auto& c : cases) {
        LawData d(c.vars, 100, c.lo, c.hi, c.law);
        Outcome o = search(d.view(), d.y, {}, Options{}, Hooks{});
        ASSERT_FALSE(o.front.empty()) << c.name;
        const double scale = std::sqrt(total_ss(d.y) / 100.0);
        EXPECT_LT(o.front[o.best].rmse, 1e-8 * scale) << c.name;
    }
}

TEST(RegressCommonScale, OneConstantTooManyIsFixedAndItsFactorDropped) {
    LawData d(3, 40, 1.0, 4.0, [](const Row& x) { return x[0] * (0.5 * x[1] * x[1] + 9.81 * x[2]); });
    const Term m = Term::variable(0), v = Term::variable(1), h = Term::variable(2);
    const Term mul = Term::operation(Fn::Mul), add = Term::operation(Fn::Add);
    // m * (c1*v^2 + c2*h): only the ratio c1/c2 shapes it.
    Formula f{m, Term::constant(0.5, true), v, Term::operation(Fn::Square), mul, Term::constant(9.81, true), h, mul,
              add, mul};
    Evaluator ev;
    drop_common_scale(f, d.view(), ev);
    ASSERT_EQ(f.size(), 8u);  // 9.81*h became h
    EXPECT_NEAR(f[1].value, 0.5 / 9.81, 1e-15);
    EXPECT_TRUE(f[1].free());
    EXPECT_EQ(f[5].kind, Kind::Var);
    EXPECT_LT(sse_after_fit(f, d), 1e-20 * total_ss(d.y));

    // A constant that shapes the formula on its own is kept: m*(v^2 + c)*c2
    // does not scale with (c, c2) together.
    Formula shaped{m, v, Term::operation(Fn::Square), Term::constant(2.0, true), add, mul,
                   Term::constant(3.0, true), mul};
    const Formula before = shaped;
    drop_common_scale(shaped, d.view(), ev);
    ASSERT_EQ(shaped.size(), before.size());
    for (std::size_t i = 0; i < shaped.size(); ++i) EXPECT_EQ(shaped[i].value, before[i].value);
}

}  // namespace
}  // namespace zyl::regress
