#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bit_equal.hpp"
#include "discover/optimizer.hpp"

namespace zyl::discover {
namespace {

using test::bit_equal;
constexpr double kInf = std::numeric_limits<double>::infinity();

Node P(std::size_t i, double v = 0.0) { return Node::param(i, v); }
Node V(std::size_t i) { return Node::var(i); }
Node O(Op op) { return Node::operation(op); }

const Expr kLine{{P(0), V(0), O(Op::Mul), P(1), O(Op::Add)}};  // c0 * x + c1

TEST(Rmse, SumsFromNegativeZeroOverTheShorterSide) {
    const std::vector<double> none, two{1.0, 2.0}, four_zeros(4, 0.0);
    EXPECT_TRUE(bit_equal(-0.0, rmse(none, four_zeros)));
    EXPECT_TRUE(std::isnan(rmse(two, none)));
    EXPECT_TRUE(bit_equal(std::sqrt(5.0 / 4.0), rmse(two, four_zeros)));
    EXPECT_TRUE(bit_equal(std::sqrt(1.0 / 3.0), rmse(two, std::vector<double>{1.0, 3.0, 99.0})));
}

TEST(Optimize, NoParametersIsThePlainRmse) {
    const Columns cols{{1.0, 2.0}};
    const std::vector<double> targets{0.0, 0.0};
    auto fit = optimize(Expr{{V(0)}}, cols, targets, {});
    EXPECT_TRUE(fit.params.empty());
    EXPECT_TRUE(bit_equal(std::sqrt(5.0 / 2.0), fit.error));
    auto failed = optimize(Expr{{V(0), O(Op::Ln), O(Op::Ln)}}, cols, targets, {});
    EXPECT_TRUE(failed.params.empty());
    EXPECT_EQ(failed.error, kInf);
}

TEST(Optimize, FitsALine) {
    Columns cols{{}};
    std::vector<double> targets;
    for (int i = 0; i < 20; ++i) {
        double x = -1.0 + 0.1 * i;
        cols[0].push_back(x);
        targets.push_back(1.5 * x - 0.75);
    }
    const std::vector<double> start{1.0, 0.0};
    auto fit = optimize(kLine, cols, targets, start);
    ASSERT_EQ(fit.params.size(), 2u);
    EXPECT_NEAR(fit.params[0], 1.5, 1e-6);
    EXPECT_NEAR(fit.params[1], -0.75, 1e-6);
    EXPECT_LT(fit.error, 1e-6);
    auto again = optimize(kLine, cols, targets, fit.params);
    EXPECT_LE(again.error, fit.error);
}

TEST(Optimize, UnevaluableStartIsReturnedWithInfiniteError) {
    const Expr log_c{{P(0), O(Op::Ln)}};
    const std::vector<double> start{-1.0};
    auto fit = optimize(log_c, Columns{{1.0, 2.0}}, std::vector<double>{0.0, 0.0}, start);
    EXPECT_EQ(fit.params, start);
    EXPECT_EQ(fit.error, kInf);
}

TEST(Optimize, UnreadSlotIsUnchanged) {
    const Expr scaled{{P(0), V(0), O(Op::Mul)}};
    const std::vector<double> start{0.5, 7.25};
    auto fit = optimize(scaled, Columns{{1.0, 2.0, 3.0}}, std::vector<double>{2.0, 4.0, 6.0}, start);
    EXPECT_TRUE(bit_equal(7.25, fit.params[1]));
    EXPECT_NE(fit.params[0], 0.5);
    EXPECT_LT(fit.error, rmse(std::vector<double>{0.5, 1.0, 1.5}, std::vector<double>{2.0, 4.0, 6.0}));
}

TEST(Optimize, NanTargetsKeepTheStart) {
    const std::vector<double> start{0.3, 0.1};
    const std::vector<double> targets{1.0, std::nan(""), 3.0};
    auto fit = optimize(kLine, Columns{{1.0, 2.0, 3.0}}, targets, start);
    EXPECT_EQ(fit.params, start);
    EXPECT_TRUE(std::isnan(fit.error));
    // A lone parameter leaf still evaluates at its NaN trial value; the NaN
    // error must not accept it.
    auto lone = optimize(Expr{{P(0)}}, Columns{{1.0, 2.0, 3.0}}, targets, std::vector<double>{0.3});
    EXPECT_EQ(lone.params, std::vector<double>{0.3});
    EXPECT_TRUE(std::isnan(lone.error));
}

TEST(Optimize, ExactFitReturnsTheStart) {
    const std::vector<double> start{2.0, 1.0};
    auto fit = optimize(kLine, Columns{{1.0, 2.0}}, std::vector<double>{3.0, 5.0}, start);
    EXPECT_EQ(fit.params, start);
    EXPECT_TRUE(bit_equal(0.0, fit.error));
}

TEST(Optimize, MoreTargetsThanSamplesUsesTheCommonRows) {
    // Rows without a prediction take no part in the steps; the error still
    // divides by every target.
    const std::vector<double> targets{3.0, 5.0, 100.0, 100.0};
    auto fit = optimize(kLine, Columns{{1.0, 2.0}}, targets, std::vector<double>{0.0, 0.0});
    ASSERT_EQ(fit.params.size(), 2u);
    EXPECT_TRUE(std::isfinite(fit.error));
    EXPECT_LT(fit.error, rmse(std::vector<double>{0.0, 0.0}, targets));
}

}  // namespace
}  // namespace zyl::discover
