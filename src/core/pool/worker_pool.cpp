#include "worker_pool.hpp"

#include "thread_count.hpp"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace zyl {

// Scheduling: a job's index range is cut into chunks, and every worker starts
// with a contiguous run of them. A run is one packed atomic word (first chunk
// in the low half, end in the high half): the owner takes chunks from the
// front, and a worker whose run is empty steals the back half of another
// worker's run with a compare-and-swap. Chunk numbers fit in 32 bits because
// a job never has more than 64 chunks per worker.
//
// Hand-off: waking a sleeping thread costs tens of microseconds on a virtual
// machine (and far more on a loaded one), so a worker that has just finished
// spins, then yields, for a short while before it sleeps; maps whose
// estimated work is below the hand-off cost never leave the calling thread;
// and for maps of short elements the caller takes chunks too (from a run of
// its own, worker number n_threads), so a job never waits for a worker to
// wake up. While it works or waits, the caller asks the poll every 2 ms.
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunksPerWorker = 64;
// Work (elements times their estimated cost) below which a map runs on the
// calling thread: about twice what a hand-off costs, measured by
// bench/bench_element_costs.cpp (some microseconds to workers that are still
// spinning, about 80 to workers that sleep), so that handing off pays.
constexpr double kInlineWorkHotNs = 20'000.0;
constexpr double kInlineWorkColdNs = 160'000.0;
// Elements up to this cost are short enough for the caller to compute too:
// it asks the poll between blocks of them.
constexpr double kCallerHelpsBelowNs = 100'000.0;
// A running piece looks at the cancel flag after this much estimated work;
// elements of unknown cost are checked one by one.
constexpr double kCheckEveryNs = 100'000.0;
// How long the caller sleeps between two polls.
constexpr auto kPollInterval = std::chrono::milliseconds(2);
// Busy-waiting before sleeping: pause instructions first, then yields.
constexpr auto kSpinFor = std::chrono::microseconds(20);
constexpr auto kYieldUntil = std::chrono::microseconds(300);

std::uint64_t pack(std::uint64_t begin, std::uint64_t end) { return begin | (end << 32); }
std::uint64_t run_begin(std::uint64_t r) { return r & 0xffffffffu; }
std::uint64_t run_end(std::uint64_t r) { return r >> 32; }

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waits until done() holds or the busy-waiting window is over; true if done.
template <class Done>
bool busy_wait(Done done, bool allowed) {
    if (!allowed) return done();
    const Clock::time_point start = Clock::now();
    for (unsigned k = 0;; ++k) {
        if (done()) return true;
        if ((k & 63) != 63) {
            cpu_relax();
            continue;
        }
        const auto waited = Clock::now() - start;
        if (waited >= kYieldUntil) return done();
        if (waited >= kSpinFor) std::this_thread::yield();
    }
}

// A map not worth a hand-off: its estimated work is below the hand-off cost
// or, when its cost is unknown, it has a single element.
bool is_small(std::size_t n, const MapControl& control, bool workers_asleep) {
    if (!(control.element_cost_ns > 0.0)) return n <= 1;
    return static_cast<double>(n) * control.element_cost_ns <
           (workers_asleep ? kInlineWorkColdNs : kInlineWorkHotNs);
}

