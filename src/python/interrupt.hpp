#pragma once
// Ctrl-C during native work: the pool asks these polls on the calling thread
// while it waits, and a signal handler that raises cancels the job.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "pool/worker_pool.hpp"

namespace zyl::py {

// For calls that keep the interpreter lock while the pool works.
inline bool poll_signals_held(void*) { return PyErr_CheckSignals() != 0; }

inline MapControl interruptible(double element_cost_ns = 0.0) {
    return MapControl{&poll_signals_held, nullptr, element_cost_ns};
}

// Releases the interpreter lock for its lifetime, so other Python threads run
// while native work goes on.
class ReleasedLock {
public:
    ReleasedLock() : state_(PyEval_SaveThread()) {}
    ~ReleasedLock() { PyEval_RestoreThread(state_); }
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;

    // Takes the lock back just long enough to run pending signal handlers;
    // true when one raised (the exception stays set).
    bool signalled() {
        PyEval_RestoreThread(state_);
        bool raised = PyErr_CheckSignals() != 0;
        state_ = PyEval_SaveThread();
        return raised;
    }

    MapControl interruptible(double element_cost_ns = 0.0) {
        return MapControl{[](void* self) { return static_cast<ReleasedLock*>(self)->signalled(); }, this,
                          element_cost_ns};
    }

private:
    PyThreadState* state_;
};

}  // namespace zyl::py
