#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bit_equal.hpp"
#include "regress/constant_fit.hpp"
#include "regress/exact_forms.hpp"
#include "regress/finish.hpp"
#include "regress/render.hpp"
#include "regress/scaling.hpp"
#include "regress_data.hpp"

namespace zyl::regress {
namespace {

using test::bit_equal;
using test::LawData;
constexpr double kPi = std::numbers::pi;

Term V(std::uint32_t j) { return Term::variable(j); }
Term C(double v) { return Term::constant(v, true); }
Term O(Fn f) { return Term::operation(f); }

TEST(RegressScaling, RecoversScaleAndOffset) {
    const std::vector<double> f{1.0, 2.0, 3.0, 4.0};
    const std::vector<double> y{2.5, 4.5, 6.5, 8.5};  // 2 f + 0.5
    auto s = fit_scaling(f, y);
    ASSERT_TRUE(s);
    EXPECT_TRUE(bit_equal(2.0, s->scale));
    EXPECT_TRUE(bit_equal(0.5, s->offset));
    EXPECT_TRUE(bit_equal(0.0, s->sse));
    auto through_zero = fit_scale_with_offset(f, y, 0.0);
    ASSERT_TRUE(through_zero);
    EXPECT_GT(through_zero->sse, 0.0);
    auto fixed = fit_offset_with_scale(f, y, 2.0);
    EXPECT_TRUE(bit_equal(0.5, fixed.offset));
}

TEST(RegressScaling, ConstantAndNonFiniteColumnsHaveNoFit) {
    const std::vector<double> y{1.0, 2.0, 3.0};
    EXPECT_FALSE(fit_scaling(std::vector<double>{5.0, 5.0, 5.0}, y));
    // A spread lost in rounding against a huge mean counts as constant.
    EXPECT_FALSE(fit_scaling(std::vector<double>{1e17, 1e17 + 16, 1e17}, y));
    EXPECT_FALSE(fit_scaling(std::vector<double>{1.0, std::nan(""), 3.0}, y));
    EXPECT_FALSE(fit_scaling(std::vector<double>{1.0, INFINITY, 3.0}, y));
    EXPECT_FALSE(fit_scaling(std::vector<double>{}, std::vector<double>{}));
    std::vector<double> out(3);
    EXPECT_FALSE(normalise(std::vector<double>{2.0, 2.0, 2.0}, out));
}

TEST(RegressScaling, NormalisedValuesIgnoreScaleOffsetAndSign) {
    const std::vector<double> f{1.0, 4.0, 2.0, 8.0};
    std::vector<double> g(4), nf(4), ng(4);
    for (std::size_t i = 0; i < 4; ++i) g[i] = -3.0 * f[i] + 7.0;
    ASSERT_TRUE(normalise(f, nf));
    ASSERT_TRUE(normalise(g, ng));
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(nf[i], ng[i], 1e-14);
    EXPECT_GT(nf[0], 0.0 - 1e-300 - 2.0);  // sign fixed by the first clear value
}

TEST(RegressConstantFit, FitsARateInsideExp) {
    // y = 3 exp(-0.37 x) + 1: the outer 3 and 1 are projected out.
    LawData d(1, 60, 0.0, 5.0, [](const std::vector<double>& x) { return 3.0 * std::exp(-0.37 * x[0]) + 1.0; });
    Formula f{C(-1.0), V(0), O(Fn::Mul), O(Fn::Exp)};
    Evaluator ev;
    auto fit = fit_constants(f, d.view(), d.y, ev);
    ASSERT_TRUE(fit);
    EXPECT_NEAR(f[0].value, -0.37, 1e-12);
    EXPECT_NEAR(fit->scaling.scale, 3.0, 1e-10);
    EXPECT_NEAR(fit->scaling.offset, 1.0, 1e-10);
    EXPECT_LT(fit->scaling.sse, 1e-24);
    EXPECT_GT(fit->evaluations, 2u);
}

TEST(RegressConstantFit, TwoConstantsAndUnfittableStarts) {
    // y = 1 / (x0 + 0.5 x1 + 2)
    LawData d(2, 80, 1.0, 4.0,
              [](const std::vector<double>& x) { return 1.0 / (x[0] + 0.5 * x[1] + 2.0); });
    Formula f{V(0), C(1.0), V(1), O(Fn::Mul), O(Fn::Add), C(1.0), O(Fn::Add), O(Fn::Inv)};
    Evaluator ev;
    auto fit = fit_constants(f, d.view(), d.y, ev);
    ASSERT_TRUE(fit);
    EXPECT_NEAR(f[1].value, 0.5, 1e-9);
    EXPECT_NEAR(f[5].value, 2.0, 1e-9);
    // A start that cannot be evaluated gives nothing and leaves f alone.
    Formula g{V(0), C(-100.0), O(Fn::Add), O(Fn::Log)};
    EXPECT_FALSE(fit_constants(g, d.view(), d.y, ev));
    EXPECT_TRUE(bit_equal(-100.0, g[1].value));
}

TEST(RegressExactForms, SimplestFirstWithinTheWindow) {
    auto forms = exact_forms_near(0.5, 1e-9);
    ASSERT_FALSE(forms.empty());
    EXPECT_EQ(forms[0].p, 1);
    EXPECT_EQ(forms[0].q, 2);
    EXPECT_EQ(forms[0].basis, Basis::One);
    auto pi_forms = exact_forms_near(4.0 * kPi, 1e-12);
    ASSERT_FALSE(pi_forms.empty());
    EXPECT_EQ(pi_forms[0].p, 4);
    EXPECT_EQ(pi_forms[0].basis, Basis::Pi);
    EXPECT_TRUE(exact_forms_near(0.0, 0.1).empty());
    EXPECT_TRUE(exact_forms_near(std::nan(""), 0.1).empty());
    EXPECT_TRUE(exact_forms_near(1e9, 1e-3).empty());
    for (const Exact& x : exact_forms_near(0.7, 0.02)) EXPECT_NEAR(exact_value(x), 0.7, 0.014 + 1e-15);
}

struct SnapCase {
    const char* name;
    double (*law)(const std::vector<double>&);
    Formula structure;
    const char* want;
};

TEST(RegressFinish, SnapsConstantsToExactForms) {
    const SnapCase cases[] = {
        {"coulomb", [](const std::vector<double>& x) { return x[0] * x[1] / (4.0 * kPi * x[2]); },
         {V(0), V(1), O(Fn::Mul), V(2), O(Fn::Div)}, "a*b/(4*pi*c)"},
        {"kinetic", [](const std::vector<double>& x) { return x[0] * x[1] * x[1] / 2.0; },
         {V(0), V(1), O(Fn::Square), O(Fn::Mul)}, "a*b**2/2"},
        {"offset", [](const std::vector<double>& x) { return x[0] * x[1] - 3.0; },
         {V(0), V(1), O(Fn::Mul)}, "a*b - 3"},
        {"rate", [](const std::vector<double>& x) { return std::exp(-x[0] / (2.0 * x[1])); },
         {C(-1.0), V(0), V(1), O(Fn::Div), O(Fn::Mul), O(Fn::Exp)}, "exp(-a/(2*b))"},
        {"real", [](const std::vector<double>& x) { return 8.314 * x[0] / x[1]; },
         {V(0), V(1), O(Fn::Div)}, "8.314*a/b"},
    };
    const std::vector<std::string> names{"a", "b", "c"};
    for (const SnapCase& c : cases) {
        LawData d(3, 100, 1.0, 5.0, c.law);
        Evaluator ev;
        Formula f = c.structure;
        ASSERT_TRUE(fit_constants(f, d.view(), d.y, ev)) << c.name;
        FinishSettings settings;
        settings.floor_sse = rounding_floor_sse(d.y);
        auto variants = finish(f, d.view(), d.y, ev, settings);
        ASSERT_FALSE(variants.empty()) << c.name;
        // The variant without an offset, where the law has none.
        const Scored* done = &variants[0];
        for (const Scored& v : variants)
            if (v.rmse < 1e-13 && v.formula.size() < done->formula.size()) done = &v;
        // Fitted digits may differ in the last place; the snapped ones not.
        if (std::string(c.name) != "real") {
            EXPECT_EQ(to_text(done->formula, names), c.want) << c.name;
        }
        EXPECT_LT(done->rmse, 1e-13) << c.name;
    }
}

TEST(RegressFinish, NoisyConstantsAreKeptWhenTheDataTellsThemApart) {
    // 0.5003 is not 1/2 for noise-free data.
    LawData d(2, 100, 1.0, 5.0, [](const std::vector<double>& x) { return 0.5003 * x[0] * x[1]; });
    Evaluator ev;
    FinishSettings settings;
    settings.floor_sse = rounding_floor_sse(d.y);
    auto variants = finish({V(0), V(1), O(Fn::Mul)}, d.view(), d.y, ev, settings);
    ASSERT_EQ(variants.size(), 2u);
    const Scored& done = variants[1];  // without offset
    EXPECT_FALSE(done.formula[0].has_exact);
    EXPECT_NEAR(done.formula[0].value, 0.5003, 1e-12);
}

}  // namespace
}  // namespace zyl::regress
