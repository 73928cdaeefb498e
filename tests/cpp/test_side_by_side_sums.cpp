// Candidates summed side by side (squared_error_sums) against each summed
// alone in a plain loop over the scalar rules: the same bits, the same
// rejections, and abandoned only when the error is past the cut-off, however
// the candidates share the lanes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "bit_equal.hpp"
#include "discover/column_score.hpp"
#include "discover/op_rules.hpp"

namespace zyl::discover {
namespace {

using zyl::test::bit_equal;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The in-order sum of the candidate over its range, or nothing when a sample
// is rejected or not finite; no abandoning.
std::optional<double> plain_sum(const SumJob& job, std::span<const double> targets) {
    double s = job.range.sum;
    bool ok = true;
    for (std::size_t i = job.range.begin; i < job.range.end; ++i) {
        const double a = job.a[i - job.range.begin];
        const double b = arity(job.op) == 2 ? job.b[i - job.range.begin] : 0.0;
        const double r = rules::dispatch(job.op, [&]<Op o>() { return rules::value<o>(a, b); });
        ok &= rules::dispatch(job.op, [&]<Op o>() { return rules::accepts<o>(a, b); }) && rules::finite(r);
        if (i < targets.size()) {
            const double d = r - targets[i];
            s = s + d * d;
        }
    }
    if (!ok) return std::nullopt;
    return s;
}

// Columns with a few values that some operations reject or overflow on.
struct Data {
    std::vector<double> a, b, targets;
};

Data make_data(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    Data d;
    for (std::size_t i = 0; i < n; ++i) {
        d.a.push_back(value(rng));
        d.b.push_back(value(rng));
        d.targets.push_back(d.a.back() * d.b.back() + 0.1 * value(rng));
    }
    return d;
}

std::vector<std::optional<double>> side_by_side(const std::vector<SumJob>& jobs, std::span<const double> targets,
                                                bool (*cancelled)() = nullptr) {
    std::vector<std::optional<double>> sums(jobs.size(), 0.0);
    squared_error_sums(jobs, targets, sums, cancelled);
    return sums;
}

TEST(SideBySideSums, EveryCandidateGetsItsOwnInOrderSum) {
    // Every operation, from many first samples to many last ones (ranges of
    // no block, part of one, several and a ragged end), from a sum that is
    // -0.0 or carried over, more candidates than lanes so that lanes are
    // taken over mid-way: each result is that candidate's own sum.
    const std::size_t n = 700;
    Data d = make_data(n, 11);
    d.a[400] = -0.5;  // ln and sqrt reject it, so candidates past it drop
    d.b[650] = 0.0;   // so does division
    d.a[520] = 800.0; // exp overflows
    std::vector<SumJob> jobs;
    std::mt19937_64 rng(5);
    for (int k = 0; k < 400; ++k) {
        const auto op = static_cast<Op>(rng() % rules::kOpCount);
        std::size_t begin = rng() % n;
        std::size_t end = begin + rng() % (n - begin + 1);
        if (k % 7 == 0) end = std::min(n, begin + 64 * (1 + rng() % 3));
        const double start = k % 3 == 0 ? -0.0 : static_cast<double>(rng() % 100) * 0.01;
        jobs.push_back(SumJob{op, d.a.data() + begin, d.b.data() + begin, SampleRange{begin, end, start}, {}});
    }
    // Fewer targets than samples: the samples past them are checked, not summed.
    for (std::size_t targets : {n, std::size_t{500}}) {
        const std::span<const double> t(d.targets.data(), targets);
        const auto got = side_by_side(jobs, t);
        std::size_t rejected = 0;
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            const auto want = plain_sum(jobs[k], t);
            ASSERT_EQ(want.has_value(), got[k].has_value()) << k;
            if (want) {
                EXPECT_TRUE(bit_equal(*want, *got[k])) << k;
            } else {
                ++rejected;
            }
            // One candidate alone gives the same.
            const auto alone = squared_error_sum(jobs[k].op, jobs[k].a, jobs[k].b, jobs[k].range, t);
            ASSERT_EQ(alone.has_value(), got[k].has_value()) << k;
            if (alone) {
                EXPECT_TRUE(bit_equal(*alone, *got[k])) << k;
            }
        }
        EXPECT_GT(rejected, 20u);
        EXPECT_LT(rejected, jobs.size() / 2);
    }
    EXPECT_TRUE(side_by_side({}, d.targets).empty());
    // An unknown operation gives nothing and leaves its neighbours alone.
    std::vector<SumJob> odd = {jobs[1], jobs[1], jobs[2]};
    odd[1].op = static_cast<Op>(rules::kOpCount);
    const auto got = side_by_side(odd, d.targets);
    EXPECT_FALSE(got[1]);
    EXPECT_EQ(got[0].has_value(), plain_sum(jobs[1], d.targets).has_value());
    EXPECT_EQ(got[2].has_value(), plain_sum(jobs[2], d.targets).has_value());
}

TEST(SideBySideSums, AbandonedOnlyPastTheCutoff) {
    // Cut-offs around each candidate's own final error, the exact error
    // included, among candidates abandoned early and late: a kept result is
    // the whole sum, and only an error past the cut-off is abandoned.
    const std::size_t n = 1000;
    const Data d = make_data(n, 17);
    std::vector<SumJob> jobs;
    std::vector<double> errors;
    const Op ops[] = {Op::Mul, Op::Add, Op::Sub, Op::Zyl, Op::Sin, Op::Div, Op::Neg};
    for (int k = 0; k < 200; ++k) {
        const Op op = ops[k % 7];
        const std::size_t begin = k % 2 == 0 ? 0 : 32;
        const std::size_t end = n - (k % 5) * 13;
        SumJob job{op, d.a.data() + begin, d.b.data() + begin, SampleRange{begin, end, -0.0}, {}};
        const auto whole = plain_sum(job, d.targets);
        ASSERT_TRUE(whole);
        const double factor = 1.0 + 0.001 * (k % 11);
        const double error = rmse_of_sum(*whole, n) * factor;
        const double cuts[] = {error, std::nextafter(error, 0.0), error * 0.01, error * 0.9, error * 2.0, kNaN};
        job.abandon = Abandon{cuts[k % 6], factor};
        jobs.push_back(job);
        errors.push_back(error);
    }
    const auto got = side_by_side(jobs, d.targets);
    std::size_t abandoned = 0;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const double cut = jobs[k].abandon.error;
        if (got[k]) {
            EXPECT_TRUE(bit_equal(*plain_sum(jobs[k], d.targets), *got[k])) << k;
        } else {
            EXPECT_GT(errors[k], cut) << k;
            ++abandoned;
        }
        if (!(errors[k] > cut)) {
            EXPECT_TRUE(got[k]) << k << " at its own error";
        }
    }
    // Far below the error (a hundredth of it) is abandoned for sure.
    EXPECT_GE(abandoned, jobs.size() / 6);
    // A factor that is not positive and finite never abandons.
    for (double factor : {0.0, -1.0, kInf, kNaN}) {
        std::vector<SumJob> never = jobs;
        for (SumJob& job : never) job.abandon = Abandon{0.0, factor};
        for (const auto& sum : side_by_side(never, d.targets)) EXPECT_TRUE(sum) << factor;
    }
}

