#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "algebra/octonion.hpp"
#include "bit_equal.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

zyl::Octonion octonion(std::mt19937_64& gen, bool finite) {
    const double specials[] = {0.0, -0.0, 1e308, -1e308, 5e-324, kInf, -kInf, kNaN};
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::uniform_int_distribution<int> pick(0, finite ? 12 : 15);
    zyl::Octonion v;
    for (double& c : v) {
        const int k = pick(gen) - 8;
        c = k >= 0 ? specials[k] : value(gen);
    }
    return v;
}

TEST(OctonionFinite, SameBitsAsTheTermByTermProduct) {
    std::mt19937_64 gen(8);
    int taken = 0;
    for (int n = 0; n < 20000; ++n) {
        const zyl::Octonion a = octonion(gen, n % 2 == 0), b = octonion(gen, n % 3 != 0);
        zyl::Octonion fast{};
        if (!zyl::octonion_mul_finite(a, b, fast)) continue;
        ++taken;
        const zyl::Octonion want = zyl::octonion_mul(a, b);
        for (std::size_t k = 0; k < 8; ++k) ASSERT_TRUE(zyl::test::bit_equal(want[k], fast[k])) << "pair " << n << " component " << k;
    }
    EXPECT_GT(taken, 5000);
}

TEST(OctonionFinite, PairsGiveTheTermByTermProducts) {
    std::mt19937_64 gen(9);
    int taken = 0;
    for (int n = 0; n < 20000; ++n) {
        const bool finite = n % 4 != 0;
        const zyl::Octonion a0 = octonion(gen, finite), b0 = octonion(gen, finite);
        const zyl::Octonion a1 = octonion(gen, true), b1 = octonion(gen, n % 5 != 0);
        zyl::Octonion c0{}, c1{};
        if (!zyl::octonion_mul_finite_pair(a0, b0, a1, b1, c0, c1)) continue;
        ++taken;
        const zyl::Octonion w0 = zyl::octonion_mul(a0, b0), w1 = zyl::octonion_mul(a1, b1);
        for (std::size_t k = 0; k < 8; ++k) {
            ASSERT_TRUE(zyl::test::bit_equal(w0[k], c0[k])) << "pair " << n << " component " << k;
            ASSERT_TRUE(zyl::test::bit_equal(w1[k], c1[k])) << "pair " << n << " component " << k;
        }
    }
    EXPECT_GT(taken, 3000);
}

TEST(OctonionFinite, RefusesInfinitiesAndNaN) {
    zyl::Octonion a{}, b{}, c{};
    a[3] = kInf;
    EXPECT_FALSE(zyl::octonion_mul_finite(a, b, c));
    a[3] = 0.0;
    b[7] = kNaN;
    EXPECT_FALSE(zyl::octonion_mul_finite(a, b, c));
    b[7] = 0.0;
    EXPECT_TRUE(zyl::octonion_mul_finite(a, b, c));
}

}  // namespace
