#include "column_score.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "column_lanes.hpp"
#include "op_rules.hpp"
#include "vector_values.hpp"

namespace zyl::discover {
namespace {

// Samples between two looks at the verdict and the bound: a rejected or
// hopeless candidate stops soon, an accepted one pays two tests per block.
constexpr std::size_t kBlock = 64;
// Candidates summed side by side. Each addition waits for the one before it
// in the same sum; eight independent sums keep the adder busy meanwhile.
constexpr std::size_t kLanes = 8;
// Rounds of blocks between two looks at cancellation: 512 blocks of every
// lane, about 2.6e5 samples.
constexpr std::size_t kRoundsPerCancelLook = 512;

// Writes the squared errors of one block of a candidate, sample i at
// squares[i * kLanes], for the `summed` samples that have a target, and -0.0
// (which leaves every sum as it is) for the `n - summed` that have none.
// a, b and t start at the block's first sample. False when op rejects a
// sample of the block or gives a non-finite value there. Four samples at a
// time where the processor has AVX2 (column_lanes.hpp), the rest one by one.
template <Op o>
bool block_squares(const double* a, const double* b, const double* t, std::size_t summed, std::size_t n,
                   double* squares) {
    double values[kBlock];
    if constexpr (kHasVectorValues<o>) vector_values<o>(a, arity(o) == 2 ? b : nullptr, values, n);
    bool ok = true;
    auto value = [&](std::size_t i) {
        const double bi = arity(o) == 2 ? b[i] : 0.0;
        double r;
        if constexpr (kHasVectorValues<o>) {
            r = values[i];
        } else {
            r = rules::value<o>(a[i], bi);
        }
        ok &= rules::accepts<o>(a[i], bi) & rules::finite(r);
        return r;
    };
    std::size_t i = 0;
    if (lanes::has_avx2()) {
        ok = lanes::squares_four<o>(a, b, values, t, summed, squares, kLanes);
        i = summed - summed % 4;
    }
    for (; i < summed; ++i) {
        const double d = value(i) - t[i];
        squares[i * kLanes] = d * d;
    }
    // Samples without a target still have to be accepted.
    for (std::size_t i = summed; i < n; ++i) {
        value(i);
        squares[i * kLanes] = -0.0;
    }
    return ok;
}

// A candidate in one lane: where its next block starts, and its pre-test
// bound (see Lanes::hopeless).
struct Lane {
    const SumJob* job = nullptr;
    std::size_t next = 0;
    double rough = 0.0;
};

class Lanes {
public:
    Lanes(std::span<const SumJob> jobs, std::span<const double> targets, std::span<std::optional<double>> sums)
        : jobs_(jobs), targets_(targets), sums_(sums) {
        std::fill(sums.begin(), sums.end(), std::nullopt);
        std::fill(std::begin(squares_), std::end(squares_), -0.0);
    }

    void run(bool (*cancelled)()) {
        for (std::size_t round = 1;; ++round) {
            if (cancelled && round % kRoundsPerCancelLook == 0 && cancelled()) return;
            std::size_t longest = 0;
            for (std::size_t j = 0; j < kLanes; ++j) longest = std::max(longest, next_block(j));
            if (longest == 0) return;
            // Lanes with a shorter block, or none, were padded with -0.0 up
            // to the longest.
            add_squares(longest);
        }
    }

private:
    // Fills lane j's column of squares with its candidate's next block,
    // taking the next job whenever the lane's candidate is done, abandoned or
    // rejected. The block's length; 0 when no job is left.
    std::size_t next_block(std::size_t j) {
        Lane& lane = lanes_[j];
        for (;;) {
            if (!lane.job && !take(j)) return 0;
            const SumJob& job = *lane.job;
            double& s = sums_in_lanes_[j];
            if (lane.next >= job.range.end) {
                sums_[static_cast<std::size_t>(lane.job - jobs_.data())] = s;
                lane.job = nullptr;
                continue;
            }
            if (s > lane.rough && rmse_of_sum(s, targets_.size()) * job.abandon.factor > job.abandon.error) {
                lane.job = nullptr;
                continue;
            }
            const std::size_t begin = lane.next;
            const std::size_t end = std::min(job.range.end, begin + kBlock);
            const std::size_t m = std::min(job.range.end, targets_.size());
            const std::size_t summed = std::min(end, std::max(m, begin)) - begin;
            const std::size_t offset = begin - job.range.begin;
            double* column = squares_ + j;
            const bool ok = rules::dispatch(job.op, [&]<Op o>() {
                return block_squares<o>(job.a + offset, job.b + offset, targets_.data() + begin, summed, end - begin,
                                        column);
            });
            if (!ok) {
                lane.job = nullptr;
                continue;
            }
            for (std::size_t i = end - begin; i < kBlock; ++i) column[i * kLanes] = -0.0;
            lane.next = end;
            return end - begin;
        }
    }

