#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "algebra/octonion.hpp"

namespace {

using zyl::Octonion;
using zyl::octonion_mul;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

Octonion unit(std::size_t k, double sign = 1.0) {
    Octonion e{};
    e[k] = sign;
    return e;
}

void expect_same_bits(const Octonion& got, const Octonion& want) {
    for (std::size_t k = 0; k < 8; ++k)
        EXPECT_EQ(bits(got[k]), bits(want[k])) << "component " << k << ": " << got[k] << " vs " << want[k];
}

double norm(const Octonion& a) {
    double s = 0.0;
    for (double v : a) s += v * v;
    return std::sqrt(s);
}

TEST(OctonionTable, FollowsTheTripleRules) {
    zyl::OctonionTable want{};
    for (std::uint8_t j = 0; j < 8; ++j) {
        want[0][j] = {+1, j};
        want[j][0] = {+1, j};
    }
    for (std::uint8_t i = 1; i < 8; ++i) want[i][i] = {-1, 0};
    for (int p = 1; p <= 7; ++p) {
        auto q = static_cast<std::uint8_t>(p % 7 + 1), r = static_cast<std::uint8_t>((p + 2) % 7 + 1);
        auto pp = static_cast<std::uint8_t>(p);
        const std::uint8_t cycle[3][3] = {{pp, q, r}, {q, r, pp}, {r, pp, q}};
        for (const auto& t : cycle) {
            want[t[0]][t[1]] = {+1, t[2]};
            want[t[1]][t[0]] = {-1, t[2]};
        }
    }
    for (std::size_t i = 0; i < 8; ++i) {
        unsigned seen = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            const auto e = zyl::kOctonionTable[i][j];
            EXPECT_EQ(e.sign, want[i][j].sign) << "e" << i << "*e" << j;
            EXPECT_EQ(e.index, want[i][j].index) << "e" << i << "*e" << j;
            seen |= 1u << e.index;
        }
        EXPECT_EQ(seen, 0xffu) << "row " << i << " is not a permutation";
    }
}

TEST(OctonionMul, BasisProductsAndNonAssociativity) {
    expect_same_bits(octonion_mul(unit(1), unit(2)), unit(4));
    expect_same_bits(octonion_mul(unit(2), unit(1)), unit(4, -1.0));
    expect_same_bits(octonion_mul(octonion_mul(unit(1), unit(2)), unit(3)), unit(6, -1.0));
    expect_same_bits(octonion_mul(unit(1), octonion_mul(unit(2), unit(3))), unit(6));
    expect_same_bits(octonion_mul(unit(7), unit(7)), unit(0, -1.0));
}

TEST(OctonionMul, ZeroFactorsFormNoTerm) {
    const Octonion inf_real = {kInf, 0, 0, 0, 0, 0, 0, 0};
    expect_same_bits(octonion_mul(Octonion{}, inf_real), Octonion{});
    expect_same_bits(octonion_mul(inf_real, Octonion{}), Octonion{});
    // Every row but e3 is skipped; without skipping each 0 * inf would be NaN.
    const Octonion all_inf = {kInf, kInf, kInf, kInf, kInf, kInf, kInf, kInf};
    expect_same_bits(octonion_mul(unit(3), all_inf), {-kInf, kInf, kInf, kInf, -kInf, -kInf, kInf, -kInf});
    // -0.0 is zero too: it is skipped and leaves the +0.0 start untouched.
    expect_same_bits(octonion_mul(unit(0, -0.0), unit(1)), Octonion{});
}

TEST(OctonionMul, NaNSpreadsOnlyThroughFormedTerms) {
    const Octonion c = octonion_mul({kNaN, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 2, 0, 0, 0, 0, 0});
    for (std::size_t k = 0; k < 8; ++k) {
        if (k == 0 || k == 2)
            EXPECT_TRUE(std::isnan(c[k])) << k;
        else
            EXPECT_EQ(bits(c[k]), bits(0.0)) << k;
    }
    const Octonion d = octonion_mul({1, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, kNaN, 0, 0});
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(std::isnan(d[k]), k == 5) << k;
}

// Expected values summed left to right in the written component order; every
// case has a component whose bits change if the terms are added in another
// order.
TEST(OctonionMul, ExactBitsInTheStatedOrder) {
    struct Case {
        Octonion a, b, c;
    };
    const Case cases[] = {
        {{1e16, 1.0, 1e16, 0.0, 3.0, 0.0, 0.0, 1.0},
         {1.0, 1.0, -1.0, 0.5, 0.25, 7.0, 0.0, 1e-16},
         {0x1.1c37937e08000p+54, 0x1.6345785d8a002p+53, 0x1.8p+1, -0x1.cdda4faccd000p+55,
          -0x1.aa535d3d0c005p+52, 0x1.0a741a4627800p+56, 0x1.cp+1, 0x1.78p+4}},
        {{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8},
         {1.1, -2.2, 3.3, -4.4, 5.5, -6.6, 7.7, -8.8},
         {0x1.0b851eb851ebap+2, 0x1.27ae147ae147ap+3, -0x1.bb851eb851eb8p+3, 0x1.fae147ae147afp+1,
          -0x1.deb851eb851eap+1, 0x1.8a3d70a3d70a4p+1, 0x1.670a3d70a3d71p+3, -0x1.a666666666666p+2}},
        {{1e308, 1e308, -1e308, 0, 0, 0, 0, 0},
         {10.0, 0, 0, 0, 0, 0, 0, 1e-320},
         {kInf, kInf, -kInf, -0x1.1978cab5a0546p-40, 0.0, 0.0, 0x1.1978cab5a0546p-40,
          0x1.1978cab5a0546p-40}},
    };
    for (const auto& t : cases) expect_same_bits(octonion_mul(t.a, t.b), t.c);
}

TEST(OctonionMul, NormIsMultiplicative) {
    std::mt19937_64 rng(20240607);
    std::uniform_real_distribution<double> coef(-10.0, 10.0);
    for (int n = 0; n < 2000; ++n) {
        Octonion a, b;
        for (auto& v : a) v = coef(rng);
        for (auto& v : b) v = coef(rng);
        const double want = norm(a) * norm(b);
        EXPECT_NEAR(norm(octonion_mul(a, b)), want, 1e-14 * want);
    }
}

TEST(OctonionMulBatch, ShorterLengthAndSameBitsAsOneAtATime) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> coef(-1e3, 1e3);
    std::vector<Octonion> a(5003), b(4999);
    for (auto* batch : {&a, &b})
        for (auto& o : *batch)
            for (auto& v : o) v = (rng() % 4 == 0) ? 0.0 : coef(rng);
    std::vector<Octonion> out(3, unit(1));
    EXPECT_EQ(zyl::octonion_mul_batch(a, b, out), b.size());
    ASSERT_EQ(out.size(), b.size());
    for (std::size_t k = 0; k < out.size(); ++k) expect_same_bits(out[k], octonion_mul(a[k], b[k]));

    EXPECT_EQ(zyl::octonion_mul_batch(a, {}, out), 0u);
    EXPECT_TRUE(out.empty());
}

}  // namespace
