#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "bit_equal.hpp"
#include "tension/knot.hpp"

namespace zyl {
namespace {

using test::bit_equal;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

void expect_knot(const Knot& want, const Knot& got) {
    EXPECT_TRUE(bit_equal(want.x, got.x)) << "x";
    EXPECT_TRUE(bit_equal(want.y, got.y)) << "y";
    EXPECT_EQ(want.flip_count, got.flip_count);
    EXPECT_TRUE(bit_equal(want.phase, got.phase)) << "phase";
}

TEST(Knot, ConstructionReducesPhaseKeepingSign) {
    EXPECT_TRUE(bit_equal(0.7168146928204138, make_knot({0, 1}, 0, 7.0).phase));
    EXPECT_TRUE(bit_equal(-3.7168146928204138, make_knot({0, 1}, 0, -10.0).phase));
    EXPECT_TRUE(bit_equal(-0.0, make_knot({0, 1}, 0, -0.0).phase));
    EXPECT_TRUE(std::isnan(make_knot({0, 1}, 0, std::numeric_limits<double>::infinity()).phase));
}

TEST(Knot, MirrorPulse) {
    expect_knot({2.0, 2.0251346478990997, 1, 1.5707963267948966}, mirror_pulse(make_knot({1.0, 2.0}, 0, 0.0)));
    EXPECT_TRUE(bit_equal(1e-300, mirror_pulse(make_knot({0.0, 0.0}, 0, 0.0)).x));
    EXPECT_EQ(kMin, mirror_pulse(make_knot({0.0, 1.0}, kMax, 0.0)).flip_count);
}

TEST(Knot, FlipIsFourPulses) {
    for (Knot k : {make_knot({1.0, 2.0}, 0, 0.0), make_knot({-3.0, 0.0}, kMax - 1, -10.0),
                   make_knot({0.5, kNaN}, -7, 2.0)}) {
        expect_knot(mirror_pulse(mirror_pulse(mirror_pulse(mirror_pulse(k)))), three_one_flip(k));
    }
    EXPECT_TRUE(bit_equal(0.0, three_one_flip(make_knot({1.0, 2.0}, 0, 0.0)).phase));
    EXPECT_EQ(kMin + 2, three_one_flip(make_knot({1.0, 2.0}, kMax - 1, 0.0)).flip_count);
}

TEST(Knot, TreadYieldTruncatesTowardZero) {
    struct {
        std::int64_t n, want;
    } cases[] = {
        {7, 2}, {8, 4}, {-5, -2}, {-8, -4}, {3, 0}, {kMin, kMin / 2}, {kMax, kMax / 4 * 2},
    };
    for (auto& c : cases) EXPECT_EQ(c.want, tread_yield(make_knot({0, 1}, c.n, 0.0))) << c.n;
}

TEST(Knot, Rho) {
    EXPECT_TRUE(bit_equal(1.0, rho(make_knot({0.0, 1.0}, 0, 0.0))));
    EXPECT_TRUE(bit_equal(691.7755278982137, rho(make_knot({0.0, 0.0}, 0, 0.0))));
    EXPECT_TRUE(bit_equal(0.0, rho(make_knot({0.0, -2.718281828459045}, 0, 0.0))));
    EXPECT_TRUE(bit_equal(1.0, rho(make_knot({0.0, 7.38905609893065}, 0, 0.0))));  // tension -1
}

TEST(Knot, Repr) {
    EXPECT_EQ("ZYLKnot(n=0, rho=2.025135, theta=0.0000, point=ZYLPoint { x: 1.0, y: 2.0 })",
              knot_repr(make_knot({1.0, 2.0}, 0, 0.0)));
    EXPECT_EQ("ZYLKnot(n=-9223372036854775808, rho=NaN, theta=-0.0000, point=ZYLPoint { x: NaN, y: 1e-5 })",
              knot_repr(make_knot({kNaN, 1e-5}, kMin, -0.0)));
}

TEST(SimulatePulses, Trajectory) {
    std::vector<std::array<double, 3>> out;
    simulate_pulses(0.0, 1.0, 3, out);
    const std::array<double, 3> want[] = {
        {0.0, 1.0, 1.0},
        {1.0, 1.0, 2.718281828459045},
        {1.0, 2.718281828459045, 1.718281828459045},
        {2.718281828459045, 1.718281828459045, 14.612937386866344},
    };
    ASSERT_EQ(4u, out.size());
    for (std::size_t k = 0; k < out.size(); ++k)
        for (std::size_t j = 0; j < 3; ++j) EXPECT_TRUE(bit_equal(want[k][j], out[k][j])) << k << "," << j;

    simulate_pulses(5.0, -0.0, 0, out);
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(bit_equal(-0.0, out[0][1]));
}

TEST(SimulatePulses, MatchesKnotPulses) {
    std::vector<std::array<double, 3>> out;
    simulate_pulses(-1.0, 0.0, 6, out);
    Knot k = make_knot({-1.0, 0.0}, 0, 0.0);
    for (const auto& entry : out) {
        EXPECT_TRUE(bit_equal(k.x, entry[0]));
        EXPECT_TRUE(bit_equal(k.y, entry[1]));
        EXPECT_TRUE(bit_equal(tension(k.x, k.y), entry[2]));
        k = mirror_pulse(k);
    }
}

TEST(SimulatePulses, StopsWhenItsPollSaysSo) {
    int polls = 0;
    const MapControl stop_at_second{[](void* n) { return ++*static_cast<int*>(n) == 2; }, &polls};
    std::vector<std::array<double, 3>> out;
    EXPECT_EQ(simulate_pulses(0.0, 1.0, 10'000'000, out, stop_at_second), kCancelled);
    EXPECT_EQ(polls, 2);
    EXPECT_LT(out.size(), 100'000u);
    std::vector<std::array<double, 3>> full;
    EXPECT_EQ(simulate_pulses(0.0, 1.0, 1000, full, {}), 1001u);
    for (std::size_t k = 0; k < out.size() && k < full.size(); ++k) EXPECT_EQ(out[k], full[k]);
}

TEST(SimulatePulses, RefusesTrajectoriesThatCannotBeHeld) {
    std::vector<std::array<double, 3>> out{{1.0, 2.0, 3.0}};
    EXPECT_THROW(simulate_pulses(0.0, 1.0, SIZE_MAX, out), std::length_error);
    EXPECT_TRUE(out.empty());
    EXPECT_THROW(simulate_pulses(0.0, 1.0, out.max_size() - 1, out), std::bad_alloc);
}

}  // namespace
}  // namespace zyl
