#pragma once
// Process-wide work-stealing pool shared by every batch function and by the
// formula search. Workers never touch interpreter objects.
#include <cstddef>
#include <type_traits>
#include <utility>

namespace zyl {

// Computes elements [begin, end) of a job, in index order, on the worker
// numbered `worker` (0 when the calling thread does the work).
using RangeFn = void (*)(void* ctx, std::size_t worker, std::size_t begin, std::size_t end);

// How one parallel map may be stopped, and what one element costs.
struct MapControl {
    // Asked on the submitting thread every few milliseconds while it waits
    // for the pool; returning true cancels the job (pieces not yet taken are
    // dropped, running pieces stop at their next element).
    bool (*poll)(void* ctx) = nullptr;
    void* poll_ctx = nullptr;
    // Estimated cost of one element in nanoseconds: a map whose whole work
    // is below the hand-off cost runs on the calling thread, and running
    // pieces look at the cancel flag after about 0.1 ms of work. 0 means
    // unknown: only a single element stays on the calling thread, and the
    // flag is checked between every two elements.
    double element_cost_ns = 0.0;
};

// What a map returns when it was cancelled, whatever it had computed.
inline constexpr std::size_t kCancelled = static_cast<std::size_t>(-1);

// Inside an element: true once the running job has been cancelled, so that
// an element that can run long stops early (its result is discarded).
bool job_cancelled();

class WorkerPool {
public:
    // The pool of this process, created at the first call (and again in a
    // child process forked after it existed).
    static WorkerPool& instance();

    // How many distinct worker numbers a job's elements may see: one per
    // worker, and one more for the calling thread, which computes elements
    // of small maps and takes chunks of large ones.
    std::size_t worker_slots() const { return n_threads_ + 1; }

    // The worker number of the calling thread: its own inside a worker, the
    // caller's slot while a caller takes chunks of its job, else 0.
    static std::size_t current_worker();

    // Runs fn over [0, n) on the workers and blocks the caller until every
    // element is done, asking control.poll every 2 ms meanwhile. Returns how
    // many elements were computed, or kCancelled when the poll cancelled the
    // job; either way no worker touches the job any more.
    std::size_t run(std::size_t n, RangeFn fn, void* ctx, const MapControl& control = {});

    struct State;

private:
    explicit WorkerPool(std::size_t n_threads);
    std::size_t n_threads_;
    State* state_;
};

// Thread count from RAYON_NUM_THREADS / RAYON_RS_NUM_CPUS, else the CPUs this
// process may use (affinity and cgroup quota), else 1; never more than
// kMaxWorkerThreads (thread_count.hpp).
std::size_t configured_thread_count();

// body(worker, i) for i in [0, n). Small maps (see MapControl) run on the
// calling thread. Within one map, elements that run under the same worker
// number never overlap, so per-map scratch space indexed by worker (<
// worker_slots()) needs no locking. Returns the number of elements computed, or kCancelled.
template <class F>
std::size_t parallel_for_workers(std::size_t n, F&& body, const MapControl& control = {}) {
    WorkerPool& pool = WorkerPool::instance();
    using Body = std::remove_reference_t<F>;
    RangeFn fn = [](void* ctx, std::size_t worker, std::size_t begin, std::size_t end) {
        Body& b = *static_cast<Body*>(ctx);
        for (std::size_t i = begin; i < end; ++i) b(worker, i);
    };
    return pool.run(n, fn, const_cast<void*>(static_cast<const void*>(&body)), control);
}

// body(i) for i in [0, n), on the pool.
template <class F>
std::size_t parallel_for(std::size_t n, F&& body, const MapControl& control = {}) {
    return parallel_for_workers(n, [&body](std::size_t, std::size_t i) { body(i); }, control);
}

}  // namespace zyl