    // Adds the first n rows of squares to the lanes' sums, two lanes per
    // vector addition (each lane is the same IEEE addition as alone), the
    // sums held in registers throughout.
    void add_squares(std::size_t n) {
        using Pair = double __attribute__((vector_size(16)));
        static_assert(kLanes == 8);
        Pair s[4];
        std::memcpy(s, sums_in_lanes_, sizeof s);
        Pair s0 = s[0], s1 = s[1], s2 = s[2], s3 = s[3];
        for (std::size_t i = 0; i < n; ++i) {
            Pair row[4];
            std::memcpy(row, squares_ + i * kLanes, sizeof row);
            s0 = s0 + row[0];
            s1 = s1 + row[1];
            s2 = s2 + row[2];
            s3 = s3 + row[3];
        }
        s[0] = s0, s[1] = s1, s[2] = s2, s[3] = s3;
        std::memcpy(sums_in_lanes_, s, sizeof s);
    }

    // Starts the next job in lane j; false when none is left.
    bool take(std::size_t j) {
        for (; taken_ < jobs_.size(); ++taken_) {
            const SumJob& job = jobs_[taken_];
            if (!rules::known(job.op)) continue;
            // A cheap pre-test on the sum before the exact bound is formed;
            // it only has to be near, since the exact test decides.
            const bool may_abandon = job.abandon.factor > 0.0 && rules::finite(job.abandon.factor);
            const double ratio = job.abandon.error / job.abandon.factor;
            lanes_[j] = Lane{&job, job.range.begin,
                             may_abandon ? ratio * ratio * static_cast<double>(targets_.size()) * (1.0 - 1e-6)
                                         : std::numeric_limits<double>::infinity()};
            sums_in_lanes_[j] = job.range.sum;
            ++taken_;
            return true;
        }
        return false;
    }

    std::span<const SumJob> jobs_;
    std::span<const double> targets_;
    std::span<std::optional<double>> sums_;
    std::size_t taken_ = 0;
    Lane lanes_[kLanes];
    double sums_in_lanes_[kLanes] = {};
    // Sample i of lane j's block at [i * kLanes + j].
    alignas(64) double squares_[kBlock * kLanes];
};

}  // namespace

void squared_error_sums(std::span<const SumJob> jobs, std::span<const double> targets,
                        std::span<std::optional<double>> sums, bool (*cancelled)()) {
    Lanes(jobs, targets, sums).run(cancelled);
}

std::optional<double> squared_error_sum(Op op, const double* a, const double* b, const SampleRange& range,
                                        std::span<const double> targets, const Abandon& abandon) {
    const SumJob job{op, a, b, range, abandon};
    std::optional<double> sum;
    squared_error_sums({&job, 1}, targets, {&sum, 1});
    return sum;
}

double rmse_of_sum(double sum, std::size_t n_targets) { return std::sqrt(sum / static_cast<double>(n_targets)); }

}  // namespace zyl::discover