std::size_t elements_per_check(double element_cost_ns) {
    if (!(element_cost_ns > 0.0)) return 1;
    const double per = kCheckEveryNs / element_cost_ns;
    return per < 1.0 ? 1 : per > 1e9 ? std::size_t{1'000'000'000} : static_cast<std::size_t>(per);
}

struct alignas(64) Run {
    std::atomic<std::uint64_t> chunks{0};
};

struct Job {
    RangeFn fn;
    void* ctx;
    std::size_t n;
    std::size_t n_chunks;
    std::size_t check_every;
    std::atomic<std::size_t> chunks_done{0};
    std::atomic<std::size_t> elements_done{0};
    std::atomic<bool> cancelled{false};
};

thread_local bool t_inside_worker = false;
thread_local std::size_t t_worker = 0;

class WorkerNumberScope {
public:
    explicit WorkerNumberScope(std::size_t number) : saved_(t_worker) { t_worker = number; }
    ~WorkerNumberScope() { t_worker = saved_; }
    WorkerNumberScope(const WorkerNumberScope&) = delete;
    WorkerNumberScope& operator=(const WorkerNumberScope&) = delete;

private:
    std::size_t saved_;
};
// The cancel flag of the job this thread is computing elements of.
thread_local const std::atomic<bool>* t_cancel = nullptr;

// A map the calling thread computes itself cannot be polled from outside
// while one of its elements runs: an element that asks job_cancelled() asks
// the map's poll instead, once a poll interval has passed.
struct InlinePoll {
    const MapControl* control;
    std::atomic<bool>* cancelled;
    Clock::time_point next_poll;

    bool stop_requested() {
        if (Clock::now() < next_poll) return false;
        if (control->poll(control->poll_ctx)) cancelled->store(true);
        next_poll = Clock::now() + kPollInterval;
        return cancelled->load();
    }
};
thread_local InlinePoll* t_inline_poll = nullptr;

class CancelScope {
public:
    explicit CancelScope(const std::atomic<bool>* flag) : saved_(t_cancel) { t_cancel = flag; }
    ~CancelScope() { t_cancel = saved_; }
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const std::atomic<bool>* saved_;
};

// Elements [begin, end) in blocks, looking at the cancel flag between
// blocks; returns how many were computed.
std::size_t run_range(RangeFn fn, void* ctx, std::size_t worker, std::size_t begin, std::size_t end,
                      std::size_t check_every, const std::atomic<bool>& cancelled) {
    std::size_t i = begin;
    while (i < end && !cancelled.load(std::memory_order_relaxed)) {
        const std::size_t stop = end - i > check_every ? i + check_every : end;
        fn(ctx, worker, i, stop);
        i = stop;
    }
    return i - begin;
}

}  // namespace

struct WorkerPool::State {
    std::mutex submit;  // one job at a time
    std::atomic<Job*> job{nullptr};
    std::atomic<std::uint64_t> epoch{0};
    // Workers between taking the current job pointer and leaving its work; the
    // caller frees the job only once this is back to zero.
    std::atomic<std::size_t> busy{0};
    std::atomic<std::size_t> sleepers{0};
    std::atomic<bool> caller_sleeping{false};
    std::mutex m;
    std::condition_variable work_ready;
    std::condition_variable job_done;
    std::unique_ptr<Run[]> runs;
    std::size_t n_runs = 0;
    bool may_spin = false;  // no more workers than processors

    // Takes the next chunk for `me`, from its own run or stolen.
    bool next_chunk(Job& job, std::size_t me, std::uint64_t& chunk);
    void work(Job& job, std::size_t me);
    // The caller's share: like work(), asking the poll between blocks.
    void help(Job& job, std::size_t me, const MapControl& control);
    void worker_loop(std::size_t me);
    void finished_chunk(Job& job);
};

