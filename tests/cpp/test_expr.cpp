#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "bit_equal.hpp"
#include "discover/expr.hpp"

namespace zyl::discover {
namespace {

using test::bit_equal;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Node C(double v) { return Node::constant(v); }
Node V(std::size_t i) { return Node::var(i); }
Node O(Op op) { return Node::operation(op); }

struct Case {
    const char* name;
    std::vector<Node> nodes;
    std::optional<double> want;
};

void check(const std::vector<Case>& cases, std::span<const double> x, std::span<const double> params = {}) {
    for (const Case& c : cases) {
        auto got = eval(Expr{c.nodes}, x, params);
        ASSERT_EQ(got.has_value(), c.want.has_value()) << c.name;
        if (c.want) {
            EXPECT_TRUE(bit_equal(*c.want, *got)) << c.name;
        }
    }
}

TEST(ExprEval, GuardsRejectAndStrictThresholdsAccept) {
    check({
        {"inv 1", {C(1.0), O(Op::Inv)}, 1.0},
        {"inv below tiny", {C(1e-301), O(Op::Inv)}, std::nullopt},
        {"inv -tiny below", {C(-9.99e-301), O(Op::Inv)}, std::nullopt},
        {"inv at tiny", {C(1e-300), O(Op::Inv)}, 1.0 / 1e-300},
        {"inv at -tiny", {C(-1e-300), O(Op::Inv)}, -1.0 / 1e-300},
        {"div by zero", {C(2.0), C(0.0), O(Op::Div)}, std::nullopt},
        {"div by -0", {C(2.0), C(-0.0), O(Op::Div)}, std::nullopt},
        {"div at tiny", {C(1e-300), C(1e-300), O(Op::Div)}, 1.0},
        {"div overflow", {C(1e10), C(1e-300), O(Op::Div)}, std::nullopt},
        {"ln 0", {C(0.0), O(Op::Ln)}, std::nullopt},
        {"ln -0", {C(-0.0), O(Op::Ln)}, std::nullopt},
        {"ln -1", {C(-1.0), O(Op::Ln)}, std::nullopt},
        {"ln denormal", {C(5e-324), O(Op::Ln)}, std::log(5e-324)},
        {"sqrt -1", {C(-1.0), O(Op::Sqrt)}, std::nullopt},
        {"sqrt -denormal", {C(-5e-324), O(Op::Sqrt)}, std::nullopt},
        {"sqrt 0", {C(0.0), O(Op::Sqrt)}, 0.0},
        {"sqrt -0", {C(-0.0), O(Op::Sqrt)}, -0.0},
        {"exp 709", {C(709.0), O(Op::Exp)}, std::exp(709.0)},
        {"exp 1000 overflows", {C(1000.0), O(Op::Exp)}, std::nullopt},
        {"mul overflows", {C(1e200), C(1e200), O(Op::Mul)}, std::nullopt},
        {"add overflows", {C(DBL_MAX), C(DBL_MAX), O(Op::Add)}, std::nullopt},
        {"add to max", {C(DBL_MAX), C(0.0), O(Op::Add)}, DBL_MAX},
        {"sin inf", {C(kInf), O(Op::Sin)}, std::nullopt},
        {"neg NaN", {C(kNaN), O(Op::Neg)}, std::nullopt},
        {"inv NaN passes guard, fails finiteness", {C(kNaN), O(Op::Inv)}, std::nullopt},
        {"lone NaN leaf", {C(kNaN)}, kNaN},
        {"lone inf leaf", {C(-kInf)}, -kInf},
        {"abs", {C(-2.5), O(Op::Abs)}, 2.5},
        {"neg 0", {C(0.0), O(Op::Neg)}, -0.0},
    }, {});
}

TEST(ExprEval, ZylGuards) {
    const double above = std::nextafter(709.78, kInf);
    check({
        {"zyl(0, 0)", {C(0.0), C(0.0), O(Op::Zyl)}, 691.7755278982137},
        {"zyl(0, -1)", {C(0.0), C(-1.0), O(Op::Zyl)}, 1.0},
        {"zyl(0, -0)", {C(0.0), C(-0.0), O(Op::Zyl)}, 691.7755278982137},
        {"zyl(0, -1e-301) lifted", {C(0.0), C(-1e-301), O(Op::Zyl)}, 691.7755278982137},
        {"zyl(710, 1)", {C(710.0), C(1.0), O(Op::Zyl)}, std::exp(std::log(710.0))},
        {"zyl just above 709.78", {C(above), C(1.0), O(Op::Zyl)}, std::exp(std::log(above))},
        {"zyl(709.781, 1) uses the short threshold", {C(709.781), C(1.0), O(Op::Zyl)}, std::exp(std::log(709.781))},
        {"zyl at 709.78", {C(709.78), C(1.0), O(Op::Zyl)}, std::exp(709.78)},
        {"zyl NaN b", {C(0.0), C(kNaN), O(Op::Zyl)}, std::nullopt},
        {"zyl NaN a", {C(kNaN), C(1.0), O(Op::Zyl)}, std::nullopt},
        {"zyl inf b", {C(0.0), C(kInf), O(Op::Zyl)}, std::nullopt},
    }, {});
    EXPECT_LT(*eval(Expr{{C(710.0), C(1.0), O(Op::Zyl)}}, {}, {}), 710.001);
}

TEST(ExprEval, StackRulesAndOperandOrder) {
    const std::vector<double> x{2.5, 4.0};
    check({
        {"x + 1", {V(0), C(1.0), O(Op::Add)}, 3.5},
        {"x - y", {V(0), V(1), O(Op::Sub)}, -1.5},
        {"y / x", {V(1), V(0), O(Op::Div)}, 1.6},
        {"zyl(y, x)", {V(1), V(0), O(Op::Zyl)}, std::exp(4.0) - std::log(2.5)},
        {"empty", {}, std::nullopt},
        {"lone add", {O(Op::Add)}, std::nullopt},
        {"add with one operand", {C(1.0), O(Op::Add)}, std::nullopt},
        {"lone neg", {O(Op::Neg)}, std::nullopt},
        {"two left", {C(1.0), C(2.0)}, std::nullopt},
        {"three left after op", {C(1.0), C(2.0), C(3.0), O(Op::Add)}, std::nullopt},
        {"var beyond x", {V(2)}, std::nullopt},
        {"unknown op code", {C(1.0), C(2.0), O(static_cast<Op>(13))}, std::nullopt},
    }, x);
}

TEST(ExprEval, ParamsReadSlotOrFallBack) {
    const Expr p{{Node::param(3, 2.5)}};
    const std::vector<double> short_params{1.0, 1.0}, long_params{0, 0, 0, 7};
    EXPECT_EQ(*eval(p, {}, {}), 2.5);
    EXPECT_EQ(*eval(p, {}, short_params), 2.5);
    EXPECT_EQ(*eval(p, {}, long_params), 7.0);
}

TEST(ExprBatch, RowsInOrderAndFailures) {
    const Expr sub{{V(0), V(1), O(Op::Sub)}};
    const Columns cols{{1, 2, 3}, {4, 6, 9}};
    EXPECT_EQ(*eval_batch(sub, cols, {}), (std::vector<double>{-3, -4, -6}));

    const Expr inv{{V(0), O(Op::Inv)}};
    EXPECT_FALSE(eval_batch(inv, Columns{{1.0, 0.0, 2.0}}, {}));
    EXPECT_EQ(*eval_batch(inv, Columns{{}}, {}), std::vector<double>{});
    // No sample, no evaluation: even an ill-formed list gives an empty result.
    EXPECT_EQ(*eval_batch(Expr{{O(Op::Add)}}, Columns{{}}, {}), std::vector<double>{});
    // Longer columns are read up to the first one's length.
    EXPECT_EQ(*eval_batch(sub, Columns{{1.0}, {4.0, 5.0}}, {}), std::vector<double>{-3.0});
}

TEST(ExprBatch, BrokenPreconditionGivesNothing) {
    const Expr c{{C(1.0)}};
    const Expr y{{V(1)}};
    for (auto* f : {&eval_batch, &eval_batch_by_sample}) {
        EXPECT_FALSE(f(c, Columns{}, {}));
        EXPECT_FALSE(f(c, Columns{{1, 2, 3}, {1, 2}}, {}));
        EXPECT_FALSE(f(y, Columns{{1, 2, 3}, {}}, {}));
    }
}

// Random well-formed and ill-formed expressions over awkward data.
Expr random_expr(std::mt19937_64& rng, std::size_t n_vars) {
    std::uniform_int_distribution<int> len(0, 12), pick(0, 99), op(0, 12);
    const double consts[] = {0.0, -0.0, 1.0, -1.0, 2.5, 1e-300, 1e-301, 709.78, 710.0, kNaN, 1e200};
    Expr e;
    std::size_t depth = 0;
    for (int n = len(rng); n > 0; --n) {
        int p = pick(rng);
        // Mostly keep the stack consistent, sometimes break it.
        bool want_op = depth >= 2 ? p < 60 : (depth == 1 ? p < 35 : p < 3);
        if (want_op) {
            Op o = static_cast<Op>(op(rng));
            e.nodes.push_back(Node::operation(o));
            depth = depth >= arity(o) ? depth - arity(o) + 1 : 0;
        } else if (p % 2 == 0) {
            e.nodes.push_back(Node::var(static_cast<std::size_t>(p) % (n_vars + 1)));
            ++depth;
        } else {
            e.nodes.push_back(Node::constant(consts[static_cast<std::size_t>(p) % std::size(consts)]));
            ++depth;
        }
    }
    return e;
}

TEST(ExprBatch, ColumnWiseMatchesSampleWiseBitForBit) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> val(-3.0, 3.0);
    std::uniform_int_distribution<int> special(0, 40);
    const double odd[] = {0.0, -0.0, 1e-300, -1e-300, 800.0, kNaN};
    int successes = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const std::size_t n_vars = 1 + trial % 3;
        const std::size_t n = static_cast<std::size_t>(trial % 7);
        Columns cols(n_vars, std::vector<double>(n));
        for (auto& col : cols)
            for (double& v : col) {
                int s = special(rng);
                v = s < static_cast<int>(std::size(odd)) ? odd[s] : val(rng);
            }
        const Expr e = random_expr(rng, n_vars);
        auto fast = eval_batch(e, cols, {});
        auto slow = eval_batch_by_sample(e, cols, {});
        ASSERT_EQ(fast.has_value(), slow.has_value()) << "trial " << trial;
        if (!fast) continue;
        ASSERT_EQ(fast->size(), slow->size());
        for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(bit_equal((*slow)[i], (*fast)[i])) << "trial " << trial;
        successes += n > 0;
    }
    EXPECT_GT(successes, 1500);  // the comparison must not be vacuous
}

