// Cancellation of pool maps and serial loops, and where small maps run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "pool/serial_for.hpp"
#include "pool/thread_count.hpp"
#include "pool/worker_pool.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A poll that says "stop" from its k-th call on, counting its calls.
struct StopAfter {
    int calls_before_stop;
    std::atomic<int> calls{0};

    static bool poll(void* self) {
        auto* s = static_cast<StopAfter*>(self);
        return ++s->calls > s->calls_before_stop;
    }
    zyl::MapControl control(double cost_ns) { return {&StopAfter::poll, this, cost_ns}; }
};

void spin_for(std::chrono::microseconds d) {
    const auto until = Clock::now() + d;
    while (Clock::now() < until) {
    }
}

TEST(PoolCancel, DropsPendingPiecesAndWaitsForRunningOnes) {
    // About four seconds of work; the second poll (about 4 ms in) cancels.
    const std::size_t n = 40'000;
    std::atomic<int> in_flight{0};
    std::atomic<std::size_t> computed{0};
    StopAfter stop{1};
    const auto t0 = Clock::now();
    std::size_t r = zyl::parallel_for(n, [&](std::size_t) {
        in_flight++;
        spin_for(100us);
        computed++;
        in_flight--;
    }, stop.control(100'000.0));
    const auto elapsed = Clock::now() - t0;
    EXPECT_EQ(r, zyl::kCancelled);
    EXPECT_EQ(in_flight.load(), 0) << "a worker was still inside the job when run returned";
    EXPECT_LT(computed.load(), n / 4);
    EXPECT_LT(elapsed, 1s);
    const std::size_t settled = computed.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(computed.load(), settled) << "elements computed after the job was cancelled";
}

TEST(PoolCancel, LongElementStopsWhenItAsks) {
    StopAfter stop{0};
    std::atomic<int> stopped_early{0};
    const auto t0 = Clock::now();
    std::size_t r = zyl::parallel_for(4, [&](std::size_t) {
        // Up to ten seconds per element unless the map is cancelled.
        const auto until = Clock::now() + 10s;
        while (Clock::now() < until) {
            if (zyl::job_cancelled()) {
                stopped_early++;
                return;
            }
        }
    }, stop.control(1e10));
    EXPECT_EQ(r, zyl::kCancelled);
    EXPECT_LT(Clock::now() - t0, 2s);
    EXPECT_GE(stopped_early.load(), 1);
}

TEST(PoolCancel, LongElementComputedByTheCallerStopsWhenPolled) {
    // Another thread's job holds the pool, so this map runs on the calling
    // thread, where nothing but the element itself can ask the poll.
    std::atomic<bool> release{false}, occupied{false};
    std::thread other([&] {
        zyl::parallel_for(2, [&](std::size_t) {
            occupied.store(true);
            while (!release.load()) std::this_thread::yield();
        }, {nullptr, nullptr, 1e10});
    });
    while (!occupied.load()) std::this_thread::yield();
    StopAfter stop{2};
    const auto me = std::this_thread::get_id();
    std::atomic<bool> ran_here{false}, stopped_early{false};
    const auto t0 = Clock::now();
    const std::size_t r = zyl::parallel_for(1, [&](std::size_t) {
        ran_here.store(std::this_thread::get_id() == me);
        const auto until = Clock::now() + 10s;
        while (Clock::now() < until)
            if (zyl::job_cancelled()) {
                stopped_early.store(true);
                return;
            }
    }, stop.control(1e10));
    const auto elapsed = Clock::now() - t0;
    release.store(true);
    other.join();
    EXPECT_TRUE(ran_here.load());
    EXPECT_EQ(r, zyl::kCancelled);
    EXPECT_TRUE(stopped_early.load());
    EXPECT_LT(elapsed, 1s);
    EXPECT_EQ(stop.calls.load(), 3);
    // Outside any map nothing is polled.
    EXPECT_FALSE(zyl::job_cancelled());
    EXPECT_EQ(stop.calls.load(), 3);
}

TEST(PoolCancel, PoolIsUsableAfterACancelledJob) {
    for (int round = 0; round < 20; ++round) {
        StopAfter stop{0};
        zyl::parallel_for(100'000, [&](std::size_t) { spin_for(20us); }, stop.control(20'000.0));
        const std::size_t n = 10'007;
        std::vector<int> hits(n, 0);
        ASSERT_EQ(zyl::parallel_for(n, [&](std::size_t i) { hits[i]++; }, {nullptr, nullptr, 1.0}), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(hits[i], 1) << "round " << round << " i=" << i;
    }
}

TEST(PoolCancel, PollIsNotAskedToStopAJobThatFinished) {
    StopAfter never{1 << 30};
    std::vector<double> out(1'000'000);
    EXPECT_EQ(zyl::parallel_for(out.size(), [&](std::size_t i) { out[i] = double(i) * 0.5; }, never.control(1.0)),
              out.size());
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], double(i) * 0.5);
}

