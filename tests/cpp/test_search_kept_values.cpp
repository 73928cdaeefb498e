// Kept values change only the speed of the search: any memory budget gives
// the same results, and scoring from operand values gives the bits of
// evaluating the whole node list.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "bit_equal.hpp"
#include "discover/column_score.hpp"
#include "discover/kept_values.hpp"
#include "discover/optimizer.hpp"
#include "discover/search.hpp"

namespace zyl::discover {
namespace {

using test::bit_equal;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Restores the process-wide budget when a test ends.
class BudgetScope {
public:
    explicit BudgetScope(std::size_t bytes) : saved_(kept_values_budget()) { set_kept_values_budget(bytes); }
    ~BudgetScope() { set_kept_values_budget(saved_); }

private:
    std::size_t saved_;
};

struct Problem {
    Columns columns;
    std::vector<double> targets;
    SearchParams params;
};

Problem random_problem(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> val(-3.0, 3.0);
    std::uniform_int_distribution<int> pick(0, 19);
    const double special[] = {0.0, -1.0, 1e-310, 1e200, kInf, kNaN};
    Problem p;
    const std::size_t vars = 1 + rng() % 3, samples = 1 + rng() % 30;
    p.columns.assign(vars, std::vector<double>(samples));
    for (auto& column : p.columns)
        for (double& v : column) v = pick(rng) == 0 ? special[rng() % 6] : val(rng);
    for (std::size_t i = 0; i < samples; ++i)
        p.targets.push_back(p.columns[0][i] * p.columns.back()[i] + (pick(rng) == 0 ? 0.0 : 0.1 * val(rng)));
    p.params.max_complexity = 3 + rng() % 4;
    p.params.beam_width = 4 + rng() % 200;
    p.params.use_trig = rng() % 2;
    p.params.use_zyl = rng() % 4 != 0;
    return p;
}

SearchOutcome run(const Problem& p) { return search(p.columns, p.targets, p.columns.size(), p.params); }

TEST(KeptValues, AnyBudgetGivesTheSameResults) {
    std::mt19937_64 rng(11);
    for (int k = 0; k < 150; ++k) {
        const Problem p = random_problem(rng);
        const SearchOutcome all = run(p);
        const std::size_t column = p.columns[0].size() * sizeof(double);
        // Nothing kept; the constant seeds only; a budget running out part
        // way through a level's joiners (values kept, zyl terms not).
        for (std::size_t budget : {std::size_t{0}, 2 * column, 37 * column, 301 * column}) {
            BudgetScope scope(budget);
            const SearchOutcome some = run(p);
            ASSERT_EQ(all.best.has_value(), some.best.has_value()) << k;
            EXPECT_EQ(all.scored, some.scored) << k;
            if (!all.best) continue;
            EXPECT_EQ(all.best->formula, some.best->formula) << k << " budget " << budget;
            EXPECT_TRUE(bit_equal(all.best->error, some.best->error)) << k << " budget " << budget;
            EXPECT_EQ(all.best->complexity, some.best->complexity) << k;
        }
    }
}

TEST(KeptValues, LongDataWithoutKeptValues) {
    // Operands that keep nothing are evaluated a chunk of samples at a time;
    // the sums carry over from chunk to chunk.
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> val(0.5, 3.0);
    Problem p;
    const std::size_t samples = 70001;
    p.columns.assign(2, std::vector<double>(samples));
    for (std::size_t i = 0; i < samples; ++i) {
        p.columns[0][i] = val(rng);
        p.columns[1][i] = val(rng);
        p.targets.push_back(p.columns[0][i] * p.columns[1][i] - std::sin(p.columns[0][i]) + 0.01 * val(rng));
    }
    p.params.max_complexity = 5;
    p.params.beam_width = 24;
    const SearchOutcome all = run(p);
    BudgetScope scope(0);
    const SearchOutcome none = run(p);
    ASSERT_TRUE(all.best && none.best);
    EXPECT_EQ(all.best->formula, none.best->formula);
    EXPECT_TRUE(bit_equal(all.best->error, none.best->error));
    EXPECT_EQ(all.scored, none.scored);
}

TEST(KeptValues, StoreStopsAtTheBudget) {
    ColumnStore store(4, 3 * 4 * sizeof(double) + 5);
    EXPECT_NE(store.take(), nullptr);
    EXPECT_NE(store.take(), nullptr);
    EXPECT_NE(store.take(), nullptr);
    EXPECT_EQ(store.take(), nullptr);
    EXPECT_EQ(ColumnStore(4, 0).take(), nullptr);
}

std::optional<double> whole_sum(Op op, const std::vector<double>& a, const std::vector<double>& b, std::size_t n,
                                std::span<const double> targets, Abandon abandon = {}) {
    return squared_error_sum(op, a.data(), b.data(), SampleRange{0, n}, targets, abandon);
}

TEST(ColumnScore, SumMatchesTheRmseOfStoredValues) {
    const std::vector<double> a{0.5, -2.0, 3.0, 1e-300, 7.25, 0.0};
    const std::vector<double> b{1.5, 4.0, -0.25, 2.0, 1e-301, 3.0};
    const std::vector<double> targets{1.0, -1.0, kInf, 0.5, 2.0, -3.0};
    for (std::uint8_t code = 0; code < 13; ++code) {
        const Op op = static_cast<Op>(code);
        // Every prefix length of the samples, against fewer, as many and
        // more targets than samples.
        for (std::size_t n = 0; n <= a.size(); ++n) {
            for (std::size_t t : {n / 2, n, a.size()}) {
                std::vector<double> stored(n);
                const bool ok = apply_column(op, a.data(), b.data(), stored.data(), n);
                const std::span<const double> tg(targets.data(), t);
                auto sum = whole_sum(op, a, b, n, tg);
                ASSERT_EQ(ok, sum.has_value()) << int(code) << " n " << n;
                if (ok) {
                    EXPECT_TRUE(bit_equal(rmse(stored, tg), rmse_of_sum(*sum, t))) << int(code) << " n " << n;
                }
            }
        }
    }
}

TEST(ColumnScore, RejectionPastTheTargetsStillDrops) {
    // Samples without a target are not summed but must still be accepted.
    const std::vector<double> a{1.0, 2.0, 0.0};
    const std::vector<double> targets{1.0};
    EXPECT_FALSE(whole_sum(Op::Inv, a, a, 3, targets));
    EXPECT_TRUE(whole_sum(Op::Inv, a, a, 2, targets));
    auto empty = whole_sum(Op::Neg, a, a, 0, targets);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(bit_equal(-0.0, *empty));
}

TEST(ColumnScore, PiecesAndAbandoningKeepTheBits) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> val(-2.0, 2.0);
    const std::size_t n = 300;  // several blocks between looks at the bound
    std::vector<double> a(n), b(n), targets(n);
    for (std::size_t i = 0; i < n; ++i) {
        a[i] = val(rng);
        b[i] = val(rng);
        targets[i] = a[i] * b[i] + 0.1 * val(rng);
    }
    for (Op op : {Op::Mul, Op::Add, Op::Zyl, Op::Sin}) {
        const double whole = *whole_sum(op, a, b, n, targets);
        // In two pieces, split anywhere.
        for (std::size_t cut : {0u, 1u, 63u, 64u, 65u, 200u, 300u}) {
            auto head = squared_error_sum(op, a.data(), b.data(), SampleRange{0, cut}, targets);
            auto tail = squared_error_sum(op, a.data() + cut, b.data() + cut, SampleRange{cut, n, *head}, targets);
            EXPECT_TRUE(bit_equal(whole, *tail)) << int(op) << " cut " << cut;
        }
        // Abandoned exactly when the error exceeds the cut-off, never for a
        // candidate at or below it; kept sums are untouched.
        const double factor = 1.25;
        const double error = rmse_of_sum(whole, n) * factor;
        for (double cutoff : {0.0, error * 0.5, std::nextafter(error, 0.0), error, error * 2.0, kInf, kNaN}) {
            auto sum = whole_sum(op, a, b, n, targets, Abandon{cutoff, factor});
            if (sum) {
                EXPECT_TRUE(bit_equal(whole, *sum));
            } else {
                EXPECT_GT(error, cutoff) << int(op);
            }
            if (!(error > cutoff)) {
                EXPECT_TRUE(sum) << int(op) << " cutoff " << cutoff;
            }
        }
        // A factor that is not positive and finite never abandons.
        for (double factor : {0.0, -1.0, kInf, kNaN})
            EXPECT_TRUE(whole_sum(op, a, b, n, targets, Abandon{0.0, factor})) << int(op);
    }
    // A hopeless candidate stops early: here at the first look.
    auto far = squared_error_sum(Op::Add, a.data() + 64, b.data() + 64, SampleRange{64, n, 1e6}, targets,
                                 Abandon{0.1, 1.0});
    EXPECT_FALSE(far);
}

}  // namespace
}  // namespace zyl::discover
