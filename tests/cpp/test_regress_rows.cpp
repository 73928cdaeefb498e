#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "regress/blockwise_fit.hpp"
#include "regress/constant_fit.hpp"
#include "regress/render.hpp"
#include "regress/row_sample.hpp"
#include "regress/search.hpp"
#include "regress/search_all_rows.hpp"
#include "regress/statistics.hpp"
#include "regress_data.hpp"

namespace zyl::regress {
namespace {

using test::LawData;

Term V(std::uint32_t j) { return Term::variable(j); }
Term O(Fn f) { return Term::operation(f); }
Term C(double v) { return Term::constant(v, true); }

// Deterministic noise of about unit size.
std::vector<double> wobble(std::size_t n) {
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = std::sin(12.9898 * static_cast<double>(i) + 0.5) * 1.7;
    return out;
}

TEST(RegressRows, SampleReadsEveryRowUpToItsSizeThenOneOfEachStretch) {
    LawData d(2, 10, 0.0, 1.0, [](const std::vector<double>& x) { return x[0]; });
    const std::vector<double> w(10, 2.0);
    RowSample whole(d.view(), d.y, w, 10);
    EXPECT_TRUE(whole.whole());
    EXPECT_EQ(whole.data().columns[1], d.ptrs[1]);
    EXPECT_EQ(whole.y().data(), d.y.data());

    RowSample spread(d.view(), d.y, w, 4);
    ASSERT_FALSE(spread.whole());
    ASSERT_EQ(spread.data().samples, 4u);
    std::size_t row = 0;
    for (std::size_t i = 0; i < 4; ++i) {  // one row of each stretch: 0-1, 2-4, 5-6, 7-9
        while (d.cols[1][row] != spread.data().columns[1][i]) ++row;
        EXPECT_GE(row, i * 10 / 4);
        EXPECT_LT(row, (i + 1) * 10 / 4);
        EXPECT_EQ(spread.y()[i], d.y[row]);
        EXPECT_EQ(spread.w()[i], 2.0);
    }
    // Rows in a grid's order: the sample still sees every value of the
    // inner variable.
    std::vector<double> inner(4000), y(4000);
    for (std::size_t i = 0; i < inner.size(); ++i) inner[i] = static_cast<double>(i % 8);
    const std::vector<const double*> columns{inner.data()};
    RowSample grid(Columns{columns, inner.size()}, y, {}, 500);
    std::vector<bool> seen(8, false);
    for (std::size_t i = 0; i < 500; ++i) seen[static_cast<std::size_t>(grid.data().columns[0][i])] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 8);
    EXPECT_TRUE(RowSample(d.view(), d.y, {}, 4).w().empty());
}

// 2.5 * exp(-0.7 * x) + 1, its scale and offset as terms of their own.
const Formula kDecay{C(2.5), C(-0.7), V(0), O(Fn::Mul), O(Fn::Exp), O(Fn::Mul), C(1.0), O(Fn::Add)};

TEST(RegressRows, BlockwiseStatisticsAgreeWithTheWholeColumnOnes) {
    const std::size_t n = 3 * kRowBlock + 17;  // a short last block
    LawData d(1, n, 0.0, 4.0, [](const std::vector<double>& x) { return 2.5 * std::exp(-0.7 * x[0]) + 1.0; });
    const std::vector<double> noise = wobble(n);
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) {
        d.y[i] += 0.01 * noise[i];
        w[i] = 1.0 + 0.5 * std::fabs(noise[i]);
    }
    Evaluator ev;
    auto whole = constant_statistics(kDecay, d.view(), d.y, ev, w);
    auto blocks = constant_statistics_in_blocks(kDecay, d.view(), d.y, ev, w);
    ASSERT_TRUE(whole && blocks);
    EXPECT_EQ(blocks->terms, whole->terms);
    EXPECT_NEAR(blocks->sse, whole->sse, 1e-10 * whole->sse);
    EXPECT_NEAR(blocks->plain_sse, whole->plain_sse, 1e-10 * whole->plain_sse);
    ASSERT_EQ(blocks->covariance.size(), 9u);
    for (std::size_t e = 0; e < 9; ++e) {
        EXPECT_NEAR(blocks->information[e], whole->information[e], 1e-9 * std::fabs(whole->information[e]));
        EXPECT_NEAR(blocks->covariance[e], whole->covariance[e], 1e-8 * std::fabs(whole->covariance[e]));
    }
}