TEST(PoolCancel, NestedMapSeesTheEnclosingCancellation) {
    StopAfter stop{0};
    std::atomic<int> inner_cancelled{0};
    zyl::parallel_for(2, [&](std::size_t) {
        std::size_t r = zyl::parallel_for(1'000'000, [&](std::size_t) { spin_for(10us); }, {nullptr, nullptr, 10'000.0});
        if (r == zyl::kCancelled) inner_cancelled++;
    }, stop.control(1e10));
    EXPECT_GE(inner_cancelled.load(), 1);
}

TEST(PoolSmallMaps, CheapMapsStayOnTheCallingThread) {
    const auto me = std::this_thread::get_id();
    enum class Caller { all, none, some };
    struct Case {
        std::size_t n;
        double cost_ns;
        Caller computes;
    };
    const Case cases[] = {
        {1, 0.0, Caller::all},           // one element of unknown cost
        {2, 0.0, Caller::none},          // unknown cost: handed off
        {1000, 1.0, Caller::all},        // 1 microsecond of work
        {2, 1e9, Caller::none},          // long elements are handed off, so the caller can poll
        {1, 1e9, Caller::none},
        {1'000'000, 1.0, Caller::some},  // short elements: the caller takes chunks too
    };
    for (const Case& c : cases) {
        std::atomic<std::size_t> here{0};
        zyl::parallel_for(c.n, [&](std::size_t) {
            if (std::this_thread::get_id() == me) here++;
        }, {nullptr, nullptr, c.cost_ns});
        if (c.computes == Caller::all) {
            EXPECT_EQ(here.load(), c.n) << "n=" << c.n << " cost=" << c.cost_ns;
        } else if (c.computes == Caller::none) {
            EXPECT_EQ(here.load(), 0u) << "n=" << c.n << " cost=" << c.cost_ns;
        }
    }
}

TEST(PoolSmallMaps, ASecondCallerComputesItselfInsteadOfWaiting) {
    // `held` stands for the interpreter lock: the first caller's poll takes
    // it, and the second caller holds it while it runs its own map. Waiting
    // for the pool there would deadlock.
    std::mutex held;
    std::atomic<bool> first_polling{false};
    struct Poll {
        std::mutex* held;
        std::atomic<bool>* polling;
        static bool ask(void* self) {
            auto* p = static_cast<Poll*>(self);
            p->polling->store(true);
            std::lock_guard lock(*p->held);
            return false;
        }
    } poll{&held, &first_polling};
    std::thread first([&] {
        zyl::parallel_for(100'000, [](std::size_t) { spin_for(5us); }, {&Poll::ask, &poll, 5'000.0});
    });
    while (!first_polling.load()) std::this_thread::yield();
    {
        std::lock_guard lock(held);
        std::vector<int> hits(100'000, 0);
        EXPECT_EQ(zyl::parallel_for(hits.size(), [&](std::size_t i) { hits[i]++; }, {nullptr, nullptr, 10.0}),
                  hits.size());
        for (int h : hits) ASSERT_EQ(h, 1);
    }
    first.join();
}

TEST(SerialFor, RunsInOrderAndStopsBetweenBlocks) {
    std::vector<std::size_t> order;
    EXPECT_EQ(zyl::serial_for(10'000, [&](std::size_t i) { order.push_back(i); }), 10'000u);
    for (std::size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], i);

    // 1 ms of estimated work per block: 1000 elements of 1 microsecond.
    StopAfter stop{2};
    std::size_t done = 0;
    EXPECT_EQ(zyl::serial_for(1'000'000, [&](std::size_t) { done++; }, stop.control(1000.0)), zyl::kCancelled);
    EXPECT_EQ(done, 3000u);
    EXPECT_EQ(stop.calls.load(), 3);
}

TEST(ThreadCount, HugeRequestsAreCapped) {
    struct Case {
        const char* value;
        std::size_t expected;  // 0: the default count
    };
    const Case cases[] = {
        {"99999999999", zyl::kMaxWorkerThreads},
        {"1024", 1024},
        {"1025", zyl::kMaxWorkerThreads},
        {"18446744073709551615", zyl::kMaxWorkerThreads},
        {"18446744073709551616", 0},  // not a 64-bit count: like any unparsable value
    };
    unsetenv("RAYON_RS_NUM_CPUS");
    unsetenv("RAYON_NUM_THREADS");
    const std::size_t fallback = zyl::configured_thread_count();
    for (const Case& c : cases) {
        setenv("RAYON_NUM_THREADS", c.value, 1);
        EXPECT_EQ(zyl::configured_thread_count(), c.expected ? c.expected : fallback) << c.value;
    }
    unsetenv("RAYON_NUM_THREADS");
}

}  // namespace
