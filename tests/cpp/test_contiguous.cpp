#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "bit_equal.hpp"
#include "kernels/contiguous.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> values(std::size_t n, unsigned seed) {
    const double specials[] = {0.0, -0.0, kInf, -kInf, kNaN, 5e-324, -1e-301, 1e-300, -1e-300, 1e308, -4.0};
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    std::uniform_int_distribution<int> pick(0, 21);
    std::vector<double> v(n);
    for (double& x : v) {
        const int k = pick(gen);
        x = k < 11 ? specials[k] : value(gen);
    }
    return v;
}

// Every length up to a few vectors, so that the vector body and the scalar
// tail both meet every special value.
template <class Rule>
void expect_binary_equals_scalar(double (*scalar)(double, double)) {
    for (std::size_t n = 0; n < 40; ++n) {
        const auto a = values(n, 1 + n), b = values(n, 100 + n);
        std::vector<double> out(n);
        zyl::kernels::binary_run<Rule>(a.data(), b.data(), out.data(), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(zyl::test::bit_equal(scalar(a[i], b[i]), out[i])) << n << ":" << i;
    }
}

TEST(ContiguousKernels, LanesGiveTheScalarRules) {
    expect_binary_equals_scalar<zyl::kernels::AddRule>(zyl::kernels::add);
    expect_binary_equals_scalar<zyl::kernels::SubRule>(zyl::kernels::sub);
    expect_binary_equals_scalar<zyl::kernels::MulRule>(zyl::kernels::mul);
    expect_binary_equals_scalar<zyl::kernels::DivRule>(zyl::kernels::div);
    for (std::size_t n = 0; n < 40; ++n) {
        const auto x = values(n, 7 + n);
        std::vector<double> out(n);
        zyl::kernels::unary_run<zyl::kernels::SqrtAbsRule>(x.data(), out.data(), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(zyl::test::bit_equal(zyl::kernels::sqrt_abs(x[i]), out[i]));
    }
}

TEST(ContiguousKernels, TooSmallDivisorsGiveTheDefaultNaN) {
    const double a[4] = {1.0, -1.0, kInf, 0.0}, b[4] = {0.0, -1e-301, 5e-324, -0.0};
    double out[4];
    zyl::kernels::binary_run<zyl::kernels::DivRule>(a, b, out, 4);
    for (double v : out) EXPECT_EQ(std::bit_cast<std::uint64_t>(v), 0x7ff8000000000000u);
}

}  // namespace