TEST(RegressRows, BlockwiseFitFindsTheConstantsAndFailsWhereAnyRowFails) {
    const std::size_t n = 2 * kRowBlock + 5;
    LawData d(1, n, 0.0, 4.0, [](const std::vector<double>& x) { return 2.5 * std::exp(-0.7 * x[0]) + 1.0; });
    Formula f{C(2.0), C(-0.5), V(0), O(Fn::Mul), O(Fn::Exp), O(Fn::Mul), C(0.8), O(Fn::Add)};
    Evaluator ev;
    auto sse = fit_constants_in_blocks(f, d.view(), d.y, ev, {});
    ASSERT_TRUE(sse);
    EXPECT_LT(*sse, 1e-20);
    EXPECT_NEAR(f[0].value, 2.5, 1e-9);
    EXPECT_NEAR(f[1].value, -0.7, 1e-9);
    EXPECT_NEAR(f[6].value, 1.0, 1e-9);

    // log(x - 0.5) fails on the rows below 0.5, wherever they lie.
    Formula log_of{C(1.0), V(0), C(0.5), O(Fn::Sub), O(Fn::Log), O(Fn::Mul)};
    EXPECT_FALSE(fit_constants_in_blocks(log_of, d.view(), d.y, ev, {}));
    EXPECT_FALSE(constant_statistics_in_blocks(log_of, d.view(), d.y, ev, {}));
}

// A front of one formula, a * x^2 with a written exactly as 2 after fitting.
Outcome exact_two() {
    Outcome o;
    Scored s;
    s.formula = {Term::exact_constant({2, 1, Basis::One}, true), V(0), O(Fn::Square), O(Fn::Mul)};
    s.rmse = 1.0;
    o.front.push_back(s);
    return o;
}

TEST(RegressRows, AnExactConstantStaysExactOnlyWhileEveryRowAllowsIt) {
    const std::size_t n = 40000;
    const std::vector<double> noise = wobble(n);
    const auto start = std::chrono::steady_clock::now();
    for (double truth : {2.0, 2.002}) {
        LawData d(1, n, 1.0, 3.0, [&](const std::vector<double>& x) { return truth * x[0] * x[0]; });
        for (std::size_t i = 0; i < n; ++i) d.y[i] += 0.01 * noise[i];
        Outcome o = stage::refit_on_all_rows(exact_two(), d.view(), d.y, {}, Options{}, Hooks{}, start);
        ASSERT_EQ(o.front.size(), 1u);
        const Scored& s = o.front[0];
        ASSERT_EQ(s.estimates.size(), 1u);
        EXPECT_NEAR(s.estimates[0].value, truth, 1e-4);
        EXPECT_GT(s.estimates[0].std_error, 0.0);
        EXPECT_LT(s.estimates[0].std_error, 1e-4);
        EXPECT_EQ(s.formula[0].has_exact, truth == 2.0) << truth;
        EXPECT_NEAR(s.formula[0].value, truth, 1e-4);
    }
}