namespace {

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

void WorkerPool::State::finished_chunk(Job& job) {
    // seq_cst pairs with the caller's store of caller_sleeping before it
    // checks the count: one of the two sees the other.
    if (job.chunks_done.fetch_add(1) + 1 == job.n_chunks && caller_sleeping.load()) {
        std::lock_guard lock(m);
        job_done.notify_all();
    }
}

bool WorkerPool::State::next_chunk(Job& job, std::size_t me, std::uint64_t& chunk) {
    Run& mine = runs[me];
    while (!job.cancelled.load(std::memory_order_relaxed)) {
        if (pop_front(mine, chunk)) return true;
        bool stole = false;
        for (std::size_t k = 1; k < n_runs && !stole; ++k) stole = steal_half(runs[(me + k) % n_runs], mine);
        if (!stole) return false;
    }
    return false;
}

void WorkerPool::State::work(Job& job, std::size_t me) {
    std::uint64_t chunk;
    while (next_chunk(job, me, chunk)) {
        const std::size_t begin = job.n * chunk / job.n_chunks;
        const std::size_t end = job.n * (chunk + 1) / job.n_chunks;
        job.elements_done.fetch_add(run_range(job.fn, job.ctx, me, begin, end, job.check_every, job.cancelled),
                                    std::memory_order_relaxed);
        finished_chunk(job);
    }
}

void WorkerPool::State::help(Job& job, std::size_t me, const MapControl& control) {
    Clock::time_point next_poll = Clock::now() + kPollInterval;
    std::uint64_t chunk;
    while (next_chunk(job, me, chunk)) {
        std::size_t i = job.n * chunk / job.n_chunks;
        const std::size_t end = job.n * (chunk + 1) / job.n_chunks;
        while (i < end && !job.cancelled.load(std::memory_order_relaxed)) {
            const std::size_t stop = end - i > job.check_every ? i + job.check_every : end;
            job.fn(job.ctx, me, i, stop);
            job.elements_done.fetch_add(stop - i, std::memory_order_relaxed);
            i = stop;
            if (control.poll != nullptr && Clock::now() >= next_poll) {
                if (control.poll(control.poll_ctx)) job.cancelled.store(true);
                next_poll = Clock::now() + kPollInterval;
            }
        }
        finished_chunk(job);
    }
}

void WorkerPool::State::worker_loop(std::size_t me) {
    t_inside_worker = true;
    t_worker = me;
    std::uint64_t seen = 0;
    for (;;) {
        auto fresh = [&] { return epoch.load() != seen; };
        if (!busy_wait(fresh, may_spin)) {
            std::unique_lock lock(m);
            sleepers.fetch_add(1);
            work_ready.wait(lock, fresh);
            sleepers.fetch_sub(1);
        }
        seen = epoch.load();
        // Announced before the job pointer is read: a caller that has not
        // yet withdrawn its job will wait for this worker to leave it.
        busy.fetch_add(1);
        if (Job* current = job.load()) {
            CancelScope scope(&current->cancelled);
            work(*current, me);
        }
        busy.fetch_sub(1);
    }
}

WorkerPool::WorkerPool(std::size_t n_threads) : n_threads_(0), state_(new State) {
    n_threads = std::min(n_threads, kMaxWorkerThreads);
    state_->runs = std::make_unique<Run[]>(n_threads + 1);  // the last one is the caller's
    state_->may_spin = n_threads <= usable_cpus();
    // Workers live as long as the process; the state is never freed so that
    // exiting while they sleep is harmless. A thread the system refuses
    // (too many threads, no memory for a stack or for the thread's state)
    // ends the start-up: the pool works with those already running.
    for (std::size_t i = 0; i < n_threads; ++i) {
        try {
            std::thread(&State::worker_loop, state_, i).detach();
            ++n_threads_;
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    state_->n_runs = n_threads_ + 1;
}

std::size_t WorkerPool::current_worker() { return t_worker; }

bool job_cancelled() {
    if (t_cancel == nullptr) return false;
    if (t_cancel->load(std::memory_order_relaxed)) return true;
    return t_inline_poll != nullptr && t_inline_poll->cancelled == t_cancel && t_inline_poll->stop_requested();
}

namespace {

// The whole map on the calling thread, asking the poll between blocks of
// work once a poll interval has passed.
std::size_t run_here(std::size_t n, RangeFn fn, void* ctx, const MapControl& control) {
    if (is_small(n, control, true)) {
        fn(ctx, t_worker, 0, n);
        return n;
    }
    // Nested work keeps the enclosing job's flag and whatever polls it.
    const bool top_level = t_cancel == nullptr;
    std::atomic<bool> own{false};
    const std::atomic<bool>& cancelled = top_level ? own : *t_cancel;
    CancelScope scope(&cancelled);
    InlinePoll inline_poll{&control, &own, Clock::now() + kPollInterval};
    struct RestorePoll {
        InlinePoll* saved;
        ~RestorePoll() { t_inline_poll = saved; }
    } restore{t_inline_poll};
    if (top_level && control.poll != nullptr) t_inline_poll = &inline_poll;
    const bool polled = t_inline_poll != nullptr && t_inline_poll->cancelled == &cancelled;
    const std::size_t step = elements_per_check(control.element_cost_ns);
    std::size_t done = 0;
    while (done < n) {
        done += run_range(fn, ctx, t_worker, done, std::min(n, done + step), step, cancelled);
        if (cancelled.load(std::memory_order_relaxed)) return kCancelled;
        if (polled && t_inline_poll->stop_requested()) return kCancelled;
    }
    return done;
}

}  // namespace

std::size_t WorkerPool::run(std::size_t n, RangeFn fn, void* ctx, const MapControl& control) {
    if (n == 0) return 0;
    const bool small = is_small(n, control, state_->sleepers.load(std::memory_order_relaxed) == n_threads_);
    // No workers could be started, or a task asked for nested work: the
    // calling thread does it all, under its own worker number.
    if (small || n_threads_ == 0 || t_inside_worker) return run_here(n, fn, ctx, control);

    State& s = *state_;
    // One job at a time. A caller that finds the pool taken computes its map
    // itself rather than wait: it may hold a lock (the interpreter's) that
    // the running job's caller needs for its polls.
    std::unique_lock one_job(s.submit, std::try_to_lock);
    if (!one_job.owns_lock()) return run_here(n, fn, ctx, control);
    // Elements of unknown or long cost are left to the workers: the caller
    // could not poll inside one.
    const bool caller_helps = control.element_cost_ns > 0.0 && control.element_cost_ns < kCallerHelpsBelowNs;
    const std::size_t takers = n_threads_ + (caller_helps ? 1 : 0);
    Job job{fn, ctx, n, std::min(n, takers * kChunksPerWorker), elements_per_check(control.element_cost_ns)};
    for (std::size_t w = 0; w <= n_threads_; ++w) {
        std::uint64_t b = w < takers ? job.n_chunks * w / takers : 0;
        std::uint64_t e = w < takers ? job.n_chunks * (w + 1) / takers : 0;
        s.runs[w].chunks.store(pack(b, e), std::memory_order_relaxed);
    }
    s.job.store(&job);
    s.epoch.fetch_add(1);
    // A worker counts itself a sleeper before it re-checks the epoch, under
    // the mutex: taking the mutex here means it is either already waiting
    // (and gets the notification) or will see the new epoch.
    if (s.sleepers.load() > 0) {
        { std::lock_guard lock(s.m); }
        s.work_ready.notify_all();
    }

    if (caller_helps) {
        WorkerNumberScope number(n_threads_);
        CancelScope scope(&job.cancelled);
        s.help(job, n_threads_, control);
    }
    auto complete = [&] { return job.chunks_done.load() == job.n_chunks; };
    if (!job.cancelled.load() && !busy_wait(complete, s.may_spin)) {
        for (;;) {
            {
                std::unique_lock lock(s.m);
                s.caller_sleeping.store(true);
                s.job_done.wait_for(lock, kPollInterval, complete);
                s.caller_sleeping.store(false);
            }
            if (complete()) break;
            if (control.poll != nullptr && control.poll(control.poll_ctx)) {
                job.cancelled.store(true);
                break;
            }
        }
    }
    // Withdraw the job, then wait for every worker that may still hold it (an
    // element that does not look at the cancel flag runs to its end): after
    // this no thread touches the caller's buffers.
    s.job.store(nullptr);
    auto released = [&] { return s.busy.load() == 0; };
    while (!busy_wait(released, true)) std::this_thread::sleep_for(std::chrono::microseconds(100));
    if (job.cancelled.load()) return kCancelled;
    return job.elements_done.load(std::memory_order_relaxed);
}

namespace {

std::atomic<WorkerPool*> g_pool{nullptr};
std::mutex g_pool_mutex;

// A forked child has none of the parent's workers: forget the old pool (its
// memory is leaked on purpose, its locks may be held) and build a new one on
// first use.
void forget_pool_in_child() {
    g_pool.store(nullptr);
    new (&g_pool_mutex) std::mutex;
}

}  // namespace

WorkerPool& WorkerPool::instance() {
    if (WorkerPool* pool = g_pool.load(std::memory_order_acquire)) return *pool;
    std::lock_guard lock(g_pool_mutex);
    if (g_pool.load() == nullptr) {
        static bool registered = (pthread_atfork(nullptr, nullptr, forget_pool_in_child), true);
        (void)registered;
        g_pool.store(new WorkerPool(configured_thread_count()), std::memory_order_release);
    }
    return *g_pool.load();
}

}  // namespace zyl