bool always() { return true; }
bool never() { return false; }

TEST(SideBySideSums, CancellationLeavesUnfinishedCandidatesEmpty) {
    // Long enough for cancellation to be asked: what finished before then
    // keeps its sum, the rest are nothing.
    const std::size_t n = 64 * 2000;
    const Data d = make_data(n, 23);
    std::vector<SumJob> jobs;
    jobs.push_back(SumJob{Op::Mul, d.a.data(), d.b.data(), SampleRange{0, 64}, {}});
    for (int k = 0; k < 8; ++k) jobs.push_back(SumJob{Op::Add, d.a.data(), d.b.data(), SampleRange{0, n}, {}});
    const auto stopped = side_by_side(jobs, d.targets, always);
    ASSERT_TRUE(stopped[0]);
    EXPECT_TRUE(bit_equal(*plain_sum(jobs[0], d.targets), *stopped[0]));
    for (std::size_t k = 1; k < jobs.size(); ++k) EXPECT_FALSE(stopped[k]);
    const auto whole = side_by_side(jobs, d.targets, never);
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        ASSERT_TRUE(whole[k]);
        EXPECT_TRUE(bit_equal(*plain_sum(jobs[k], d.targets), *whole[k]));
    }
}

}  // namespace
}  // namespace zyl::discover
