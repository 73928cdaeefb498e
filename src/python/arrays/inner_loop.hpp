#pragma once
// numpy hands an inner loop its operands as (data, dimensions, strides): the
// outer index runs over dimensions[0] elements. Here that index range runs on
// the worker pool when the work pays for the hand-off, on the calling thread
// otherwise. numpy may or may not hold the interpreter lock around the loop;
// either way the lock is free while the pool works, and Ctrl-C is answered.
#include <algorithm>
#include <cfenv>
#include <chrono>
#include <cstddef>
#include <exception>
#include <new>

#include "interrupt.hpp"
#include "numpy_api.hpp"
#include "panic.hpp"
#include "pool/serial_for.hpp"
#include "pool/worker_pool.hpp"

namespace zyl::py::arrays {

// Below this much estimated work a loop stays on the calling thread: waking
// the workers and waiting for them costs tens of microseconds, so the pool
// pays only for about twice that.
inline constexpr double kPoolMinWorkNs = 150'000.0;

// Signals are looked for at most this often. From a loop that runs without
// the interpreter lock a look takes the lock, which makes a running Python
// thread hand it over; looking much more often would slow such threads down.
inline constexpr auto kSignalPollInterval = std::chrono::milliseconds(20);

// Estimated work between two looks at the clock.
inline constexpr double kClockCheckWorkNs = 1'000'000.0;

// numpy's own work around one call of a loop (its iteration, buffering and
// casts, the indexing of ufunc.at), counted as work done, so that a long run
// of short calls looks for signals as often as one long call does.
inline constexpr double kCallOverheadNs = 100.0;

// Runs pending signal handlers from a thread that may or may not hold the
// interpreter lock; true when one raised (the exception stays set).
inline bool poll_signals_any_lock() {
    PyGILState_STATE state = PyGILState_Ensure();
    bool raised = PyErr_CheckSignals() != 0;
    PyGILState_Release(state);
    return raised;
}

// When this thread last looked for signals, and the work it has done since
// it last looked at the clock: both outlive a single loop call.
struct SignalWatch {
    double unchecked_work_ns = 0.0;
    std::chrono::steady_clock::time_point last_poll = std::chrono::steady_clock::now();

    // True once a poll interval has passed since the last look.
    bool poll_due() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_poll < kSignalPollInterval) return false;
        last_poll = now;
        return true;
    }

    // Counts work done; true when a look it led to found a raising handler.
    bool raised_after(double work_ns) {
        unchecked_work_ns += work_ns;
        if (unchecked_work_ns < kClockCheckWorkNs) return false;
        unchecked_work_ns = 0.0;
        return poll_due() && poll_signals_any_lock();
    }
};

inline SignalWatch& signal_watch() {
    thread_local SignalWatch watch;
    return watch;
}

// Sets ZYLPanic for a map that lost elements, whatever the lock state.
inline int report_incomplete_map() {
    PyGILState_STATE state = PyGILState_Ensure();
    raise_incomplete_map();
    PyGILState_Release(state);
    return -1;
}

// body(i) for i in [0, n) in order on the calling thread, looking for
// signals every millisecond or so of estimated work.
inline int run_serially_polled(std::size_t n, double cost_ns, auto&& body) {
    SignalWatch& watch = signal_watch();
    if (watch.raised_after(kCallOverheadNs)) return -1;
    const std::size_t block = elements_per_poll(cost_ns);
    for (std::size_t begin = 0; begin < n;) {
        const std::size_t end = n - begin > block ? begin + block : n;
        for (std::size_t i = begin; i < end; ++i) body(i);
        if (watch.raised_after(static_cast<double>(end - begin) * cost_ns)) return -1;
        begin = end;
    }
    return 0;
}

// The pool asks its poll every few milliseconds; the signals are looked for
// once a poll interval has passed. `look` runs the handlers.
template <class Look>
struct PacedPoll {
    Look look;

    static bool ask(void* self) {
        auto* p = static_cast<PacedPoll*>(self);
        return signal_watch().poll_due() && p->look();
    }
    MapControl control(double cost_ns) { return {&PacedPoll::ask, this, cost_ns}; }
};

