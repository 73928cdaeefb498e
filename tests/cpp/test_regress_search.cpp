#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bit_equal.hpp"
#include "regress/front.hpp"
#include "regress/render.hpp"
#include "regress/search.hpp"
#include "regress_data.hpp"

namespace zyl::regress {
namespace {

using test::bit_equal;
using test::LawData;

Term V(std::uint32_t j) { return Term::variable(j); }

Scored scored(std::size_t size, double rmse) {
    Formula f(size, V(0));
    return {f, rmse};
}

TEST(RegressFront, BestPerComplexityStrictlyImproving) {
    const std::vector<Scored> all{scored(3, 0.5), scored(1, 1.0), scored(3, 0.4), scored(5, 0.45),
                                  scored(7, 0.1), scored(9, std::nan("")), scored(4, 0.4)};
    auto front = pareto_front(all);
    ASSERT_EQ(front.size(), 3u);
    EXPECT_EQ(front[0].formula.size(), 1u);
    EXPECT_EQ(front[1].formula.size(), 3u);
    EXPECT_TRUE(bit_equal(0.4, front[1].rmse));
    EXPECT_EQ(front[2].formula.size(), 7u);
    EXPECT_TRUE(pareto_front(std::vector<Scored>{}).empty());
}

TEST(RegressSelect, SimplestExactWinsAndNoiseBuysNoTerms) {
    std::vector<double> y(100, 0.0);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = 1.0 + static_cast<double>(i % 7);
    // Exact to rounding at 5 terms; more terms that only shave rounding noise lose.
    EXPECT_EQ(select_best(std::vector<Scored>{scored(1, 2.0), scored(5, 1e-15), scored(9, 1e-17)}, y), 1u);
    // 1% noise: a formula at the noise level beats one that trims it by 3%
    // with four more terms, and beats a simpler one with twice the error.
    EXPECT_EQ(select_best(std::vector<Scored>{scored(3, 0.08), scored(6, 0.04), scored(10, 0.0388)}, y), 1u);
    EXPECT_EQ(select_best(std::vector<Scored>{}, y), 0u);
}

Formula found(const Outcome& o) { return o.front.at(o.best).formula; }

TEST(RegressSearch, FindsLawsWithTheirConstants) {
    const struct {
        const char* name;
        double (*law)(const std::vector<double>&);
        const char* want;
    } cases[] = {
        {"coulomb", [](const std::vector<double>& x) { return x[0] * x[1] / (4.0 * std::numbers::pi * x[2]); },
         "a*b/(4*pi*c)"},
        {"kinetic", [](const std::vector<double>& x) { return x[0] * x[1] * x[1] / 2.0; }, "a*b**2/2"},
        {"pendulum", [](const std::vector<double>& x) { return 2.0 * std::numbers::pi * std::sqrt(x[0] / x[1]); },
         "2*pi*sqrt(a/b)"},
    };
    const std::vector<std::string> names{"a", "b", "c"};
    for (const auto& c : cases) {
        LawData d(3, 100, 1.0, 5.0, c.law);
        Outcome o = search(d.view(), d.y, Options{}, Hooks{});
        ASSERT_FALSE(o.stopped);
        ASSERT_FALSE(o.front.empty()) << c.name;
        EXPECT_EQ(to_text(found(o), names), c.want) << c.name;
        for (std::size_t i = 1; i < o.front.size(); ++i) {
            EXPECT_GT(o.front[i].formula.size(), o.front[i - 1].formula.size());
            EXPECT_LT(o.front[i].rmse, o.front[i - 1].rmse);
        }
    }
}

TEST(RegressSearch, RepeatsBitForBit) {
    LawData d(2, 100, 1.0, 3.0, [](const std::vector<double>& x) { return std::exp(-x[0] / x[1]) + 0.01 * std::sin(40 * x[0]); });
    Options opt;
    opt.max_complexity = 7;
    Outcome a = search(d.view(), d.y, opt, Hooks{});
    Outcome b = search(d.view(), d.y, opt, Hooks{});
    ASSERT_EQ(a.front.size(), b.front.size());
    EXPECT_EQ(a.best, b.best);
    EXPECT_EQ(a.evaluations, b.evaluations);
    for (std::size_t i = 0; i < a.front.size(); ++i) {
        EXPECT_TRUE(bit_equal(a.front[i].rmse, b.front[i].rmse));
        ASSERT_EQ(a.front[i].formula.size(), b.front[i].formula.size());
        for (std::size_t k = 0; k < a.front[i].formula.size(); ++k)
            EXPECT_TRUE(bit_equal(a.front[i].formula[k].value, b.front[i].formula[k].value));
    }
}

TEST(RegressSearch, BudgetStopAndReports) {
    LawData d(3, 100, 1.0, 3.0, [](const std::vector<double>& x) { return std::sin(x[0] * x[1]) + std::log(x[2]) + 0.3 * x[0]; });
    Options opt;
    opt.max_evaluations = 5000;
    Outcome small = search(d.view(), d.y, opt, Hooks{});
    EXPECT_FALSE(small.front.empty());
    EXPECT_LE(small.evaluations, 5000u + 20000u);  // the last level's constant fits may go past it

    std::vector<std::size_t> levels;
    Hooks hooks;
    hooks.level_done = [&](const LevelReport& r) {
        levels.push_back(r.level);
        return r.level < 3;
    };
    Outcome stopped = search(d.view(), d.y, Options{}, hooks);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.front.empty());
    EXPECT_EQ(levels, (std::vector<std::size_t>{2, 3}));

    Hooks asked;
    int calls = 0;
    asked.stop = [&] { return ++calls > 1; };
    EXPECT_TRUE(search(d.view(), d.y, Options{}, asked).stopped);
}

TEST(RegressSearch, NonFiniteAndEmptyDataNeverCrash) {
    LawData d(2, 50, 1.0, 3.0, [](const std::vector<double>& x) { return x[0] * x[1]; });
    Options opt;
    opt.max_complexity = 5;
    std::vector<double> nan_y = d.y;
    nan_y[7] = std::nan("");
    EXPECT_TRUE(search(d.view(), nan_y, opt, Hooks{}).front.empty());
    LawData e = d;
    e.cols[1][3] = INFINITY;
    e.ptrs = {e.cols[0].data(), e.cols[1].data()};
    Outcome o = search(e.view(), e.y, opt, Hooks{});
    EXPECT_FALSE(o.front.empty());  // formulas of x0 alone still fit
    EXPECT_TRUE(search(Columns{{}, 0}, std::vector<double>{}, opt, Hooks{}).front.empty());
}

}  // namespace
}  // namespace zyl::regress
