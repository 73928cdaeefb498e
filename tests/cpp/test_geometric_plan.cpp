#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "algebra/multivector.hpp"
#include "bit_equal.hpp"

namespace {

using Signature = std::vector<std::int8_t>;
using Vec = std::vector<double>;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Coefficients with exact zeros of both signs and special values mixed in;
// without the infinities and NaN the plan takes its branch-free path.
Vec coefficients(std::mt19937_64& gen, std::size_t len, bool finite) {
    const double specials[] = {0.0, -0.0, 0.0, -0.0, 1e308, -1e308, 5e-324, kInf, -kInf, kNaN};
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::uniform_int_distribution<int> pick(0, finite ? 16 : 19);
    Vec v(len);
    for (double& c : v) {
        const int k = pick(gen) - 10;
        c = k >= 0 ? specials[k] : value(gen);
    }
    return v;
}

void expect_plan_matches_product(std::size_t len, const Signature& sig, int pairs) {
    std::mt19937_64 gen(len * 131 + sig.size());
    const zyl::GeometricProductPlan plan(len, sig);
    Vec planned(len), direct;
    for (int n = 0; n < pairs; ++n) {
        const Vec a = coefficients(gen, len, n % 2 == 0), b = coefficients(gen, len, n % 3 != 0);
        const zyl::GeometricProductStatus want = zyl::geometric_product(a, b, sig, direct);
        const zyl::GeometricProductStatus got = plan.multiply(a.data(), b.data(), planned.data());
        ASSERT_EQ(zyl::describe(got), zyl::describe(want)) << "pair " << n;
        if (!want.ok()) continue;
        for (std::size_t k = 0; k < len; ++k) EXPECT_TRUE(zyl::test::bit_equal(direct[k], planned[k])) << "blade " << k;
    }
}

TEST(GeometricProductPlan, SameBitsAsTheDirectProduct) {
    expect_plan_matches_product(1, {}, 50);
    expect_plan_matches_product(4, {1, -1}, 200);
    expect_plan_matches_product(8, {1, 1, 1}, 200);
    expect_plan_matches_product(16, {0, 1, -1, 1}, 100);
    expect_plan_matches_product(32, {1, 1, 1, 1, -1}, 50);
    expect_plan_matches_product(16, {127, -128, 3, -2}, 100);
}

TEST(GeometricProductPlan, SameFaultsAsTheDirectProduct) {
    // A length that is no power of two, and signatures too short: the fault
    // comes only with the first term that needs what is missing.
    expect_plan_matches_product(3, {1, 1}, 200);
    expect_plan_matches_product(6, {1, 1, 1}, 200);
    expect_plan_matches_product(8, {1}, 200);
    expect_plan_matches_product(4, {}, 200);
}

TEST(GeometricProductPlan, TermsThatAreNotFormedDemandNothing) {
    const zyl::GeometricProductPlan plan(4, Signature{});
    Vec r(4);
    const Vec a = {2.0, 0.0, 0.0, 0.0}, b = {kInf, 1.0, 0.0, -0.0};
    ASSERT_TRUE(plan.multiply(a.data(), b.data(), r.data()).ok());
    EXPECT_TRUE(zyl::test::bit_equal(kInf, r[0]));
    EXPECT_TRUE(zyl::test::bit_equal(2.0, r[1]));
    EXPECT_TRUE(zyl::test::bit_equal(0.0, r[2]));
}

}  // namespace
