#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "pool/worker_pool.hpp"

namespace {

TEST(WorkerPool, EverySlotWrittenOnceInOrder) {
    for (std::size_t n : {0u, 1u, 2u, 3u, 127u, 10000u, 100003u}) {
        std::vector<int> hits(n, 0);
        std::size_t done = zyl::parallel_for(n, [&](std::size_t i) { hits[i] += 1; });
        EXPECT_EQ(done, n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(hits[i], 1) << "n=" << n << " i=" << i;
    }
}

TEST(WorkerPool, UnevenWorkIsStolen) {
    // Element cost grows with the index, so the last run is by far the
    // heaviest; the sum must still cover every element exactly once.
    const std::size_t n = 2000;
    std::vector<double> out(n);
    zyl::parallel_for(n, [&](std::size_t i) {
        double s = 0;
        for (std::size_t k = 0; k < i * 50; ++k) s += 1.0;
        out[i] = s;
    });
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(out[i], double(i * 50));
}

TEST(WorkerPool, NestedWorkRunsInline) {
    std::vector<std::size_t> out(64);
    zyl::parallel_for(out.size(), [&](std::size_t i) {
        std::atomic<std::size_t> inner{0};
        zyl::parallel_for(10, [&](std::size_t) { inner++; });
        out[i] = inner;
    });
    for (auto v : out) EXPECT_EQ(v, 10u);
}

TEST(WorkerPool, ThreadCountFromEnvironment) {
    struct Case {
        const char* num_threads;
        const char* rs_num_cpus;
        std::size_t expected;  // 0: the default count
    };
    const Case cases[] = {
        {"3", nullptr, 3}, {"+5", nullptr, 5}, {"0", "4", 0},  {"abc", "4", 4},
        {"abc", nullptr, 0}, {"-2", nullptr, 0}, {"", "7", 7}, {nullptr, "0", 0},
        {" 3", nullptr, 0},
    };
    unsetenv("RAYON_NUM_THREADS");
    unsetenv("RAYON_RS_NUM_CPUS");
    const std::size_t fallback = zyl::configured_thread_count();
    EXPECT_GE(fallback, 1u);
    for (const Case& c : cases) {
        if (c.num_threads) setenv("RAYON_NUM_THREADS", c.num_threads, 1);
        else unsetenv("RAYON_NUM_THREADS");
        if (c.rs_num_cpus) setenv("RAYON_RS_NUM_CPUS", c.rs_num_cpus, 1);
        else unsetenv("RAYON_RS_NUM_CPUS");
        EXPECT_EQ(zyl::configured_thread_count(), c.expected ? c.expected : fallback)
            << (c.num_threads ? c.num_threads : "(unset)") << " / "
            << (c.rs_num_cpus ? c.rs_num_cpus : "(unset)");
    }
    unsetenv("RAYON_NUM_THREADS");
    unsetenv("RAYON_RS_NUM_CPUS");
}

}  // namespace

namespace {

TEST(WorkerPool, WorkerNumbersNeverOverlap) {
    // Per-worker tallies without atomics: a worker number shared by two
    // threads at once would lose counts. With a known short cost the caller
    // takes chunks too, under a number of its own.
    const std::size_t slots = zyl::WorkerPool::instance().worker_slots();
    for (double cost_ns : {0.0, 1.0}) {
        std::vector<std::size_t> per_worker(slots, 0);
        const std::size_t n = 2'000'000;
        std::size_t done = zyl::parallel_for_workers(n, [&](std::size_t worker, std::size_t) {
            ASSERT_LT(worker, slots);
            per_worker[worker] += 1;
        }, {nullptr, nullptr, cost_ns});
        EXPECT_EQ(done, n);
        std::size_t total = 0;
        for (std::size_t c : per_worker) total += c;
        EXPECT_EQ(total, n) << "cost " << cost_ns;
    }
}

}  // namespace
