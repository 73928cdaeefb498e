#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bit_equal.hpp"
#include "tension/guards.hpp"
#include "tension/point.hpp"

namespace zyl {
namespace {

using test::bit_equal;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kLn1e310 = -713.8013788281542;

struct Case {
    double in;
    double want;
};

void expect_table(double (*rule)(double), std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_TRUE(bit_equal(c.want, rule(c.in))) << "input " << c.in;
}

TEST(Guards, ExpTermSwitchesStrictlyAboveThreshold) {
    double above = std::nextafter(kOverflowThreshold, kInf);
    expect_table(exp_term, {
        {0.0, 1.0},
        {709.0, 8.218407461554972e+307},
        {kOverflowThreshold, 1.7976931348622732e308},
        {710.0, 710.0000000000002},
        {1000.0, 999.9999999999998},
        {kInf, kInf},
        {-kInf, 0.0},
        {kNaN, kNaN},
    });
    EXPECT_TRUE(std::isfinite(exp_term(above)));
}

TEST(Guards, LogTermUsesMagnitudeAndFloorsOnlyZero) {
    expect_table(log_term, {
        {1.0, 0.0},
        {0.0, kFloorLog},
        {-0.0, kFloorLog},
        {-2.0, 0.6931471805599453},
        {1e-310, kLn1e310},
        {-1e-310, kLn1e310},
        {-kInf, kInf},
        {kNaN, kNaN},
    });
}

TEST(Guards, ClampedLogLiftsOnlyNonPositive) {
    expect_table(clamped_log, {
        {0.0, kFloorLog},
        {-0.0, kFloorLog},
        {-1e-300, kFloorLog},
        {-1e-310, kFloorLog},
        {1e-310, kLn1e310},
        {-2.0, 0.6931471805599453},
        {kNaN, kNaN},
    });
}

TEST(Guards, FlooredMagnitudeLiftsEverythingSmall) {
    expect_table(floored_magnitude, {
        {1e-310, 1e-300},
        {-1e-310, 1e-300},
        {1e-300, 1e-300},
        {-0.0, 1e-300},
        {kNaN, 1e-300},
        {-2.0, 2.0},
        {-kInf, kInf},
    });
}

TEST(Guards, FloorLogIsLnOfFloor) { EXPECT_TRUE(bit_equal(kFloorLog, std::log(kFloor))); }

TEST(Guards, Tension) {
    struct {
        double x, y, want;
    } cases[] = {
        {0.0, 1.0, 1.0},
        {0.0, -2.718281828459045, 0.0},
        {0.0, 0.0, 691.7755278982137},
        {0.0, -0.0, 691.7755278982137},
        {710.0, 1.0, 710.0000000000002},
        {kNaN, 1.0, kNaN},
    };
    for (auto& c : cases) EXPECT_TRUE(bit_equal(c.want, tension(c.x, c.y))) << c.x << ", " << c.y;
}

void expect_point(Point want, Point got) {
    EXPECT_TRUE(bit_equal(want.x, got.x)) << "x";
    EXPECT_TRUE(bit_equal(want.y, got.y)) << "y";
}

TEST(Point, MirrorPulseAndFrameShiftDifferOnlyForNaNAndTinyY) {
    struct {
        Point in, pulse, shift;
    } cases[] = {
        {{1.0, 0.0}, {1e-300, 693.4938097266727}, {1e-300, 693.4938097266727}},
        {{0.0, 1e-310}, {1e-310, 714.8013788281542}, {1e-300, 691.7755278982137}},
        {{0.0, kNaN}, {kNaN, kNaN}, {1e-300, 691.7755278982137}},
        {{1.0, -2.0}, {2.0, 2.0251346478990997}, {2.0, 2.0251346478990997}},
    };
    for (auto& c : cases) {
        expect_point(c.pulse, mirror_pulse(c.in));
        expect_point(c.shift, frame_shift(c.in));
    }
    // The new y is the receiver's tension, including at y = +-0.
    for (double y : {0.0, -0.0, 3.0, -3.0}) EXPECT_TRUE(bit_equal(tension(2.0, y), mirror_pulse({2.0, y}).y));
}

TEST(Point, IsSlipping) {
    EXPECT_TRUE(is_slipping({710.0, 1.0}));
    EXPECT_TRUE(is_slipping({kInf, 1.0}));
    EXPECT_FALSE(is_slipping({kOverflowThreshold, 1.0}));
    EXPECT_FALSE(is_slipping({kNaN, 1.0}));
}

TEST(Point, ConservesTensionComparesResidualStrictly) {
    // E(0.1) - ln(1e-5) + ln(1e-5) misses E(0.1) by 8.881784197001252e-16.
    const Point self{0.1, 0.0};
    const Point next{0.0, 1e-5};
    const double residual = 8.881784197001252e-16;
    EXPECT_FALSE(conserves_tension(self, next, residual));
    EXPECT_TRUE(conserves_tension(self, next, std::nextafter(residual, 1.0)));
    EXPECT_FALSE(conserves_tension({0.0, 1.0}, {0.0, 2.0}, 0.0));
    EXPECT_FALSE(conserves_tension({0.0, 1.0}, {0.0, 2.0}, kNaN));
    // Only self.x and next.y are read.
    EXPECT_FALSE(conserves_tension({0.1, kNaN}, {kNaN, 1e-5}, residual));
    // A non-finite E(self.x) conserves for any tolerance.
    EXPECT_TRUE(conserves_tension({kNaN, 1.0}, {0.0, 2.0}, kNaN));
    EXPECT_TRUE(conserves_tension({kInf, 1.0}, {0.0, 2.0}, -1.0));
}

TEST(Point, PairIsExpTermAndClampedLog) {
    struct {
        Point in;
        double real, imag;
    } cases[] = {
        {{0.0, 0.0}, 1.0, kFloorLog},
        {{0.0, -1e-310}, 1.0, kFloorLog},
        {{0.0, 1e-310}, 1.0, kLn1e310},
    };
    for (auto& c : cases) {
        Pair p = to_pair(c.in);
        EXPECT_TRUE(bit_equal(c.real, p.real));
        EXPECT_TRUE(bit_equal(c.imag, p.imag));
    }
}

TEST(Point, Deltas) {
    EXPECT_TRUE(bit_equal(1.7885007247348956, euclidean_delta({0.5, 2.0})));
    EXPECT_TRUE(bit_equal(kInf, euclidean_delta({355.0, 2.0})));
    EXPECT_TRUE(bit_equal(0.8924515520666878, minkowski_delta({0.5, 2.0}, true, 2.0)));
    EXPECT_TRUE(bit_equal(0.0, minkowski_delta({0.0, 2.718281828459045}, false, 1.0)));
    for (Point p : {Point{0.5, 2.0}, Point{3.0, 1e-9}, Point{-1.0, 0.0}, Point{kNaN, 1.0}})
        for (double c : {0.0, 1.0, -3.5, 1e200})
            EXPECT_TRUE(bit_equal(minkowski_delta(p, true, c), minkowski_delta(p, false, c)));
}

TEST(Point, Boost) {
    struct {
        Point in;
        double phi, c;
        Point want;
    } cases[] = {
        {{0.5, 2.0}, 0.0, 1.0, {0.5, 2.0}},
        {{1.0, 2.0}, 0.5, 1.0, {0.9947356451247424, 0.5300027195037522}},
        {{0.0, 0.0}, 0.0, 1.0, {0.0, 1.0000000000000237e-300}},
        {{0.0, 1e-320}, 0.0, 1.0, {0.0, 1.216780750623423e-308}},  // exp(-709)
        {{0.0, 1e308}, 0.0, 1.0, {0.0, 8.218407461554972e+307}},   // exp(709)
        {{1.0, 2.0}, 0.0, 0.0, {kFloorLog, 2.0}},                  // S / c is inf, times sh = 0 is NaN
        {{1.0, 2.0}, kNaN, 1.0, {kFloorLog, kNaN}},
    };
    for (auto& c : cases) expect_point(c.want, boost(c.in, c.phi, c.c));
}

TEST(Point, TextForms) {
    EXPECT_EQ("ZYLPoint(x=1.000000, y=2.000000)", point_repr({1.0, 2.0}));
    EXPECT_EQ("ZYLPoint(x=NaN, y=-inf)", point_repr({kNaN, -kInf}));
    EXPECT_EQ("ZYLPoint(x=-0.000000, y=0.007812)", point_repr({-0.0, 0.0078125}));
    EXPECT_EQ("ZYLPoint { x: 1.0, y: -0.5 }", point_debug({1.0, -0.5}));
    EXPECT_EQ("ZYLPoint { x: 1e16, y: NaN }", point_debug({1e16, kNaN}));
}

}  // namespace
}  // namespace zyl
