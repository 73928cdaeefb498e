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
#include "pool/worker_pool.hpp"

namespace zyl::py::arrays {

// Below this much estimated work a loop stays on the calling thread: waking
// the workers and waiting for them costs tens of microseconds, so the pool
// pays only for about twice that.
inline constexpr double kPoolMinWorkNs = 150'000.0;

// A long run of small loop calls (numpy's buffered casts hand over a few
// thousand elements at a time) still looks for signals this often.
inline constexpr auto kSerialPollInterval = std::chrono::milliseconds(50);

// Runs pending signal handlers from a thread that may or may not hold the
// interpreter lock; true when one raised (the exception stays set).
inline bool poll_signals_any_lock() {
    PyGILState_STATE state = PyGILState_Ensure();
    bool raised = PyErr_CheckSignals() != 0;
    PyGILState_Release(state);
    return raised;
}

// Sets ZYLPanic for a map that lost elements, whatever the lock state.
inline int report_incomplete_map() {
    PyGILState_STATE state = PyGILState_Ensure();
    raise_incomplete_map();
    PyGILState_Release(state);
    return -1;
}

inline int run_serially_polled(std::size_t n, double cost_ns, auto&& body) {
    for (std::size_t i = 0; i < n; ++i) body(i);
    if (static_cast<double>(n) * cost_ns < kPoolMinWorkNs / 8) return 0;
    thread_local auto last_poll = std::chrono::steady_clock::now();
    auto now = std::chrono::steady_clock::now();
    if (now - last_poll < kSerialPollInterval) return 0;
    last_poll = now;
    return poll_signals_any_lock() ? -1 : 0;
}

// The range goes to the pool in slices of about this much work, and the
// calling thread looks for signals between them, so a long call answers
// Ctrl-C within a few tens of milliseconds.
//
// Signals are looked for only between slices, never from inside a job: that
// needs the interpreter lock, and a thread that holds the lock may itself be
// waiting for the pool (the list functions keep the lock while they wait), so
// asking for it while this job occupies the pool could wait forever.
inline constexpr double kSliceWorkNs = 40'000'000.0;

// parallel_for over [0, n) slice by slice; the number of elements done, or
// kCancelled once `signalled` says a handler raised.
inline std::size_t run_sliced(std::size_t n, double cost_ns, auto&& body, auto&& signalled) {
    const auto slice = static_cast<std::size_t>(std::max(1.0, kSliceWorkNs / cost_ns));
    const MapControl control{nullptr, nullptr, cost_ns};
    for (std::size_t begin = 0; begin < n; begin += slice) {
        const std::size_t len = std::min(slice, n - begin);
        const std::size_t done = parallel_for(len, [&](std::size_t i) { body(begin + i); }, control);
        if (done != len) return begin + done;
        if (begin + len < n && signalled()) return kCancelled;
    }
    return n;
}

// body(i) for i in [0, n): each element reads its own inputs and writes only
// its own outputs, so elements may run in any order on any thread. Returns 0,
// or -1 with an exception set (KeyboardInterrupt from a signal handler).
// `splittable` is false when numpy handed over a loop whose elements depend
// on each other (a reduction or accumulation): it then runs in order.
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
        done = run_sliced(n, cost_ns, body, [&] { return unlocked.signalled(); });
    } else {
        done = run_sliced(n, cost_ns, body, [] { return poll_signals_any_lock(); });
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
