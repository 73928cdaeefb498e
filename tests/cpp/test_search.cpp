#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "bit_equal.hpp"
#include "discover/search.hpp"

namespace zyl::discover {
namespace {

using test::bit_equal;

SearchOutcome run(const Columns& cols, const std::vector<double>& targets, SearchParams p = {},
                  const StopRequest& stop = {}) {
    return search(cols, targets, cols.size(), p, stop);
}

SearchParams with_complexity(std::size_t c) {
    SearchParams p;
    p.max_complexity = c;
    return p;
}

TEST(Search, FindsSmallFormulas) {
    const Columns x{{1.0, 2.0, 3.0}};
    auto twice = run(x, {2.0, 4.0, 6.0});
    ASSERT_TRUE(twice.best);
    EXPECT_EQ(twice.best->formula, "(x + x)");
    EXPECT_TRUE(bit_equal(0.0, twice.best->error));
    EXPECT_EQ(twice.best->complexity, 3u);
    EXPECT_EQ(twice.best->expr.complexity(), 3u);
    EXPECT_TRUE(twice.best->params.empty());

    auto same = run(x, {1.0, 2.0, 3.0});
    ASSERT_TRUE(same.best);
    EXPECT_EQ(same.best->formula, "x");
    EXPECT_EQ(same.best->complexity, 1u);

    // Needs the swapped form: x comes before y in the pool.
    auto diff = run(Columns{{5.0, 3.0, 4.0}, {1.0, 2.0, 3.0}}, {4.0, 1.0, 1.0});
    ASSERT_TRUE(diff.best);
    EXPECT_EQ(diff.best->formula, "(x - y)");
}

TEST(Search, BestQuarterJoinsThePool) {
    // x * x is the best of level 2; only with it in the pool can level 3
    // reach x * x + 1.
    const Columns x{{1.0, 2.0, 3.0, 4.0, 5.0}};
    const std::vector<double> targets{2.0, 5.0, 10.0, 17.0, 26.0};
    SearchParams p = with_complexity(5);
    p.beam_width = 4;
    auto out = run(x, targets, p);
    ASSERT_TRUE(out.best);
    EXPECT_EQ(out.best->formula, "((x * x) + 1.0000)");
    p.beam_width = 3;
    EXPECT_NE(run(x, targets, p).best->formula, "((x * x) + 1.0000)");
}

TEST(Search, GoalIsInclusive) {
    SearchParams p;
    p.precision_goal = 0.0;
    auto out = run(Columns{{1.0, 2.0}}, {1.0, 1.0}, p);
    EXPECT_EQ(out.best->formula, "1.0000");
    EXPECT_EQ(out.scored, 3u);
}

TEST(Search, PenalisedErrorOfASeed) {
    // Only seeds: 1.0 misses by 1 on one of two samples.
    auto out = run(Columns{{1.0, 2.0}}, {1.0, 2.0}, with_complexity(0));
    ASSERT_TRUE(out.best);
    EXPECT_EQ(out.best->formula, "x");
    out = run(Columns{{5.0, 7.0}}, {1.0, 0.0}, with_complexity(1));
    ASSERT_TRUE(out.best);
    EXPECT_EQ(out.best->formula, "0.0000");  // tie with 1.0: the earlier seed wins
    EXPECT_TRUE(bit_equal(std::sqrt(0.5) * (1.0 * 0.001 + 1.0), out.best->error));
}

TEST(Search, LevelBounds) {
    const Columns x{{1.0, 2.0}};
    for (std::size_t c : {0u, 1u}) {
        auto seeds = run(x, {1.0, 1.0}, with_complexity(c));
        ASSERT_TRUE(seeds.best);
        EXPECT_EQ(seeds.best->formula, "1.0000");
        EXPECT_EQ(seeds.scored, 3u);
    }
    // Two nodes: unary extensions only, so 2x is out of reach but exp(x) is not.
    auto unary = run(x, {2.0, 4.0}, with_complexity(2));
    ASSERT_TRUE(unary.best);
    EXPECT_LE(unary.best->complexity, 2u);
    EXPECT_GT(unary.best->error, 0.0);
    auto e = run(x, {std::exp(1.0), std::exp(2.0)}, with_complexity(2));
    EXPECT_EQ(e.best->formula, "exp(x)");
    // Unary extensions carry no size check: exp(x * x) has four nodes.
    auto grown = run(Columns{{0.5, 1.0, 1.5}}, {std::exp(0.25), std::exp(1.0), std::exp(2.25)}, with_complexity(3));
    ASSERT_TRUE(grown.best);
    EXPECT_EQ(grown.best->formula, "exp((x * x))");
    EXPECT_EQ(grown.best->complexity, 4u);
}

TEST(Search, NarrowBeamNeverGrowsThePool) {
    const Columns x{{1.0, 2.0, 3.0}};
    const std::vector<double> targets{3.0, 7.0, 13.0};  // x * x + x + 1
    SearchParams narrow = with_complexity(8);
    narrow.beam_width = 3;
    SearchParams one_level = with_complexity(3);
    one_level.beam_width = 3;
    auto a = run(x, targets, narrow);
    auto b = run(x, targets, one_level);
    ASSERT_TRUE(a.best && b.best);
    EXPECT_EQ(a.scored, b.scored);
    EXPECT_EQ(a.best->formula, b.best->formula);
    EXPECT_LE(a.best->complexity, 3u);
}

TEST(Search, NanTargetsKeepTheFirstSeed) {
    auto out = run(Columns{{1.0, 2.0}}, {1.0, std::nan("")}, with_complexity(3));
    ASSERT_TRUE(out.best);
    EXPECT_EQ(out.best->formula, "0.0000");
    EXPECT_TRUE(std::isnan(out.best->error));
    auto empty_targets = run(Columns{{1.0, 2.0}}, {}, with_complexity(2));
    ASSERT_TRUE(empty_targets.best);
    EXPECT_EQ(empty_targets.best->formula, "0.0000");
}

TEST(Search, DegenerateData) {
    // No samples: every rmse is -0.0 and the first seed meets the goal.
    auto no_samples = run(Columns{{}}, {1.0, 2.0});
    ASSERT_TRUE(no_samples.best);
    EXPECT_EQ(no_samples.best->formula, "0.0000");
    EXPECT_TRUE(bit_equal(-0.0, no_samples.best->error));
    // Broken shapes are never read: nothing can be scored.
    EXPECT_FALSE(run(Columns{}, {1.0}).best);
    EXPECT_FALSE(run(Columns{{1.0, 2.0}, {1.0}}, {1.0, 2.0}).best);
    // More variables announced than columns given: those are unscorable.
    auto extra = search(Columns{{1.0, 2.0}}, std::vector<double>{1.0, 2.0}, 3, SearchParams{});
    ASSERT_TRUE(extra.best);
    EXPECT_EQ(extra.best->formula, "x");
}

TEST(Search, ScoreLevelDropsTheUnscorableAndKeepsOrder) {
    const Columns x{{1.0, 2.0, 4.0}};
    const std::vector<double> targets{1.0, 2.0, 4.0};
    SearchParams p;
    p.complexity_penalty = 0.5;
    const Expr var = leaf(Node::var(0));
    std::vector<Expr> candidates{
        extended(var, Op::Ln),                             // scorable: ln(x)
        extended(leaf(Node::constant(0.0)), Op::Ln),       // ln(0): dropped
        var,                                               // exact fit
        combined(var, leaf(Node::constant(0.0)), Op::Div), // x / 0: dropped
    };
    auto results = score_level(candidates, x, targets, p);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].formula, "ln(x)");
    EXPECT_EQ(results[1].formula, "x");
    EXPECT_TRUE(bit_equal(0.0, results[1].error));
    // rmse of ln(x) against x, from -0.0 in index order, then the penalty.
    double s = -0.0;
    for (double v : {1.0, 2.0, 4.0}) s += (std::log(v) - v) * (std::log(v) - v);
    EXPECT_TRUE(bit_equal(std::sqrt(s / 3.0) * (2.0 * 0.5 + 1.0), results[0].error));
    EXPECT_EQ(results[0].complexity, 2u);
}

