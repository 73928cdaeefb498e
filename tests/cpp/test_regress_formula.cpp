#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bit_equal.hpp"
#include "regress/formula.hpp"
#include "regress/render.hpp"

namespace zyl::regress {
namespace {

using test::bit_equal;

Term V(std::uint32_t j) { return Term::variable(j); }
Term C(double v) { return Term::constant(v, true); }
Term X(int p, int q, Basis b) { return Term::exact_constant({p, q, b}, true); }
Term O(Fn f) { return Term::operation(f); }

struct Data {
    std::vector<std::vector<double>> cols;
    std::vector<const double*> ptrs;
    explicit Data(std::vector<std::vector<double>> c) : cols(std::move(c)) {
        for (auto& col : cols) ptrs.push_back(col.data());
    }
    Columns view() const { return {ptrs, cols.empty() ? 0 : cols[0].size()}; }
};

TEST(RegressExact, NearestDoubleOfEachForm) {
    const struct {
        Exact x;
        double want;
    } cases[] = {
        {{1, 1, Basis::One}, 1.0},
        {{3, 5, Basis::One}, 0.6},
        {{-1, 3, Basis::One}, -1.0 / 3.0},
        {{1, 1, Basis::Pi}, 3.141592653589793},
        {{4, 1, Basis::Pi}, 12.566370614359172},
        {{1, 2, Basis::Pi}, 1.5707963267948966},
        {{1, 1, Basis::PiSquared}, 9.869604401089358},
        {{1, 1, Basis::E}, 2.718281828459045},
        {{1, 1, Basis::SqrtTwoPi}, 2.5066282746310007},  // not sqrt(2 * pi) of the rounded 2 pi
        {{1, 1, Basis::SqrtTwo}, 1.4142135623730951},
        {{1, 1, Basis::SqrtPi}, 1.772453850905516},
    };
    for (const auto& c : cases) EXPECT_TRUE(bit_equal(c.want, exact_value(c.x))) << c.x.p << "/" << c.x.q;
}

TEST(RegressNames, RoundTrip) {
    for (std::uint8_t i = 0; i < kFnCount; ++i) EXPECT_EQ(fn_from_name(fn_name(static_cast<Fn>(i))), static_cast<Fn>(i));
    for (std::uint8_t i = 0; i < kBasisCount; ++i)
        EXPECT_EQ(basis_from_name(basis_name(static_cast<Basis>(i))), static_cast<Basis>(i));
    EXPECT_FALSE(fn_from_name("pow"));
    EXPECT_FALSE(basis_from_name("tau"));
}

TEST(RegressEvaluator, ColumnsAndGuards) {
    Data d({{1.0, 2.0, -3.0}, {4.0, 0.0, 2.0}});
    Evaluator ev;
    // x0 * x1 + 1
    ASSERT_TRUE(ev.run({V(0), V(1), O(Fn::Mul), C(1.0), O(Fn::Add)}, d.view()));
    EXPECT_EQ(std::vector<double>(ev.values().begin(), ev.values().end()), (std::vector<double>{5.0, 1.0, -5.0}));
    // square of x0
    ASSERT_TRUE(ev.run({V(0), O(Fn::Square)}, d.view()));
    EXPECT_EQ(std::vector<double>(ev.values().begin(), ev.values().end()), (std::vector<double>{1.0, 4.0, 9.0}));
    // x0 / x1 fails at the zero divisor; the other samples keep their values
    EXPECT_FALSE(ev.run({V(0), V(1), O(Fn::Div)}, d.view()));
    ASSERT_TRUE(ev.formed());
    EXPECT_TRUE(bit_equal(0.25, ev.values()[0]));
    EXPECT_TRUE(std::isnan(ev.values()[1]));
    EXPECT_TRUE(bit_equal(-1.5, ev.values()[2]));
    // log of a negative sample, sqrt likewise
    EXPECT_FALSE(ev.run({V(0), O(Fn::Log)}, d.view()));
    EXPECT_TRUE(std::isnan(ev.values()[2]));
    // a square that overflows
    EXPECT_FALSE(ev.run({C(1e200), V(0), O(Fn::Mul), O(Fn::Square)}, d.view()));
}

TEST(RegressEvaluator, MalformedListsAndNonFiniteLeaves) {
    Data d({{1.0, 2.0}});
    Evaluator ev;
    const Formula bad[] = {
        {},
        {O(Fn::Add)},
        {V(0), V(0)},
        {V(1)},  // only one column
    };
    for (const Formula& f : bad) {
        EXPECT_FALSE(ev.run(f, d.view()));
        EXPECT_FALSE(ev.formed());
        EXPECT_FALSE(well_formed(f, 1));
    }
    Data nan_data({{1.0, std::nan("")}});
    EXPECT_FALSE(ev.run({V(0)}, nan_data.view()));
    EXPECT_TRUE(ev.formed());
    EXPECT_TRUE(bit_equal(1.0, ev.values()[0]));
}

TEST(RegressRender, InfixWithFewParentheses) {
    const std::vector<std::string> names{"q1", "q2", "r"};
    const struct {
        Formula f;
        const char* want;
    } cases[] = {
        {{V(0), V(1), O(Fn::Mul), V(2), O(Fn::Div), X(4, 1, Basis::Pi), O(Fn::Div)}, "q1*q2/(4*pi*r)"},
        {{X(1, 2, Basis::One), V(0), V(1), O(Fn::Square), O(Fn::Mul), O(Fn::Mul)}, "q1*q2**2/2"},
        {{V(0), V(1), O(Fn::Sub), V(2), O(Fn::Sub)}, "q1 - q2 - r"},
        {{V(0), V(1), V(2), O(Fn::Sub), O(Fn::Sub)}, "q1 - q2 + r"},
        {{V(0), V(1), O(Fn::Add), O(Fn::Square)}, "(q1 + q2)**2"},
        {{V(0), O(Fn::Neg), O(Fn::Exp)}, "exp(-q1)"},
        {{V(0), C(-0.5), O(Fn::Mul)}, "-0.5*q1"},
        {{C(0.1), V(0), O(Fn::Mul), X(3, 4, Basis::PiSquared), O(Fn::Add)}, "0.1*q1 + 3*pi**2/4"},
        {{V(0), X(-2, 3, Basis::SqrtTwoPi), O(Fn::Sub)}, "q1 + 2*sqrt(2*pi)/3"},
        {{V(0), O(Fn::Inv), V(1), O(Fn::Zyl)}, "exp(1/q1) - log(q2)"},
        {{V(3)}, "x3"},
        {{V(0), O(Fn::Add)}, "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_text(c.f, names), c.want);
}

}  // namespace
}  // namespace zyl::regress