template <class Look>
std::size_t parallel_for_polled(std::size_t n, double cost_ns, auto&& body, Look look) {
    PacedPoll<Look> poll{look};
    return parallel_for(n, body, poll.control(cost_ns));
}

// body(i) for i in [0, n): each element reads its own inputs and writes only
// its own outputs, so elements may run in any order on any thread. Returns 0,
// or -1 with an exception set (KeyboardInterrupt from a signal handler).
// `splittable` is false when numpy handed over a loop whose elements depend
// on each other (a reduction or accumulation): it then runs in order.
//
// On the pool the calling thread looks for signals while it waits, and an
// element that checks job_cancelled() stops inside itself once they raised.
inline int run_elements(std::size_t n, double cost_ns, bool splittable, auto&& body) {
    if (!splittable || static_cast<double>(n) * cost_ns < kPoolMinWorkNs)
        return run_serially_polled(n, cost_ns, body);
    std::size_t done;
    // PyGILState_Check cannot tell: it answers "yes" for every thread once
    // any subinterpreter has existed. A thread that holds the lock has a
    // current thread state; one whose lock numpy released has none.
    if (PyThreadState_GetUnchecked() != nullptr) {
        // Never wait for the pool holding the lock: other threads run, and
        // a job elsewhere never waits for this thread.
        ReleasedLock unlocked;
        done = parallel_for_polled(n, cost_ns, body, [&] { return unlocked.signalled(); });
    } else {
        done = parallel_for_polled(n, cost_ns, body, [] { return poll_signals_any_lock(); });
    }
    if (done == n) return 0;
    if (done == kCancelled) return -1;
    return report_incomplete_map();
}

// Every loop runs through this wrapper.
// - numpy's code between the caller and a loop is C: no C++ exception may
//   cross it. Memory exhaustion becomes MemoryError, anything else a panic.
// - The element rules produce infinities and NaN by design, silently, as the
//   list functions do: the floating-point flags they raise are dropped, and
//   those raised before the loop are kept, so numpy warns about nothing of
//   ours but still about its own casts.
template <PyArrayMethod_StridedLoop* Loop>
int guarded(PyArrayMethod_Context* context, char* const* data, const npy_intp* dims, const npy_intp* steps,
            NpyAuxData* aux) noexcept {
    std::fexcept_t flags_before;
    std::fegetexceptflag(&flags_before, FE_ALL_EXCEPT);
    struct RestoreFlags {
        const std::fexcept_t& flags;
        ~RestoreFlags() { std::fesetexceptflag(&flags, FE_ALL_EXCEPT); }
    } restore{flags_before};
    try {
        return Loop(context, data, dims, steps, aux);
    } catch (const std::bad_alloc&) {
        PyGILState_STATE state = PyGILState_Ensure();
        PyErr_NoMemory();
        PyGILState_Release(state);
    } catch (const std::exception& e) {
        PyGILState_STATE state = PyGILState_Ensure();
        raise_panic(e.what());
        PyGILState_Release(state);
    }
    return -1;
}

// Whether the elements of an element-wise loop are independent: every input
// either is exactly an output (in-place use) or does not overlap any output,
// and no output is a single cell that every element writes (a reduction).
inline bool elements_independent(char* const* data, const npy_intp* dims, const npy_intp* steps, int nin,
                                  int nout) {
    const npy_intp n = dims[0];
    auto extent = [&](int k, char*& lo, char*& hi) {
        const npy_intp span = (n - 1) * steps[k];
        lo = data[k] + (span < 0 ? span : 0);
        hi = data[k] + (span > 0 ? span : 0) + static_cast<npy_intp>(sizeof(double));
    };
    for (int o = nin; o < nin + nout; ++o) {
        if (steps[o] == 0 && n > 1) return false;
        char *olo, *ohi;
        extent(o, olo, ohi);
        for (int k = 0; k < nin; ++k) {
            if (data[k] == data[o] && steps[k] == steps[o]) continue;
            char *lo, *hi;
            extent(k, lo, hi);
            if (lo < ohi && olo < hi) return false;
        }
    }
    return true;
}

}  // namespace zyl::py::arrays