TEST(Search, UpdateBestKeepsTheEarliestOfEqualErrors) {
    auto result = [](const char* f, double e) { return SearchResult{f, {}, Expr{}, e, 1}; };
    const double nan = std::nan("");
    std::optional<SearchResult> best;
    const std::vector<SearchResult> level{result("a", 2.0), result("b", 1.0), result("c", 1.0), result("d", nan)};
    update_best(best, level);
    EXPECT_EQ(best->formula, "b");
    update_best(best, std::vector<SearchResult>{result("e", 1.0), result("f", 0.5)});
    EXPECT_EQ(best->formula, "f");
    std::optional<SearchResult> nan_best;
    update_best(nan_best, std::vector<SearchResult>{result("n", nan), result("m", 0.0)});
    EXPECT_EQ(nan_best->formula, "n");
}

TEST(Search, StopRequestIsAskedOnTheCallingThread) {
    const Columns x{{1.0, 2.0, 3.0, 4.0}};
    const std::vector<double> hard{0.3, -1.7, 2.9, 0.1};
    const auto me = std::this_thread::get_id();
    int asked = 0;
    bool elsewhere = false;
    auto never = run(x, hard, with_complexity(4), [&] {
        ++asked;
        elsewhere |= std::this_thread::get_id() != me;
        return false;
    });
    EXPECT_FALSE(never.interrupted);
    EXPECT_TRUE(never.best);
    EXPECT_GT(asked, 3);
    EXPECT_FALSE(elsewhere);
    EXPECT_GE(never.generated, never.scored);

    auto stopped = run(x, hard, with_complexity(4), [] { return true; });
    EXPECT_TRUE(stopped.interrupted);
    EXPECT_FALSE(stopped.best);

    int calls = 0;
    auto later = run(x, hard, with_complexity(4), [&] { return ++calls == 3; });
    EXPECT_TRUE(later.interrupted);
    EXPECT_FALSE(later.best);
    EXPECT_LT(later.scored, never.scored);
}

}  // namespace
}  // namespace zyl::discover
