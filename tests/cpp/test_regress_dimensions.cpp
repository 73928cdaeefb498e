#include <gtest/gtest.h>

#include <vector>

#include "regress/dimensions.hpp"
#include "regress/search.hpp"
#include "regress_data.hpp"

namespace zyl::regress {
namespace {

Term V(std::uint32_t j) { return Term::variable(j); }
Term C(double v) { return Term::constant(v, true); }
Term X(int p, int q) { return Term::exact_constant({p, q, Basis::One}, true); }
Term O(Fn f) { return Term::operation(f); }

// Exponents in the order m, s, kg, A, K, mol, cd.
Dimension D(std::int64_t m, std::int64_t s = 0, std::int64_t kg = 0) {
    Dimension d;
    d.exponent[0] = {m, 1};
    d.exponent[1] = {s, 1};
    d.exponent[2] = {kg, 1};
    return d;
}

const Dimension kMetre = D(1), kSecond = D(0, 1), kSpeed = D(1, -1), kNone = D(0);

DimensionRules rules(Dimension target, bool dimensional = false) {
    return {{kMetre, kSecond, kSpeed, kNone}, target, dimensional};
}

TEST(RegressDimensions, ExactFractionalExponents) {
    auto half = power(D(3), {1, 2});
    ASSERT_TRUE(half);
    EXPECT_EQ(half->exponent[0], (Ratio{3, 2}));
    auto back = product(*half, *half);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, D(3));
    EXPECT_TRUE(quotient(kSpeed, kSpeed)->dimensionless());
    // Ratios that would leave the exact range are refused, not wrapped.
    Dimension d = D(1);
    int squarings = 0;
    while (auto next = power(d, {2, 1})) {
        d = *next;
        ++squarings;
    }
    EXPECT_EQ(squarings, 30);
}

TEST(RegressDimensions, OperationRules) {
    const Dimensioned m{kMetre}, s{kSecond}, none{kNone}, free_constant{kNone, true};
    EXPECT_EQ(combine(Fn::Div, m, &s)->dim, kSpeed);
    EXPECT_FALSE(combine(Fn::Add, m, &s));
    EXPECT_EQ(combine(Fn::Sub, m, &m)->dim, kMetre);
    for (Fn f : {Fn::Exp, Fn::Log, Fn::Sin, Fn::Cos}) {
        EXPECT_FALSE(combine(f, m, nullptr)) << static_cast<int>(f);
        EXPECT_TRUE(combine(f, none, nullptr)->dim.dimensionless());
    }
    EXPECT_FALSE(combine(Fn::Zyl, none, &m));
    EXPECT_EQ(combine(Fn::Square, m, nullptr)->dim, D(2));
    EXPECT_EQ(combine(Fn::Inv, s, nullptr)->dim, D(0, -1));
    // A constant free to carry a dimension takes that of what it is added
    // to, and stays a pure number in a product.
    EXPECT_EQ(combine(Fn::Add, free_constant, &m)->dim, kMetre);
    EXPECT_EQ(combine(Fn::Mul, free_constant, &m)->dim, kMetre);
}

TEST(RegressDimensions, InnerConsistency) {
    // exp(x0 / x0) is fine; exp(x0) and x0 + x1 are not.
    EXPECT_TRUE(dimension_of({V(0), V(0), O(Fn::Div), O(Fn::Exp)}, rules(kNone)));
    EXPECT_FALSE(dimension_of({V(0), O(Fn::Exp)}, rules(kNone)));
    EXPECT_FALSE(dimension_of({V(0), V(1), O(Fn::Add)}, rules(kNone)));
    // x0 + c: only when constants may carry dimensions.
    const Formula shifted{V(0), C(2.0), O(Fn::Add)};
    EXPECT_FALSE(dimension_of(shifted, rules(kMetre)));
    EXPECT_EQ(dimension_of(shifted, rules(kMetre, true))->dim, kMetre);
    // The rate inside exp stays a pure number even then.
    EXPECT_FALSE(dimension_of({C(2.0), V(1), O(Fn::Mul), O(Fn::Exp)}, rules(kNone, true)));
}

TEST(RegressDimensions, ResultAgainstTarget) {
    // 0.5 * x2^2 * ... : a dimensionless scale on a formula of the target's
    // dimension is consistent under both rules.
    const Formula scaled{C(0.5), V(0), V(1), O(Fn::Div), O(Fn::Mul)};
    EXPECT_TRUE(constant_dimensions(scaled, rules(kSpeed)));
    // a * x0: only with dimensional constants, the scale carrying 1/s.
    const Formula rate{C(3.0), V(0), O(Fn::Mul)};
    EXPECT_FALSE(constant_dimensions(rate, rules(kSpeed)));
    auto carried = constant_dimensions(rate, rules(kSpeed, true));
    ASSERT_TRUE(carried);
    EXPECT_EQ((*carried)[0], D(0, -1));
    // x0 / a carries seconds; an exact scale is a pure number.
    auto divided = constant_dimensions({V(0), C(3.0), O(Fn::Div)}, rules(kSpeed, true));
    ASSERT_TRUE(divided);
    EXPECT_EQ((*divided)[0], kSecond);
    EXPECT_FALSE(constant_dimensions({X(1, 2), V(0), O(Fn::Mul)}, rules(kSpeed, true)));
    // a * x0 + b: the offset takes the target's dimension beside the scale.
    auto offset = constant_dimensions({C(3.0), V(0), O(Fn::Mul), C(1.0), O(Fn::Add)}, rules(kSpeed, true));
    ASSERT_TRUE(offset);
    EXPECT_EQ((*offset)[1], kSpeed);
    // An offset is a dimensional constant: refused by default unless the
    // target is dimensionless.
    EXPECT_FALSE(constant_dimensions({V(2), C(1.0), O(Fn::Add)}, rules(kSpeed)));
    EXPECT_TRUE(constant_dimensions({V(0), V(0), O(Fn::Div), C(1.0), O(Fn::Add)}, rules(kNone)));
    // Two dimensional scales in one sum are one too many.
    const Formula two{C(2.0), V(0), O(Fn::Mul), C(3.0), V(1), O(Fn::Mul), O(Fn::Add)};
    EXPECT_FALSE(constant_dimensions(two, rules(kSpeed, true)));
    // The mean of y stands for no dependence and always has y's dimension.
    EXPECT_TRUE(constant_dimensions({C(4.0)}, rules(kSpeed)));
}

TEST(RegressDimensions, SaturatingRate) {
    // Vmax * S / (K + S): K takes the dimension of S, Vmax the rest.
    DimensionRules r = rules(kSpeed, true);
    const Formula law{C(200.0), V(0), C(1.5), V(0), O(Fn::Add), O(Fn::Div), O(Fn::Mul)};
    auto dims = constant_dimensions(law, r);
    ASSERT_TRUE(dims);
    EXPECT_EQ((*dims)[0], kSpeed);
    EXPECT_EQ((*dims)[1], kMetre);
    r.dimensional_constants = false;
    EXPECT_FALSE(constant_dimensions(law, r));
}

TEST(RegressDimensions, SearchBuildsOnlyConsistentFormulas) {
    // y = x0 + x1 fits exactly, but a length plus a time is no law: with
    // units every front formula is consistent, and none is that sum.
    test::LawData d(2, 60, 1.0, 5.0, [](const std::vector<double>& x) { return x[0] + x[1]; });
    Options options;
    options.max_evaluations = 200000;
    options.dimensions = DimensionRules{{kMetre, kSecond}, kMetre, false};
    Outcome with = search(d.view(), d.y, {}, options, {});
    ASSERT_FALSE(with.front.empty());
    for (const Scored& s : with.front) {
        EXPECT_TRUE(constant_dimensions(s.formula, *options.dimensions));
        EXPECT_GT(s.rmse, 1e-3);
    }
    const DimensionRules rules = *options.dimensions;
    options.dimensions.reset();
    Outcome without = search(d.view(), d.y, {}, options, {});
    EXPECT_LT(without.front[without.best].rmse, 1e-9);
    EXPECT_FALSE(constant_dimensions(without.front[without.best].formula, rules));
}

TEST(RegressDimensions, PruningFindsTheLawWithLessWork) {
    // x1 * x2^2 / x0 is a force from a mass, a speed and a length; the
    // search with units reaches it scoring a fraction of the structures.
    test::LawData d(3, 80, 1.0, 5.0, [](const std::vector<double>& x) { return x[1] * x[2] * x[2] / x[0]; });
    Options options;
    const Outcome without = search(d.view(), d.y, {}, options, {});
    options.dimensions = DimensionRules{{kMetre, D(0, 0, 1), kSpeed}, D(1, -2, 1), false};
    const Outcome with = search(d.view(), d.y, {}, options, {});
    EXPECT_LT(with.front[with.best].rmse, 1e-9);
    EXPECT_LT(without.front[without.best].rmse, 1e-9);
    EXPECT_LT(3 * with.evaluations, without.evaluations);
}

}  // namespace
}  // namespace zyl::regress
