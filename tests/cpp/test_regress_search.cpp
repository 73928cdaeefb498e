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
    Scored s;
    s.formula = Formula(size, V(0));
    s.rmse = rmse;
    return s;
}

Term O(Fn f) { return Term::operation(f); }

// A fitted scale times `structure` (none: the scale alone), with the error,
// the scale's standard error and the data's J'WJ given.
Scored scaled(Formula structure, double sse, double scale, double error, double information, std::size_t n) {
    Scored s;
    s.formula = {Term::constant(scale, true)};
    if (!structure.empty()) {
        s.formula.insert(s.formula.end(), structure.begin(), structure.end());
        s.formula.push_back(O(Fn::Mul));
    }
    s.sse = sse;
    s.rmse = std::sqrt(sse / static_cast<double>(n));
    s.covariance = {error * error};
    s.information = {information};
    return s;
}

const Formula kLine{V(0)};
const Formula kLaw{V(0), V(0), O(Fn::Sqrt), O(Fn::Mul)};
const Formula kLonger{V(0), O(Fn::Exp), V(0), O(Fn::Sin), O(Fn::Mul), V(0), O(Fn::Sqrt), O(Fn::Cos),
                      O(Fn::Add), V(0), O(Fn::Inv), O(Fn::Add)};

// The node count of the formula the rule selects.
std::size_t selected(std::vector<Scored> candidates, const SelectionData& d, Selection rule) {
    score_candidates(candidates, d);
    Choice c = choose(std::move(candidates), rule);
    return c.front.empty() ? 0 : c.front[c.best].formula.size();
}

TEST(RegressFront, BestPerComplexityStrictlyImprovingAndTheSelectedOne) {
    const std::vector<Scored> all{scored(3, 0.5), scored(1, 1.0), scored(3, 0.4), scored(5, 0.45),
                                  scored(7, 0.1), scored(9, std::nan("")), scored(4, 0.4)};
    Choice c = choose(all, Selection::Accuracy);
    ASSERT_EQ(c.front.size(), 3u);
    EXPECT_EQ(c.front[0].formula.size(), 1u);
    EXPECT_EQ(c.front[1].formula.size(), 3u);
    EXPECT_TRUE(bit_equal(0.4, c.front[1].rmse));
    EXPECT_EQ(c.front[2].formula.size(), 7u);
    EXPECT_EQ(c.best, 2u);
    EXPECT_TRUE(choose({}, Selection::Accuracy).front.empty());
    // A selected formula less accurate than a simpler one stays on the front.
    std::vector<Scored> scored_by_length{scored(3, 0.5), scored(5, 0.6), scored(7, 0.1)};
    scored_by_length[0].description_length = 30.0;
    scored_by_length[1].description_length = 10.0;
    scored_by_length[2].description_length = 20.0;
    Choice d = choose(scored_by_length, Selection::DescriptionLength);
    ASSERT_EQ(d.front.size(), 3u);
    EXPECT_EQ(d.front[d.best].formula.size(), 5u);
}

TEST(RegressSelect, SimplestExactWinsAndNoiseBuysNoTerms) {
    SelectionData d;
    d.samples = 100;
    d.floor_mse = 1e-22;
    // Exact to rounding with the law; more nodes that only shave rounding
    // lose, and so does a simpler formula off by 1e-4.
    std::vector<Scored> exact{scaled({}, 1.0, 1.0, 0.01, 100.0, 100), scaled(kLine, 1e-6, 2.0, 1e-8, 100.0, 100),
                              scaled(kLaw, 1e-26, 2.0, 1e-14, 100.0, 100),
                              scaled(kLonger, 1e-28, 2.0, 1e-15, 100.0, 100)};
    EXPECT_EQ(selected(exact, d, Selection::DescriptionLength), 6u);
    EXPECT_EQ(selected(exact, d, Selection::Bic), 6u);
    EXPECT_EQ(selected(exact, d, Selection::Accuracy), 14u);

    // Six noisy samples with a noise variance of 0.1 that the law explains
    // to 1% of their variance: eight more nodes for 1/3000 of its error lose.
    d.samples = 6;
    d.noise_variance = 0.1;
    std::vector<Scored> noisy{scaled({}, 50.0, 5.0, 1.0, 6.0, 6), scaled(kLaw, 0.5, 2.0, 0.05, 600.0, 6),
                              scaled(kLonger, 0.00017, 2.0, 0.001, 600.0, 6)};
    EXPECT_EQ(selected(noisy, d, Selection::DescriptionLength), 6u);
    EXPECT_EQ(selected(noisy, d, Selection::Bic), 14u);
}