TEST(RegressRows, ManyRowsAreSearchedOnASampleAndJudgedOnEveryRow) {
    const std::size_t n = 60000;
    LawData d(2, n, 1.0, 4.0, [](const std::vector<double>& x) { return x[0] * x[0] / x[1] + 0.5; });
    const std::vector<double> noise = wobble(n);
    for (std::size_t i = 0; i < n; ++i) d.y[i] += 0.01 * noise[i];
    Options opt;
    opt.max_complexity = 6;
    opt.max_evaluations = 100000;
    Outcome o = search(d.view(), d.y, {}, opt, Hooks{});
    ASSERT_FALSE(o.stopped);
    ASSERT_FALSE(o.front.empty());
    const std::vector<std::string> names{"a", "b"};
    const Formula& best = o.front[o.best].formula;
    EXPECT_EQ(to_text(best, names), "a**2/b + 1/2");
    // Its error is the one on every row.
    Evaluator ev;
    ASSERT_TRUE(ev.run(best, d.view()));
    double sse = 0.0;
    for (std::size_t i = 0; i < n; ++i) sse += (ev.values()[i] - d.y[i]) * (ev.values()[i] - d.y[i]);
    EXPECT_NEAR(o.front[o.best].rmse, std::sqrt(sse / static_cast<double>(n)), 1e-12);

    Outcome again = search(d.view(), d.y, {}, opt, Hooks{});
    ASSERT_EQ(again.front.size(), o.front.size());
    EXPECT_EQ(again.front[again.best].rmse, o.front[o.best].rmse);
}

// The data of d as one row-major table, its columns read a row apart.
struct RowMajor {
    std::vector<double> table;
    std::vector<const double*> ptrs;
    std::size_t n;
    explicit RowMajor(const LawData& d) : n(d.y.size()) {
        const std::size_t width = d.cols.size();
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < width; ++j) table.push_back(d.cols[j][i]);
        for (std::size_t j = 0; j < width; ++j) ptrs.push_back(table.data() + j);
    }
    Columns view() const { return {ptrs, n, static_cast<std::ptrdiff_t>(ptrs.size())}; }
};

void expect_same_outcome(const Outcome& a, const Outcome& b) {
    const std::vector<std::string> names{"a", "b", "c"};
    ASSERT_EQ(a.front.size(), b.front.size());
    EXPECT_EQ(a.best, b.best);
    for (std::size_t k = 0; k < a.front.size(); ++k) {
        EXPECT_EQ(to_text(a.front[k].formula, names), to_text(b.front[k].formula, names));
        EXPECT_EQ(a.front[k].rmse, b.front[k].rmse);
        ASSERT_EQ(a.front[k].formula.size(), b.front[k].formula.size());
        for (std::size_t t = 0; t < a.front[k].formula.size(); ++t)
            EXPECT_EQ(a.front[k].formula[t].value, b.front[k].formula[t].value);
    }
}

// Below and above the row count the search ranks on: the rows of a
// row-major table give the bits their columns give.
TEST(RegressRows, ARowMajorTableIsReadWhereItLiesWithTheSameResults) {
    Options opt;
    opt.max_complexity = 6;
    opt.max_evaluations = 50000;
    for (std::size_t n : {std::size_t{300}, 3 * kRowBlock + 5}) {
        SCOPED_TRACE(n);
        LawData d(3, n, 1.0, 4.0, [](const std::vector<double>& x) { return x[0] * x[2] + 0.5 * x[1]; });
        const std::vector<double> noise = wobble(n);
        for (std::size_t i = 0; i < n; ++i) d.y[i] += 0.01 * noise[i];
        const RowMajor rows(d);
        EXPECT_EQ(neighbour_noise_variance(rows.view(), d.y), neighbour_noise_variance(d.view(), d.y));
        const RowSample sample(rows.view(), d.y, {}, 256);
        const RowSample column_sample(d.view(), d.y, {}, 256);
        for (std::size_t i = 0; i < 256; ++i) EXPECT_EQ(sample.data().columns[2][i], column_sample.data().columns[2][i]);
        expect_same_outcome(search(rows.view(), d.y, {}, opt, Hooks{}), search(d.view(), d.y, {}, opt, Hooks{}));
    }
}

}  // namespace
}  // namespace zyl::regress