TEST(ExprBatch, GroupsGetApplyColumnsValuesAndVerdictOneByOne) {
    // Groups of five, each with one awkward element somewhere (a rejected
    // operand, an overflow, a NaN), or none, over every operation.
    constexpr std::size_t kGroup = 5, kGroups = 40;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    const double awkward[] = {0.0, -1.0, 1e-301, 800.0, kNaN, kInf, -kInf, 1e308};
    std::vector<double> a(kGroup * kGroups), b(kGroup * kGroups);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = u(rng), b[i] = u(rng);
    for (std::size_t g = 0; g < kGroups; g += 2) {
        a[g * kGroup + g % kGroup] = awkward[g % std::size(awkward)];
        b[g * kGroup + (g + 1) % kGroup] = awkward[(g / 2) % std::size(awkward)];
    }
    for (std::uint8_t code = 0; code < 13; ++code) {
        const Op op = static_cast<Op>(code);
        std::vector<double> out(a.size());
        std::vector<std::uint8_t> ok(kGroups);
        apply_groups(op, a.data(), b.data(), out.data(), kGroup, kGroups, ok.data());
        for (std::size_t g = 0; g < kGroups; ++g) {
            double one[kGroup];
            const bool want = apply_column(op, &a[g * kGroup], &b[g * kGroup], one, kGroup);
            EXPECT_EQ(ok[g] == 1, want) << int{code} << " group " << g;
            for (std::size_t i = 0; i < kGroup; ++i) EXPECT_TRUE(bit_equal(out[g * kGroup + i], one[i])) << int{code};
        }
    }
}

}  // namespace
}  // namespace zyl::discover
