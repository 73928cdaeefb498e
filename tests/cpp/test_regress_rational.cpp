#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "regress/constant_fit.hpp"
#include "regress/rational_forms.hpp"
#include "regress_data.hpp"

namespace zyl::regress {
namespace {

using test::LawData;
using test::total_ss;
using Row = std::vector<double>;

std::vector<double> column(const LawData& d, double (*f)(const Row&)) {
    std::vector<double> out(d.y.size());
    Row row(d.cols.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        for (std::size_t j = 0; j < row.size(); ++j) row[j] = d.cols[j][i];
        out[i] = f(row);
    }
    return out;
}

TEST(RegressRational, LinearStepRecoversExactCoefficients) {
    // (2x + 1) / (x^2 + 0.5) = (2 + 4x) / (1 + 2x^2).
    LawData one(1, 80, -2.0, 3.0, [](const Row& x) { return (2.0 * x[0] + 1.0) / (x[0] * x[0] + 0.5); });
    const std::vector<double> x2 = column(one, [](const Row& x) { return x[0] * x[0]; });
    const std::span<const double> num[] = {one.cols[0]}, den[] = {x2};
    auto fit = fit_rational(num, den, one.y, {}, true);
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->intercept, 2.0, 1e-10);
    EXPECT_NEAR(fit->numerator[0], 4.0, 1e-10);
    EXPECT_NEAR(fit->denominator[0], 2.0, 1e-10);
    EXPECT_LT(fit->sse, 1e-20);

    // Velocity addition, (u + v) / (1 + u*v): two numerator terms, no a0.
    LawData two(2, 80, 0.1, 0.9, [](const Row& x) { return (x[0] + x[1]) / (1.0 + x[0] * x[1]); });
    const std::vector<double> uv = column(two, [](const Row& x) { return x[0] * x[1]; });
    const std::span<const double> sum[] = {two.cols[0], two.cols[1]}, product[] = {uv};
    auto through_origin = fit_rational(sum, product, two.y, {}, false);
    ASSERT_TRUE(through_origin);
    EXPECT_EQ(through_origin->intercept, 0.0);
    EXPECT_NEAR(through_origin->numerator[0], 1.0, 1e-10);
    EXPECT_NEAR(through_origin->numerator[1], 1.0, 1e-10);
    EXPECT_NEAR(through_origin->denominator[0], 1.0, 1e-10);

    // Weights that are all equal change nothing but rounding.
    const std::vector<double> flat(80, 3.0);
    auto weighted = fit_rational(sum, product, two.y, flat, false);
    ASSERT_TRUE(weighted);
    EXPECT_NEAR(weighted->denominator[0], 1.0, 1e-10);
}

TEST(RegressRational, PolesAmongTheDataAndDependentColumnsAreRejected) {
    // 1 / (x - 1) on [0, 2]: the exact denominator 1 - x changes sign.
    LawData pole(1, 60, 0.0, 2.0, [](const Row& x) { return 1.0 / (x[0] - 1.0); });
    const std::span<const double> none[] = {pole.cols[0]}, den[] = {pole.cols[0]};
    EXPECT_FALSE(fit_rational(std::span<const std::span<const double>>{}, den, pole.y, {}, true));
    EXPECT_FALSE(fit_rational(none, den, pole.y, {}, true));

    // The same column twice in the numerator is no fit.
    LawData d(1, 60, 1.0, 3.0, [](const Row& x) { return x[0] / (1.0 + x[0]); });
    const std::span<const double> twice[] = {d.cols[0], d.cols[0]}, one[] = {d.cols[0]};
    EXPECT_FALSE(fit_rational(twice, one, d.y, {}, true));
    EXPECT_TRUE(fit_rational(one, one, d.y, {}, false));
}

TEST(RegressRational, StageFindsRatiosOfSumsOfTheTermsOffered) {
    // (x^2 + 1) / (x^2 + 2x + 3) from the terms x and x^2 among others.
    LawData d(1, 100, -3.0, 3.0,
              [](const Row& x) { return (x[0] * x[0] + 1.0) / (x[0] * x[0] + 2.0 * x[0] + 3.0); });
    const Formula x{Term::variable(0)}, x2{Term::variable(0), Term::operation(Fn::Square)},
        growth{Term::variable(0), Term::operation(Fn::Exp)};
    const std::vector<double> v2 = column(d, [](const Row& r) { return r[0] * r[0]; });
    const std::vector<double> ve = column(d, [](const Row& r) { return std::exp(r[0]); });
    const std::vector<const Formula*> formulas{&x, &x2, &growth, &x};
    const std::vector<std::span<const double>> columns{d.cols[0], v2, ve, d.cols[0]};
    std::vector<Evaluator> evaluators(WorkerPool::instance().worker_slots());
    RationalsFound found = best_rationals(d.view(), d.y, formulas, columns, RationalSettings{}, evaluators);
    ASSERT_FALSE(found.stopped);
    ASSERT_FALSE(found.structures.empty());
    Evaluator ev;
    Formula best = found.structures[0];
    auto fit = fit_constants(best, d.view(), d.y, ev);
    ASSERT_TRUE(fit);
    EXPECT_LT(fit->scaling.sse, 1e-20 * total_ss(d.y));
    for (const Formula& f : found.structures) {
        EXPECT_TRUE(well_formed(f, 1));
        EXPECT_LE(std::count_if(f.begin(), f.end(), [](const Term& t) { return t.free(); }), 4);
    }
}

}  // namespace
}  // namespace zyl::regress
