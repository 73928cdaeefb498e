#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "bit_equal.hpp"
#include "tension/pair.hpp"
#include "tension/pair_batches.hpp"

namespace zyl {
namespace {

using test::bit_equal;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = std::numbers::pi;

void expect_pair(Pair want, Pair got) {
    EXPECT_TRUE(bit_equal(want.real, got.real)) << "real";
    EXPECT_TRUE(bit_equal(want.imag, got.imag)) << "imag";
}

TEST(Pair, PolarAndRotation) {
    expect_pair({2.0, 0.0}, from_polar(2.0, 0.0));
    expect_pair({6.123233995736766e-17, 1.0}, from_polar(1.0, kPi / 2));
    expect_pair({-1.0, 1.2246467991473532e-16}, rotate_phase(1.0, 0.0, kPi));
    expect_pair({3.5, -2.25}, rotate_phase(3.5, -2.25, 0.0));
}

TEST(Pair, ModulusAndArgument) {
    EXPECT_TRUE(bit_equal(5.0, modulus({3.0, 4.0})));
    EXPECT_TRUE(bit_equal(kInf, modulus({1e200, 0.0})));
    EXPECT_TRUE(bit_equal(kPi, argument({-1.0, 0.0})));
    EXPECT_TRUE(bit_equal(-kPi, argument({-1.0, -0.0})));
}

TEST(Pair, ConjugateFlipsSignBit) {
    expect_pair({1.0, -2.0}, conjugate({1.0, 2.0}));
    EXPECT_TRUE(std::signbit(conjugate({1.0, 0.0}).imag));
    EXPECT_FALSE(std::signbit(conjugate({1.0, -0.0}).imag));
    Pair nan_flipped = conjugate({1.0, kNaN});
    EXPECT_TRUE(std::isnan(nan_flipped.imag));
    EXPECT_NE(std::signbit(kNaN), std::signbit(nan_flipped.imag));
}

TEST(Pair, Arithmetic) {
    expect_pair({4.0, 6.0}, Pair{1.0, 2.0} + Pair{3.0, 4.0});
    expect_pair({-2.0, -2.0}, Pair{1.0, 2.0} - Pair{3.0, 4.0});
    expect_pair({-5.0, 10.0}, Pair{1.0, 2.0} * Pair{3.0, 4.0});
    expect_pair({1.0, 2.0}, Pair{-5.0, 10.0} / Pair{3.0, 4.0});
}

TEST(Pair, DivisionFloorsSquaredModulus) {
    expect_pair({0.0, 0.0}, Pair{1.0, 0.0} / Pair{0.0, 0.0});
    expect_pair({1e140, 1e140}, Pair{1.0, 1.0} / Pair{1e-160, 0.0});  // 1e-320 -> 1e-300
    expect_pair({1e100, 1e100}, Pair{1.0, 1.0} / Pair{1e-200, 0.0});  // underflow -> 1e-300
    Pair q = Pair{1.0, 1.0} / Pair{kNaN, 0.0};
    EXPECT_TRUE(std::isnan(q.real) && std::isnan(q.imag));
}

TEST(Pair, TolerantEqualityIsStrictAndNotTransitive) {
    EXPECT_TRUE(tolerant_equal({1.0, 2.0}, {1.0 + 5e-10, 2.0}));
    EXPECT_FALSE(tolerant_equal({1.0, 2.0}, {1.0 + 2e-9, 2.0}));
    EXPECT_FALSE(tolerant_equal({0.0, 0.0}, {0.0, 1e-9}));
    EXPECT_TRUE(tolerant_equal({0.0, 0.0}, {6e-10, 0.0}));
    EXPECT_TRUE(tolerant_equal({6e-10, 0.0}, {1.2e-9, 0.0}));
    EXPECT_FALSE(tolerant_equal({0.0, 0.0}, {1.2e-9, 0.0}));
    EXPECT_FALSE(tolerant_equal({kNaN, 0.0}, {kNaN, 0.0}));
    EXPECT_FALSE(tolerant_equal({kInf, 0.0}, {kInf, 0.0}));
}

TEST(Pair, Repr) {
    EXPECT_EQ("ZYLPair(1.000000 - 2.000000i)", pair_repr({1.0, -2.0}));
    EXPECT_EQ("ZYLPair(0.500000 + 0.250000i)", pair_repr({0.5, 0.25}));
    EXPECT_EQ("ZYLPair(1.000000 - NaNi)", pair_repr({1.0, kNaN}));
    EXPECT_EQ("ZYLPair(1.000000 + 0.000000i)", pair_repr({1.0, -0.0}));
    EXPECT_EQ("ZYLPair(-inf - infi)", pair_repr({-kInf, -kInf}));
}

TEST(PairBatches, RotatePhaseStopsAtShorterInput) {
    std::vector<Pair> out{{9.0, 9.0}};
    rotate_phase_batch(std::vector<Pair>{{1.0, 0.0}, {0.0, 1.0}}, std::vector<double>{0.0, kPi / 2, 1.0}, out);
    ASSERT_EQ(2u, out.size());
    expect_pair({1.0, 0.0}, out[0]);
    expect_pair({-1.0, 6.123233995736766e-17}, out[1]);
    rotate_phase_batch(std::vector<Pair>{{1.0, 2.0}}, {}, out);
    EXPECT_TRUE(out.empty());
}

TEST(PairBatches, RotatePhaseMatchesScalarRotation) {
    std::vector<Pair> in{{1.5, -2.0}, {1e300, 3e-310}, {-0.0, kInf}};
    std::vector<double> angles{0.3, -7.0, 1e22};
    std::vector<Pair> out;
    rotate_phase_batch(in, angles, out);
    for (std::size_t k = 0; k < in.size(); ++k) expect_pair(rotate_phase(in[k].real, in[k].imag, angles[k]), out[k]);
}

TEST(PairBatches, SchrodingerStep) {
    std::vector<Pair> out;
    schrodinger_step_batch(std::vector<Pair>{{1.0, 0.0}}, std::vector<double>{1.0}, 0.5, 1.0, out);
    ASSERT_EQ(1u, out.size());
    expect_pair({0.8775825618903728, -0.479425538604203}, out[0]);

    // ((-v) * dt) / hbar = -0.04285714285714286; grouping dt / hbar first
    // would give -0.042857142857142864.
    schrodinger_step_batch(std::vector<Pair>{{1.0, 0.0}}, std::vector<double>{0.1}, 0.3, 0.7, out);
    expect_pair({0.9990817732108861, -0.04284402452841759}, out[0]);

    std::vector<Pair> psi{{0.25, -3.0}, {7.0, 1e-300}};
    schrodinger_step_batch(psi, std::vector<double>{2.0, -5.0}, 0.0, 1.0, out);
    for (std::size_t k = 0; k < psi.size(); ++k) expect_pair(psi[k], out[k]);

    schrodinger_step_batch(psi, std::vector<double>{2.0, 0.0}, 0.5, 0.0, out);
    for (const Pair& p : out) EXPECT_TRUE(std::isnan(p.real) && std::isnan(p.imag));
}

}  // namespace
}  // namespace zyl
