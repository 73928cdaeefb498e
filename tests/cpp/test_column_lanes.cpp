// The column operations that take their values from SIMD code (the vector
// libm kernels, the regression engine's four-lane rules and residual dot
// products) against the scalar rules they stand for, element by element
// and bit for bit: lengths that end inside a register, outputs that are
// one of the inputs, special values, every operation.
#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <random>
#include <vector>

#include "bit_equal.hpp"
#include "discover/column_score.hpp"
#include "discover/expr.hpp"
#include "discover/op_rules.hpp"
#include "kernels/libm/vector_libm.hpp"
#include "regress/formula.hpp"
#include "regress/rule_lanes.hpp"
#include "regress/scoring.hpp"
#include "regress/sum_lanes.hpp"

namespace {

using zyl::test::bit_equal;
namespace rules = zyl::discover::rules;
using zyl::discover::Op;
using zyl::regress::Fn;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Mostly ordinary values, with the values every guard and kernel treats
// apart mixed in.
std::vector<double> column(std::size_t n, unsigned seed, double spread) {
    const double specials[] = {0.0, -0.0, kInf, -kInf, kNaN, 1e-300, -1e-301, 5e-324, 1e308, -2.0, 1.0, 800.0};
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> value(-spread, spread);
    std::uniform_int_distribution<int> pick(0, 35);
    std::vector<double> v(n);
    for (double& x : v) {
        const int k = pick(gen);
        x = k < 12 ? specials[k] : value(gen);
    }
    return v;
}

struct Pair {
    Op op;
    Fn fn;
};

const Pair kOps[] = {{Op::Neg, Fn::Neg}, {Op::Inv, Fn::Inv}, {Op::Exp, Fn::Exp}, {Op::Ln, Fn::Log},
                     {Op::Sqrt, Fn::Sqrt}, {Op::Sin, Fn::Sin}, {Op::Cos, Fn::Cos}, {Op::Abs, Fn::Abs},
                     {Op::Zyl, Fn::Zyl}, {Op::Add, Fn::Add}, {Op::Sub, Fn::Sub}, {Op::Mul, Fn::Mul},
                     {Op::Div, Fn::Div}};

// The scalar rule of one operation on one sample: its value, and whether
// the guard accepts it and the value is finite.
bool scalar_rule(Op op, double a, double b, double& r) {
    return rules::dispatch(op, [&]<Op o>() {
        r = rules::value<o>(a, b);
        return rules::accepts<o>(a, b) && rules::finite(r);
    });
}

TEST(ColumnLanes, RegressionRulesGiveTheScalarValueOrNaN) {
    for (const Pair& p : kOps) {
        for (std::size_t n : {0u, 1u, 3u, 4u, 5u, 9u, 16u, 37u, 300u}) {
            const auto a = column(n, 1 + static_cast<unsigned>(n), 30.0);
            const auto b = column(n, 1000 + static_cast<unsigned>(n), 30.0);
            std::vector<double> out(n), in_place = a;
            const bool ok = zyl::regress::apply(p.fn, a.data(), b.data(), out.data(), n);
            const bool ok_in_place = zyl::regress::apply(p.fn, in_place.data(), b.data(), in_place.data(), n);
            bool want_ok = true;
            for (std::size_t i = 0; i < n; ++i) {
                double r;
                const bool good = scalar_rule(p.op, a[i], b[i], r);
                want_ok = want_ok && good;
                const double want = good ? r : kNaN;
                ASSERT_TRUE(bit_equal(want, out[i])) << static_cast<int>(p.op) << " n=" << n << " i=" << i;
                ASSERT_TRUE(bit_equal(want, in_place[i])) << static_cast<int>(p.op) << " in place, i=" << i;
            }
            EXPECT_EQ(ok, want_ok) << static_cast<int>(p.op) << " n=" << n;
            EXPECT_EQ(ok_in_place, want_ok);
        }
    }
}

TEST(ColumnLanes, SquareGivesTheProductOrNaN) {
    const auto a = column(23, 5, 1e200);
    std::vector<double> out(a.size());
    zyl::regress::apply(Fn::Square, a.data(), nullptr, out.data(), a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double r = a[i] * a[i];
        EXPECT_TRUE(bit_equal(std::fabs(r) <= 1.7976931348623157e308 ? r : kNaN, out[i])) << i;
    }
}

TEST(ColumnLanes, DiscoveryColumnsKeepEveryValueAndVerdict) {
    for (const Pair& p : kOps) {
        for (std::size_t n : {1u, 3u, 4u, 11u, 64u, 257u}) {
            const auto a = column(n, 7 + static_cast<unsigned>(n), 12.0);
            const auto b = column(n, 700 + static_cast<unsigned>(n), 12.0);
            std::vector<double> out(n), in_place = a;
            const bool ok = zyl::discover::apply_column(p.op, a.data(), b.data(), out.data(), n);
            const bool ok_in_place = zyl::discover::apply_column(p.op, in_place.data(), b.data(), in_place.data(), n);
            bool want_ok = true;
            for (std::size_t i = 0; i < n; ++i) {
                double r;
                want_ok = scalar_rule(p.op, a[i], b[i], r) && want_ok;
                ASSERT_TRUE(bit_equal(r, out[i])) << static_cast<int>(p.op) << " i=" << i;
                ASSERT_TRUE(bit_equal(r, in_place[i])) << static_cast<int>(p.op) << " in place, i=" << i;
            }
            EXPECT_EQ(ok, want_ok);
            EXPECT_EQ(ok_in_place, want_ok);
        }
    }
}

TEST(ColumnLanes, ScoringSumsTheScalarValuesInOrder) {
    // Accepted everywhere (positive, moderate operands), so the sum runs to
    // the end; it must be the in-order sum of the scalar values' squared
    // errors, from any first sample.
    std::mt19937_64 gen(3);
    std::uniform_real_distribution<double> value(0.1, 3.0);
    const std::size_t n = 203;
    std::vector<double> a(n), b(n), t(n);
    for (std::size_t i = 0; i < n; ++i) a[i] = value(gen), b[i] = value(gen), t[i] = value(gen);
    for (Op op : {Op::Exp, Op::Ln, Op::Zyl, Op::Sin, Op::Cos}) {
        for (std::size_t begin : {0u, 5u, 33u}) {
            double want = -0.0;
            for (std::size_t i = begin; i < n; ++i) {
                double r;
                ASSERT_TRUE(scalar_rule(op, a[i], b[i], r));
                const double d = r - t[i];
                want = want + d * d;
            }
            const auto got = zyl::discover::squared_error_sum(op, a.data() + begin, b.data() + begin,
                                                              {begin, n, -0.0}, t);
            ASSERT_TRUE(got.has_value());
            EXPECT_TRUE(bit_equal(want, *got)) << static_cast<int>(op) << " from " << begin;
        }
    }
    // One rejected sample rejects the candidate.
    a[150] = -1.0;
    EXPECT_FALSE(zyl::discover::squared_error_sum(Op::Ln, a.data(), b.data(), {0, n, -0.0}, t).has_value());
}

TEST(ColumnLanes, SumDotsFollowTheScalarOrder) {
    namespace lanes = zyl::regress::lanes;
    if (!lanes::has_avx2()) GTEST_SKIP() << "no AVX2 here";
    std::mt19937_64 gen(9);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (bool eight : {false, true}) {
        if (eight && !lanes::has_avx512()) continue;
        for (std::size_t m : {1u, 3u, 4u, 7u, 40u}) {
            for (std::size_t targets : {1u, 5u, 8u, 13u}) {
                const std::size_t stride = (targets + 3) / 4 * 4;
                std::vector<double> w(m), by_sample(m * stride, 0.0), dots(stride);
                std::vector<std::vector<double>> r(targets, std::vector<double>(m));
                for (double& x : w) x = value(gen);
                for (std::size_t t = 0; t < targets; ++t)
                    for (std::size_t k = 0; k < m; ++k) by_sample[k * stride + t] = r[t][k] = value(gen);
                if (eight) {
                    lanes::eight_sum_dots(w.data(), m, by_sample.data(), stride, dots.data());
                } else {
                    lanes::four_sum_dots(w.data(), m, by_sample.data(), stride, dots.data());
                }
                for (std::size_t t = 0; t < targets; ++t) {
                    double d[4] = {0.0, 0.0, 0.0, 0.0};
                    std::size_t k = 0;
                    for (; k + 4 <= m; k += 4)
                        for (std::size_t j = 0; j < 4; ++j) d[j] += w[k + j] * r[t][k + j];
                    for (; k < m; ++k) d[0] += w[k] * r[t][k];
                    EXPECT_TRUE(bit_equal((d[0] + d[1]) + (d[2] + d[3]), dots[t])) << "m=" << m << " t=" << t;
                }
            }
        }
    }
}

TEST(ColumnLanes, CandidatesScoredSideBySideScoreAsAlone) {
    // Scores and verdicts of candidates taken four at a time, beside the
    // same taken one by one: random ones, flat ones, near-exact ones (whose
    // error is summed directly), non-finite ones, and a group cut short.
    using zyl::regress::Targets;
    std::mt19937_64 gen(12);
    std::uniform_real_distribution<double> value(0.5, 3.0);
    for (std::size_t n : {7u, 40u, 101u}) {
        std::vector<double> x(n), z(n), y(n);
        for (std::size_t i = 0; i < n; ++i)
            x[i] = value(gen), z[i] = value(gen), y[i] = x[i] * z[i] + 0.01 * value(gen);
        const double* columns[] = {x.data(), z.data()};
        const zyl::regress::Columns data{columns, n};
        const Targets targets(data, y);
        std::vector<std::vector<double>> candidates;
        for (int c = 0; c < 15; ++c) {  // a group of eight, one of four, three alone
            std::vector<double> v(n);
            for (std::size_t i = 0; i < n; ++i) v[i] = c == 3 ? 2.0 : c == 5 ? y[i] * 3.0 + 1.0 : value(gen);
            if (c == 7) v[n / 2] = std::numeric_limits<double>::infinity();
            candidates.push_back(v);
        }
        std::vector<std::span<const double>> spans(candidates.begin(), candidates.end());
        std::vector<std::optional<Targets::Score>> got(spans.size());
        targets.score_each(spans, got);
        for (std::size_t c = 0; c < spans.size(); ++c) {
            const auto want = targets.score(spans[c]);
            ASSERT_EQ(want.has_value(), got[c].has_value()) << c;
            if (!want) continue;
            EXPECT_TRUE(bit_equal(want->error, got[c]->error)) << c;
            EXPECT_TRUE(bit_equal(want->residual, got[c]->residual)) << c;
            EXPECT_EQ(want->target, got[c]->target) << c;
        }
        std::vector<std::span<const double>> scaled;
        for (std::size_t c = 0; c < spans.size(); ++c)
            scaled.push_back(c % 2 ? spans[c] : spans[(c + 1) % spans.size()]);
        std::unique_ptr<bool[]> verdicts(new bool[spans.size()]);
        zyl::regress::same_up_to_scale_each(spans, scaled, {verdicts.get(), spans.size()});
        for (std::size_t c = 0; c < spans.size(); ++c)
            EXPECT_EQ(verdicts[c], zyl::regress::same_up_to_scale(spans[c], scaled[c])) << c;
    }
}

TEST(ColumnLanes, OtherModesGetTheLibraryInThatMode) {
    // The library's sin and cos round to nearest whatever the mode, its exp
    // and log follow the caller's rounding, flush-to-zero and
    // denormals-are-zero modes: the kernels, checked in the default modes
    // only, must stand aside in any other.
    auto x = column(64, 11, 20.0);
    x.insert(x.end(), {-740.0, -745.0, 1e-310, -1e-310, 3e-320});
    std::vector<double> out(x.size());
    const unsigned saved = _mm_getcsr();
    const unsigned modes[] = {0x4000, 0x2000, 0x6000, 0x8000, 0x0040, 0x8040};  // up, down, zero, FTZ, DAZ
    for (unsigned mode : modes) {
        _mm_setcsr((saved & ~0xe040u) | mode);
        using zyl::kernels::libm::Unary;
        for (Unary f : {Unary::Exp, Unary::Log, Unary::Sin, Unary::Cos}) {
            zyl::kernels::libm::run(f, x.data(), out.data(), x.size());
            const auto scalar = zyl::kernels::libm::scalar_function(f);
            for (std::size_t i = 0; i < x.size(); ++i) {
                const double want = scalar(x[i]);
                EXPECT_EQ(std::bit_cast<std::uint64_t>(want), std::bit_cast<std::uint64_t>(out[i]))
                    << "mode " << mode << " function " << static_cast<int>(f) << " at " << x[i];
            }
        }
        _mm_setcsr(saved);
    }
}

}  // namespace
