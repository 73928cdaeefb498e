#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "algebra/christoffel.hpp"

namespace {

using zyl::christoffel;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

std::int64_t ulps_apart(double a, double b) {
    auto ordered = [](double v) {
        const auto i = std::bit_cast<std::int64_t>(v);
        return i < 0 ? std::numeric_limits<std::int64_t>::min() - i : i;
    };
    const std::int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

// Index triples of the three symbols, with the two orders of the mixed one.
struct Triple {
    std::size_t lam, mu, nu;
};
constexpr Triple kRrr{1, 1, 1}, kRtt{1, 0, 0}, kTtr{0, 0, 1}, kTrt{0, 1, 0};
constexpr Triple kZeroTriples[] = {{1, 1, 0}, {1, 0, 1}, {0, 0, 0}, {0, 1, 1}, {2, 0, 0},
                                   {0, 2, 1}, {1, 1, 2}, {3, 3, 3}, {2, 2, 2}};

double eval(const Triple& t, double x, double rs) { return christoffel(x, t.lam, t.mu, t.nu, rs); }

// Expected bits evaluated independently in the stated order.
TEST(Christoffel, ExactBits) {
    struct Case {
        double x, rs, rrr, rtt, ttr;
    };
    const Case cases[] = {
        {0.5, 1.0, -0x1.deb38697f8d60p-2, 0x1.28724fa0e8252p-4, 0x1.deb38697f8d60p-2},
        {2.0, 0.3, -0x1.7756cf43738dap-9, 0x1.597ad6a6d64b0p-9, 0x1.7756cf43738dap-9},
        {10.0, 3.0, -0x1.a8fb697183f2ap-29, 0x1.a8ddc73065389p-29, 0x1.a8fb697183f2ap-29},
        {-3.0, 0.01, -0x1.4316a6ef6f7dfp+1, 0x1.9cab5c944bd3cp+0, 0x1.4316a6ef6f7dfp+1},
        // Inside the horizon: evaluated at rs + 1e-9.
        {0.0, 2.0, -0x1.dcd64d6613bbfp+28, 0x1.12e0bffb63688p-33, 0x1.dcd64d6613bbfp+28},
        // Beyond the guard the radius is exp(ln 800), not infinity.
        {800.0, 1.0, -0x1.a3f4916faa7e0p-21, 0x1.a2e7f6f4be839p-21, 0x1.a3f4916faa7e0p-21},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bits(eval(kRrr, c.x, c.rs)), bits(c.rrr)) << "x=" << c.x;
        EXPECT_EQ(bits(eval(kRtt, c.x, c.rs)), bits(c.rtt)) << "x=" << c.x;
        EXPECT_EQ(bits(eval(kTtr, c.x, c.rs)), bits(c.ttr)) << "x=" << c.x;
        EXPECT_EQ(bits(eval(kTrt, c.x, c.rs)), bits(c.ttr)) << "x=" << c.x;
    }
}

TEST(Christoffel, MatchesClosedFormsOutsideTheHorizon) {
    for (double rs : {0.1, 1.0, 2.5, 40.0}) {
        for (double x : {-1.0, 0.3, 1.0, 2.0, 5.0, 20.0}) {
            const double r = std::exp(x);
            if (r < 1.5 * rs) continue;
            EXPECT_LE(ulps_apart(eval(kRrr, x, rs), -rs / (2.0 * r * (r - rs))), 4) << x << " " << rs;
            EXPECT_LE(ulps_apart(eval(kRtt, x, rs), rs * (r - rs) / (2.0 * r * r * r)), 4) << x << " " << rs;
            EXPECT_LE(ulps_apart(eval(kTtr, x, rs), rs / (2.0 * r * (r - rs))), 4) << x << " " << rs;
        }
    }
}

TEST(Christoffel, OtherTriplesAreZero) {
    for (const auto& t : kZeroTriples)
        for (double x : {0.0, 1.0, -800.0, 800.0, kNaN, kInf})
            for (double rs : {1.0, 0.0, kNaN, kInf, -1.0})
                EXPECT_EQ(bits(eval(t, x, rs)), bits(0.0)) << t.lam << t.mu << t.nu << " x=" << x;
}

TEST(Christoffel, ZeroRadiusOfTheHole) {
    EXPECT_EQ(bits(eval(kRrr, 0.0, 0.0)), bits(-0.0));
    EXPECT_EQ(bits(eval(kRtt, 0.0, 0.0)), bits(0.0));
    EXPECT_EQ(bits(eval(kTtr, 0.0, 0.0)), bits(0.0));
}

TEST(Christoffel, GuardsGivePositiveZero) {
    for (const auto& t : {kRrr, kRtt, kTtr}) {
        // rs = +inf: rs >= r' for every radius, NaN included.
        for (double x : {0.0, 800.0, kInf, kNaN}) EXPECT_EQ(bits(eval(t, x, kInf)), bits(0.0)) << x;
        // rs + 1e-9 rounds back to rs.
        EXPECT_EQ(bits(eval(t, 0.0, 1e10)), bits(0.0));
        // A radius that underflows to 0 with rs <= -1e-9 leaves r' <= 0.
        EXPECT_EQ(bits(eval(t, -800.0, -1.0)), bits(0.0));
        EXPECT_EQ(bits(eval(t, -800.0, -1e-9)), bits(0.0));
    }
    // A negative rs with a real radius passes the guards.
    EXPECT_EQ(eval(kTtr, 0.0, -1.0), -0.25);
}

TEST(Christoffel, LogarithmGuardStartsAbove709_78) {
    for (const auto& t : {kRrr, kRtt, kTtr}) {
        EXPECT_EQ(bits(eval(t, 709.781, 1.0)), bits(eval(t, std::log(709.781), 1.0)));
        // At the threshold itself r = exp(709.78), about 1.8e308: the symbols vanish.
        EXPECT_EQ(std::fabs(eval(t, 709.78, 1.0)), 0.0);
    }
}

TEST(Christoffel, NaNOperandsOfTheClamp) {
    // rs NaN is ignored by the clamp, so the symbols themselves become NaN.
    for (const auto& t : {kRrr, kRtt, kTtr, kTrt}) EXPECT_TRUE(std::isnan(eval(t, 1.0, kNaN)));
    // A NaN radius is evaluated at the horizon, like any radius inside it.
    for (const auto& t : {kRrr, kRtt, kTtr})
        EXPECT_EQ(bits(eval(t, kNaN, 2.0)), bits(eval(t, -50.0, 2.0)));
    EXPECT_TRUE(std::isnan(eval(kTtr, kNaN, kNaN)));
}

TEST(Christoffel, InsideTheHorizonIsLargeButFinite) {
    for (double rs : {0.5, 2.0, 10.0}) {
        const double rp = rs + 1e-9;
        const double v = eval(kTtr, std::log(rs) - 1.0, rs);
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_NEAR(v, rs / (1e-9 * (rp + rp)), 1e-6 * v) << rs;
    }
}

TEST(ChristoffelBatch, InputOrderSecondValueIgnored) {
    std::vector<std::pair<double, double>> points;
    for (int k = 0; k < 4001; ++k) {
        const double second = (k % 3 == 0) ? kNaN : (k % 3 == 1 ? -kInf : k);
        points.emplace_back(-5.0 + 0.01 * k, second);
    }
    std::vector<double> out = {1.0, 2.0};
    for (const auto& t : {kRrr, kRtt, kTtr, Triple{1, 1, 0}}) {
        EXPECT_EQ(zyl::christoffel_batch(points, t.lam, t.mu, t.nu, 0.7, out), points.size());
        ASSERT_EQ(out.size(), points.size());
        for (std::size_t k = 0; k < points.size(); ++k)
            ASSERT_EQ(bits(out[k]), bits(eval(t, points[k].first, 0.7))) << k;
    }
    EXPECT_EQ(zyl::christoffel_batch({}, 1, 1, 1, 0.7, out), 0u);
    EXPECT_TRUE(out.empty());
}

}  // namespace
