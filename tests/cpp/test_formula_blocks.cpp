// Block-wise evaluation of formulas on the pool: the same bits as one pass
// over whole columns whatever the layout of the samples, a bounded size,
// and a stop on request.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "bit_equal.hpp"
#include "regress/formula.hpp"

namespace zyl::regress {
namespace {

Term V(std::uint32_t j) { return Term::variable(j); }
Term C(double v) { return Term::constant(v, true); }
Term O(Fn f) { return Term::operation(f); }

const std::byte* bytes_of(const double* p) { return reinterpret_cast<const std::byte*>(p); }

// n samples of random values, stored sample by sample (as X is) and as one
// column per variable.
struct Samples {
    std::size_t n_vars, n;
    std::vector<double> by_sample;
    std::vector<std::vector<double>> cols;
    std::vector<const double*> ptrs;

    Samples(std::size_t vars, std::size_t count, std::uint32_t seed)
        : n_vars(vars), n(count), by_sample(vars * count), cols(vars, std::vector<double>(count)) {
        std::mt19937_64 rng(seed);
        std::uniform_real_distribution<double> u(-3.0, 3.0);
        for (double& v : by_sample) v = u(rng);
        // Samples that make operations fail, and non-finite leaves.
        by_sample[7 * vars] = 0.0;
        by_sample[count / 2 * vars] = std::nan("");
        by_sample.back() = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t j = 0; j < vars; ++j) cols[j][i] = by_sample[i * vars + j];
        for (auto& col : cols) ptrs.push_back(col.data());
    }
    Columns columns() const { return {ptrs, n}; }
    SampleTable table() const {
        return {bytes_of(by_sample.data()), n_vars, n, sizeof(double),
                static_cast<std::ptrdiff_t>(n_vars * sizeof(double))};
    }
    // The samples read from the last to the first: negative strides.
    SampleTable reversed_table() const {
        return {bytes_of(by_sample.data() + (n - 1) * n_vars), n_vars, n, sizeof(double),
                -static_cast<std::ptrdiff_t>(n_vars * sizeof(double))};
    }
};

std::vector<double> by_blocks(const Formula& f, const SampleTable& data) {
    std::vector<double> out(data.samples, -1.0);
    EXPECT_TRUE(evaluate_samples(f, data, out.data()));
    return out;
}

void expect_same_bits(const std::vector<double>& got, std::span<const double> want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_TRUE(test::bit_equal(got[i], want[i])) << "sample " << i;
}

// x0 + (x0 + (... + x0)): every operand waits on the stack, the deepest
// scratch a formula of this size can ask for.
Formula deepest(std::size_t terms) {
    Formula f((terms + 1) / 2, V(0));
    while (f.size() < terms) f.push_back(O(Fn::Add));
    return f;
}

TEST(FormulaBlocks, SameBitsAsWholeColumnsInAnyLayout) {
    const Samples s(3, 10'007, 5);  // several blocks and a short last one
    const Formula formulas[] = {
        {V(0), V(2), O(Fn::Div), O(Fn::Log), C(0.5), O(Fn::Mul)},
        {V(2), O(Fn::Exp), V(0), O(Fn::Sqrt), O(Fn::Zyl), O(Fn::Sin)},
        {V(1)},
        {C(2.5)},
        deepest(kMaxTerms - 1),
    };
    for (const Formula& f : formulas) {
        Evaluator whole;
        whole.run(f, s.columns());
        ASSERT_TRUE(whole.formed());
        expect_same_bits(by_blocks(f, s.table()), whole.values());
        std::vector<double> reversed = by_blocks(f, s.reversed_table());
        std::reverse(reversed.begin(), reversed.end());
        expect_same_bits(reversed, whole.values());
    }
}

TEST(FormulaBlocks, FormulasBeyondTheBoundOrIllFormedGiveNaN) {
    const Samples s(2, 100, 6);
    const Formula bad[] = {deepest(kMaxTerms + 1), {V(0), V(1)}, {V(2)}, {}};
    for (const Formula& f : bad) {
        EXPECT_FALSE(well_formed(f, 2));
        for (double v : by_blocks(f, s.table())) ASSERT_TRUE(std::isnan(v));
    }
    EXPECT_TRUE(well_formed(deepest(kMaxTerms - 1), 1));
}

TEST(FormulaBlocks, StopsWhenThePollSaysSo) {
    const Samples s(1, 2'000'000, 7);
    int polls = 0;
    const MapControl stop{[](void* calls) { return ++*static_cast<int*>(calls) > 0; }, &polls, 0.0};
    std::vector<double> out(s.n);
    EXPECT_FALSE(evaluate_samples(deepest(kMaxTerms - 1), s.table(), out.data(), stop));
    EXPECT_GE(polls, 1);
}

}  // namespace
}  // namespace zyl::regress
