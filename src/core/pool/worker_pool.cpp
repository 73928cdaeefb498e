#include "worker_pool.hpp"

#include "cgroup_quota.hpp"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace zyl {

// Scheduling: a job's index range is cut into chunks, and every worker starts
// with a contiguous run of them. A run is one packed atomic word (first chunk
// in the low half, end in the high half): the owner takes chunks from the
// front, and a worker whose run is empty steals the back half of another
// worker's run with a compare-and-swap. Chunk numbers fit in 32 bits because
// a job never has more than 64 chunks per worker.
namespace {

constexpr std::size_t kChunksPerWorker = 64;

std::uint64_t pack(std::uint64_t begin, std::uint64_t end) { return begin | (end << 32); }
std::uint64_t run_begin(std::uint64_t r) { return r & 0xffffffffu; }
std::uint64_t run_end(std::uint64_t r) { return r >> 32; }

struct alignas(64) Run {
    std::atomic<std::uint64_t> chunks{0};
};

struct Job {
    RangeFn fn;
    void* ctx;
    std::size_t n;
    std::size_t n_chunks;
    std::atomic<std::size_t> chunks_done{0};
    std::atomic<std::size_t> elements_done{0};
};

thread_local bool t_inside_worker = false;
thread_local std::size_t t_worker = 0;

}  // namespace

struct WorkerPool::State {
    std::mutex submit;  // one job at a time
    std::mutex m;
    std::condition_variable work_ready;
    std::condition_variable job_done;
    std::uint64_t epoch = 0;
    Job* job = nullptr;
    std::size_t participants = 0;
    std::unique_ptr<Run[]> runs;
    std::size_t n_runs = 0;

    void work(Job& job, std::size_t me);
    void worker_loop(std::size_t me);
};

namespace {

void run_chunk(Job& job, std::size_t worker, std::uint64_t chunk) {
    std::size_t begin = job.n * chunk / job.n_chunks;
    std::size_t end = job.n * (chunk + 1) / job.n_chunks;
    job.fn(job.ctx, worker, begin, end);
    job.elements_done.fetch_add(end - begin, std::memory_order_relaxed);
    job.chunks_done.fetch_add(1, std::memory_order_acq_rel);
}

// Takes the first chunk of a run; false once the run is empty.
bool pop_front(Run& run, std::uint64_t& chunk) {
    std::uint64_t r = run.chunks.load(std::memory_order_acquire);
    while (run_begin(r) < run_end(r)) {
        if (run.chunks.compare_exchange_weak(r, pack(run_begin(r) + 1, run_end(r)),
                                             std::memory_order_acq_rel)) {
            chunk = run_begin(r);
            return true;
        }
    }
    return false;
}

// Moves the back half of a victim's run (at least one chunk) into `mine`.
bool steal_half(Run& victim, Run& mine) {
    std::uint64_t r = victim.chunks.load(std::memory_order_acquire);
    while (run_begin(r) < run_end(r)) {
        std::uint64_t b = run_begin(r), e = run_end(r);
        std::uint64_t mid = b + (e - b) / 2;
        if (victim.chunks.compare_exchange_weak(r, pack(b, mid), std::memory_order_acq_rel)) {
            mine.chunks.store(pack(mid, e), std::memory_order_release);
            return true;
        }
    }
    return false;
}

}  // namespace

void WorkerPool::State::work(Job& job, std::size_t me) {
    Run& mine = runs[me];
    for (;;) {
        std::uint64_t chunk;
        while (pop_front(mine, chunk)) run_chunk(job, me, chunk);
        bool stole = false;
        for (std::size_t k = 1; k < n_runs && !stole; ++k)
            stole = steal_half(runs[(me + k) % n_runs], mine);
        if (!stole) return;
    }
}

void WorkerPool::State::worker_loop(std::size_t me) {
    t_inside_worker = true;
    t_worker = me;
    std::uint64_t seen = 0;
    std::unique_lock lock(m);
    for (;;) {
        work_ready.wait(lock, [&] { return job != nullptr && epoch != seen; });
        seen = epoch;
        Job* current = job;
        ++participants;
        lock.unlock();
        work(*current, me);
        lock.lock();
        if (--participants == 0) job_done.notify_all();
    }
}