TEST(RegressSelect, ConstantsTheDataCannotPinDownAreNotSelected) {
    SelectionData d;
    d.samples = 6;
    // A scale within two standard errors of zero, and one without a
    // covariance (the constants cannot be told apart).
    std::vector<Scored> front{scaled({}, 50.0, 5.0, 1.0, 6.0, 6), scaled(kLine, 1.0, 0.3, 0.2, 600.0, 6),
                              scaled(kLaw, 0.5, 2.0, std::nan(""), 600.0, 6)};
    score_candidates(front, d);
    EXPECT_TRUE(front[0].selectable);
    EXPECT_FALSE(front[1].selectable);
    EXPECT_FALSE(front[2].selectable);
    EXPECT_TRUE(std::isfinite(front[1].bic));
    EXPECT_EQ(selected(front, d, Selection::DescriptionLength), 1u);
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
        Outcome o = search(d.view(), d.y, {}, Options{}, Hooks{});
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
    Outcome a = search(d.view(), d.y, {}, opt, Hooks{});
    Outcome b = search(d.view(), d.y, {}, opt, Hooks{});
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
    Outcome small = search(d.view(), d.y, {}, opt, Hooks{});
    EXPECT_FALSE(small.front.empty());
    EXPECT_LE(small.evaluations, 5000u + 20000u);  // the last level's constant fits may go past it

    std::vector<std::size_t> levels;
    Hooks hooks;
    hooks.level_done = [&](const LevelReport& r) {
        levels.push_back(r.level);
        return r.level < 3;
    };
    // Ending early keeps a finished front of what was found.
    Outcome early = search(d.view(), d.y, {}, Options{}, hooks);
    EXPECT_FALSE(early.stopped);
    EXPECT_FALSE(early.front.empty());
    EXPECT_EQ(levels, (std::vector<std::size_t>{2, 3}));

    // A stop request ends at once, with a quick front of what was found.
    Hooks asked;
    int calls = 0;
    asked.stop = [&] { return ++calls > 1; };
    Outcome stopped = search(d.view(), d.y, {}, Options{}, asked);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.front.empty());
}

// The levels of the search by default, from its level reports.
std::vector<std::size_t> levels_run(const LawData& d) {
    std::vector<std::size_t> levels;
    Hooks hooks;
    hooks.level_done = [&](const LevelReport& r) {
        levels.push_back(r.level);
        return true;
    };
    search(d.view(), d.y, {}, Options{}, hooks);
    return levels;
}

TEST(RegressSearch, LevelsPastTenOnlyWhileTheErrorStillFalls) {
    // Found at once, then only noise left to fit: no level past 10.
    LawData noisy(2, 100, 1.0, 3.0, [](const std::vector<double>& x) {
        return x[0] * x[1] + 0.05 * std::sin(97.0 * x[0] + 31.0 * x[1]);
    });
    EXPECT_EQ(levels_run(noisy).back(), 10u);
    // A sum of two products with their own weights keeps improving past it.
    LawData energy(4, 100, 1.0, 3.0, [](const std::vector<double>& x) {
        return 0.5 * x[0] * x[1] * x[1] + 0.5 * x[2] * x[3] * x[3];
    });
    EXPECT_GT(levels_run(energy).back(), 10u);
}

TEST(RegressSearch, NonFiniteAndEmptyDataNeverCrash) {
    LawData d(2, 50, 1.0, 3.0, [](const std::vector<double>& x) { return x[0] * x[1]; });
    Options opt;
    opt.max_complexity = 5;
    std::vector<double> nan_y = d.y;
    nan_y[7] = std::nan("");
    EXPECT_TRUE(search(d.view(), nan_y, {}, opt, Hooks{}).front.empty());
    LawData e = d;
    e.cols[1][3] = INFINITY;
    e.ptrs = {e.cols[0].data(), e.cols[1].data()};
    Outcome o = search(e.view(), e.y, {}, opt, Hooks{});
    EXPECT_FALSE(o.front.empty());  // formulas of x0 alone still fit
    EXPECT_TRUE(search(Columns{{}, 0}, std::vector<double>{}, {}, opt, Hooks{}).front.empty());
}

}  // namespace
}  // namespace zyl::regress
