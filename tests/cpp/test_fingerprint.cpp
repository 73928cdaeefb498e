#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "discover/fingerprint.hpp"

namespace zyl::discover {
namespace {

Node C(double v) { return Node::constant(v); }
Node V(std::size_t i) { return Node::var(i); }
Node O(Op op) { return Node::operation(op); }

std::optional<Fingerprint> fp(std::vector<Node> nodes, std::size_t n_vars = 1) {
    return fingerprint(Expr{std::move(nodes)}, n_vars);
}

TEST(Fingerprint, ElementsAreTheSplitBitPatterns) {
    auto one = *fp({C(1.0)});
    auto minus = *fp({C(-2.5)});
    for (std::size_t k = 0; k < kProbeCount; ++k) {
        EXPECT_EQ(one[2 * k], 1072693248);
        EXPECT_EQ(one[2 * k + 1], 0);
        EXPECT_EQ(minus[2 * k], -1073479680);
        EXPECT_EQ(minus[2 * k + 1], 0);
    }
    auto small = fingerprint_of({0.1, -0.1, 5e-324, -0.0, 0.0});
    EXPECT_EQ(small, (Fingerprint{1069128089, 2576980378, -1078355559, 2576980378, 0, 1, INT32_MIN, 0, 0, 0}));
}

TEST(Fingerprint, ProbeCoordinates) {
    const double constants[] = {0.5772156649015328, 1.2824271291006226, 1.618033988749895, 0.6931471805599453,
                                1.2020569031595942};
    for (std::size_t k = 0; k < kProbeCount; ++k) EXPECT_EQ(probe_coordinate(0, k), constants[k]);
    EXPECT_EQ(probe_coordinate(1, 0), 1.273536091967868);
    EXPECT_EQ(probe_coordinate(1, 4), 1.8647254699579916);
    EXPECT_EQ(probe_coordinate(2, 3), 2.037421192960533);
}

TEST(Fingerprint, CollisionsAndDistinctions) {
    EXPECT_EQ(fp({V(0)}), fp({V(0), O(Op::Abs)}));
    EXPECT_EQ(fp({V(0), C(1.0), O(Op::Add)}), fp({C(1.0), V(0), O(Op::Add)}));
    EXPECT_NE(fp({V(0), C(1.0), O(Op::Add)}), fp({V(0), C(1.0), O(Op::Sub)}));
    EXPECT_NE(fp({C(0.0)}), fp({C(-0.0)}));
    EXPECT_EQ(fp({V(0), V(0), O(Op::Sub)}), fp({C(0.0)}));
    // No variable is a multiple of another, so y - x is not x; symmetric
    // forms still coincide.
    EXPECT_NE(fp({V(1), V(0), O(Op::Sub)}, 2), fp({V(0)}, 2));
    EXPECT_NE(fp({V(2), V(0), O(Op::Sub)}, 3), fp({V(1)}, 3));
    EXPECT_EQ(fp({V(0), V(1), O(Op::Add)}, 2), fp({V(1), V(0), O(Op::Add)}, 2));
    EXPECT_EQ(fp({V(0), V(1), O(Op::Mul)}, 2), fp({V(1), V(0), O(Op::Mul)}, 2));
}

TEST(Fingerprint, NothingWhenAnyProbeFails) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(fp({C(0.0), O(Op::Ln)}));
    EXPECT_FALSE(fp({V(0), O(Op::Neg), O(Op::Ln)}));
    EXPECT_FALSE(fp({C(inf)}));
    EXPECT_FALSE(fp({C(std::nan(""))}));
    EXPECT_FALSE(fp({V(0)}, 0));
    EXPECT_FALSE(fp({V(1)}, 1));
    EXPECT_FALSE(fp({}));
    // 1.5 - x is negative at the golden-ratio probe only.
    EXPECT_FALSE(fp({C(1.5), V(0), O(Op::Sub), O(Op::Ln)}));
    EXPECT_EQ(fp({C(1.0)}, 0), fp({C(1.0)}, 3));
}

TEST(Fingerprint, OperandProbeValuesComposeToTheCombination) {
    // The search derives a combination's fingerprint from its operands'.
    const Probes probes(2);
    ColumnEvaluator ev;
    const Expr operands[] = {Expr{{V(0)}}, Expr{{V(1), O(Op::Exp)}}, Expr{{C(1.0), V(0), O(Op::Zyl)}},
                             Expr{{V(0), V(1), O(Op::Div)}}};
    for (const Expr& a : operands)
        for (const Expr& b : operands)
            for (int code = 0; code < 13; ++code) {
                Op op = static_cast<Op>(code);
                Expr whole = arity(op) == 1 ? extended(a, op) : combined(a, b, op);
                auto pa = *probes.values(a, ev), pb = *probes.values(b, ev);
                ProbeValues v;
                bool ok = apply_column(op, pa.data(), pb.data(), v.data(), kProbeCount);
                auto direct = fingerprint(whole, 2);
                ASSERT_EQ(ok, direct.has_value()) << code;
                if (ok) {
                    EXPECT_EQ(fingerprint_of(v), *direct) << code;
                }
            }
}

TEST(DuplicateSet, FirstInsertWinsAcrossGrowth) {
    DuplicateSet set;
    auto x = *fp({V(0)});
    EXPECT_TRUE(set.insert(x));
    EXPECT_FALSE(set.insert(*fp({V(0)})));
    EXPECT_FALSE(set.insert(*fp({V(0), O(Op::Abs)})));
    EXPECT_EQ(set.size(), 1u);
    // Keys differing in one element only, far past the initial table size.
    const int n = 50000;
    for (int i = 0; i < n; ++i) {
        Fingerprint k{};
        k[static_cast<std::size_t>(i % 10)] = i + 1;
        EXPECT_TRUE(set.insert(k)) << i;
    }
    for (int i = 0; i < n; ++i) {
        Fingerprint k{};
        k[static_cast<std::size_t>(i % 10)] = i + 1;
        EXPECT_FALSE(set.insert(k)) << i;
    }
    EXPECT_EQ(set.size(), static_cast<std::size_t>(n) + 1);
    EXPECT_FALSE(set.insert(x));
}

}  // namespace
}  // namespace zyl::discover