WorkerPool::WorkerPool(std::size_t n_threads) : n_threads_(0), state_(new State) {
    state_->runs = std::make_unique<Run[]>(n_threads);
    state_->n_runs = n_threads;
    // Workers live as long as the process; the state is never freed so that
    // exiting while they sleep is harmless.
    for (std::size_t i = 0; i < n_threads; ++i) {
        try {
            std::thread(&State::worker_loop, state_, i).detach();
            ++n_threads_;
        } catch (const std::system_error&) {
            break;
        }
    }
    state_->n_runs = n_threads_;
}

std::size_t WorkerPool::current_worker() { return t_worker; }

bool job_cancelled() { return false; }

std::size_t WorkerPool::run(std::size_t n, RangeFn fn, void* ctx, const MapControl&) {
    if (n == 0) return 0;
    if (n_threads_ == 0 || t_inside_worker) {
        // No workers could be started, or a task asked for nested work: the
        // calling thread does it all, under its own worker number.
        fn(ctx, t_worker, 0, n);
        return n;
    }
    std::lock_guard one_job(state_->submit);
    Job job{fn, ctx, n, std::min(n, n_threads_ * kChunksPerWorker)};
    for (std::size_t w = 0; w < n_threads_; ++w) {
        std::uint64_t b = job.n_chunks * w / n_threads_;
        std::uint64_t e = job.n_chunks * (w + 1) / n_threads_;
        state_->runs[w].chunks.store(pack(b, e), std::memory_order_relaxed);
    }
    std::unique_lock lock(state_->m);
    state_->job = &job;
    ++state_->epoch;
    state_->work_ready.notify_all();
    state_->job_done.wait(lock, [&] {
        return state_->participants == 0 &&
               job.chunks_done.load(std::memory_order_acquire) == job.n_chunks;
    });
    state_->job = nullptr;
    return job.elements_done.load(std::memory_order_relaxed);
}

namespace {

// Unsigned decimal with an optional leading '+'; false for anything else.
bool parse_count(const char* text, std::size_t& out) {
    if (text == nullptr) return false;
    if (*text == '+') ++text;
    if (*text == '\0') return false;
    std::size_t v = 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return false;
        std::size_t d = static_cast<std::size_t>(*text - '0');
        if (v > (SIZE_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

std::size_t affinity_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int c = CPU_COUNT(&set);
        if (c > 0) return static_cast<std::size_t>(c);
    }
    unsigned hc = std::thread::hardware_concurrency();
    return hc > 0 ? hc : 1;
}

}  // namespace

std::size_t configured_thread_count() {
    std::size_t v = 0;
    bool use_default = false;
    if (parse_count(std::getenv("RAYON_NUM_THREADS"), v)) {
        if (v > 0) return v;
        use_default = true;
    }
    if (!use_default && parse_count(std::getenv("RAYON_RS_NUM_CPUS"), v) && v > 0) return v;
    std::size_t cpus = affinity_cpus();
    std::size_t quota = cgroup_cpu_limit();
    return quota > 0 ? std::min(cpus, quota) : cpus;
}

namespace {

std::mutex g_pool_mutex;
WorkerPool* g_pool = nullptr;

// A forked child has none of the parent's workers: forget the old pool (its
// memory is leaked on purpose, its locks may be held) and build a new one on
// first use.
void forget_pool_in_child() {
    g_pool = nullptr;
    new (&g_pool_mutex) std::mutex;
}

}  // namespace

WorkerPool& WorkerPool::instance() {
    std::lock_guard lock(g_pool_mutex);
    if (g_pool == nullptr) {
        static bool registered = (pthread_atfork(nullptr, nullptr, forget_pool_in_child), true);
        (void)registered;
        g_pool = new WorkerPool(configured_thread_count());
    }
    return *g_pool;
}

}  // namespace zyl
