#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "regress/constant_fit.hpp"
#include "regress/exact_forms.hpp"
#include "regress/finish.hpp"
#include "regress/statistics.hpp"
#include "regress_data.hpp"

namespace zyl::regress {
namespace {

using test::LawData;

Term V(std::uint32_t j) { return Term::variable(j); }
Term C(double v) { return Term::constant(v, true); }
Term O(Fn f) { return Term::operation(f); }

// A fixed pseudo-random normal sequence, for noise.
struct Noise {
    std::uint64_t state = 99;
    double uniform() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    }
    double normal() { return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform()); }
};

TEST(RegressStatistics, LineCovarianceIsTheTextbookOne) {
    // y = a x + b with noise: var(a) = s2 / Sxx and var(b) = s2 (1/n + mean^2 / Sxx).
    Noise noise;
    LawData d(1, 40, 0.0, 10.0, [&](const std::vector<double>& x) { return 3.0 * x[0] + 1.0 + noise.normal(); });
    Formula f{C(3.0), V(0), O(Fn::Mul), C(1.0), O(Fn::Add)};
    Evaluator ev;
    ConstantFitLimits explicit_fit;
    explicit_fit.explicit_outer = true;
    ASSERT_TRUE(fit_constants(f, d.view(), d.y, ev, explicit_fit));
    auto s = constant_statistics(f, d.view(), d.y, ev);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->size(), 2u);
    double mean = 0.0, sxx = 0.0;
    for (double x : d.cols[0]) mean += x / 40.0;
    for (double x : d.cols[0]) sxx += (x - mean) * (x - mean);
    const double s2 = s->sse / 38.0;
    EXPECT_NEAR(s->standard_error(0), std::sqrt(s2 / sxx), 1e-6 * std::sqrt(s2 / sxx));
    EXPECT_NEAR(s->standard_error(1), std::sqrt(s2 * (1.0 / 40.0 + mean * mean / sxx)), 1e-6);
    EXPECT_NEAR(s->information[0], sxx + 40.0 * mean * mean, 1e-6 * sxx);
}

TEST(RegressStatistics, ConstantsTheDataCannotTellApartHaveNoCovariance) {
    // c1 * c2 * x: only the product is determined.
    LawData d(1, 20, 1.0, 2.0, [](const std::vector<double>& x) { return 6.0 * x[0]; });
    Formula f{C(2.0), C(3.0), O(Fn::Mul), V(0), O(Fn::Mul)};
    Evaluator ev;
    auto s = constant_statistics(f, d.view(), d.y, ev);
    ASSERT_TRUE(s);
    EXPECT_TRUE(std::isnan(s->standard_error(0)));
    // As many constants as samples leave no residual variance either.
    LawData two(1, 2, 1.0, 2.0, [](const std::vector<double>& x) { return 6.0 * x[0] + 1.0; });
    Formula line{C(6.0), V(0), O(Fn::Mul), C(1.0), O(Fn::Add)};
    auto t = constant_statistics(line, two.view(), two.y, ev);
    ASSERT_TRUE(t);
    EXPECT_TRUE(std::isnan(t->standard_error(0)));
    EXPECT_FALSE(symmetric_inverse(std::vector<double>{1.0, 1.0, 1.0, 1.0}, 2));
    auto inverse = symmetric_inverse(std::vector<double>{4.0, 2.0, 2.0, 3.0}, 2);
    ASSERT_TRUE(inverse);
    EXPECT_NEAR((*inverse)[0], 3.0 / 8.0, 1e-15);
    EXPECT_NEAR((*inverse)[1], -2.0 / 8.0, 1e-15);
}

TEST(RegressStatistics, NeighbourNoiseSeesTheNoiseAndReplicates) {
    Noise noise;
    LawData smooth(1, 400, 0.0, 1.0, [&](const std::vector<double>& x) { return x[0] + 0.1 * noise.normal(); });
    const double v = neighbour_noise_variance(smooth.view(), smooth.y);
    EXPECT_GT(v, 0.008);
    EXPECT_LT(v, 0.012);
    // Weights scale each sample's noise: var(y_i) = sigma^2 / w_i.
    std::vector<double> w(400, 4.0);
    EXPECT_NEAR(neighbour_noise_variance(smooth.view(), smooth.y, w), 4.0 * v, 1e-12);
    LawData one(1, 1, 0.0, 1.0, [](const std::vector<double>& x) { return x[0]; });
    EXPECT_EQ(neighbour_noise_variance(one.view(), one.y), 0.0);
}

TEST(RegressExactForms, DescriptionsFavourSmallIntegersAndPlainNumbers) {
    const double half = exact_description({1, 2, Basis::One});
    const double three_halves = exact_description({3, 2, Basis::One});
    const double four_pi = exact_description({4, 1, Basis::Pi});
    const double contrived = exact_description({4, 5, Basis::SqrtTwoPi});
    EXPECT_NEAR(half, std::log(2.0) + std::log(2.0) + std::log(6.0) + std::log(2.0), 1e-12);
    EXPECT_LT(half, three_halves);
    EXPECT_LT(three_halves, contrived);
    EXPECT_LT(four_pi, contrived);
    EXPECT_GT(contrived, 10.0);
    EXPECT_EQ(exact_description({-3, 2, Basis::One}), three_halves);
}

// The scale of y = c * x0 * x1 with 1% noise: written exactly only when the
// exact number lies inside its uncertainty and is the shorter description.
Scored without_offset(const std::vector<Scored>& variants) { return variants.back(); }

std::vector<Scored> finished_scale(double c, double noise_level, bool exact = true) {
    Noise noise;
    LawData d(2, 100, 1.0, 5.0, [&](const std::vector<double>& x) {
        return c * x[0] * x[1] * (1.0 + noise_level * noise.normal());
    });
    Evaluator ev;
    FinishSettings settings;
    settings.floor_sse = rounding_floor_sse(d.y);
    settings.exact_constants = exact;
    return finish({V(0), V(1), O(Fn::Mul)}, d.view(), d.y, ev, settings);
}

TEST(RegressFinish, ExactConstantsMustBeEarned) {
    // 1/2 at 1% noise: inside its interval and far cheaper than 0.49.. to
    // three digits.
    auto half = finished_scale(0.5, 0.01);
    const Scored h = without_offset(half);
    EXPECT_TRUE(h.formula[0].has_exact);
    EXPECT_EQ(h.formula[0].exact.q, 2);
    ASSERT_EQ(h.estimates.size(), 1u);
    EXPECT_NEAR(h.estimates[0].value, 0.5, 0.01);
    EXPECT_GT(h.estimates[0].std_error, 0.0);
    EXPECT_LT(std::fabs(h.estimates[0].value - 0.5), 1.5 * h.estimates[0].std_error);
    // 2*pi/sqrt(9.81) = 2.00607 is near 4*sqrt(2*pi)/5 = 2.00530, but that
    // form costs more than the fitted value does.
    const Scored g = without_offset(finished_scale(2.0060666, 0.01));
    for (const Term& t : g.formula) EXPECT_FALSE(t.kind == Kind::Const && t.has_exact);
    // 0.5003 is not 1/2 when the data pin it down to 1e-12.
    const Scored n = without_offset(finished_scale(0.5003, 0.0));
    EXPECT_FALSE(n.formula[0].has_exact);
    EXPECT_NEAR(n.formula[0].value, 0.5003, 1e-12);
    // And nothing is snapped when asked not to.
    const Scored off = without_offset(finished_scale(0.5, 0.0, false));
    EXPECT_FALSE(off.formula[0].has_exact);
}

}  // namespace
}  // namespace zyl::regress
