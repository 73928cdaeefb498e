#pragma once
// A broken internal invariant reaches Python as ZYLPanic, derived directly
// from BaseException so that `except Exception` does not swallow it.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <exception>
#include <new>
#include <type_traits>

namespace zyl::py {

// Creates the exception type once per process; nullptr with an error set.
PyObject* panic_type();

// Sets ZYLPanic with `what`; returns nullptr for `return raise_panic(...)`.
PyObject* raise_panic(const char* what);

// A parallel map computed fewer elements than it was given; returns nullptr.
PyObject* raise_incomplete_map();

// Whether a map computed all n elements. If not, an exception is set: the
// one a cancelling poll left (KeyboardInterrupt, say), or a panic.
bool map_complete(std::size_t written, std::size_t n);

// Every entry point from the interpreter runs through this guard, so that no
// C++ exception crosses into the interpreter: memory exhaustion becomes
// MemoryError, anything else a panic.
template <auto Impl>
struct Guard;

template <class R, class... A, R (*Impl)(A...)>
struct Guard<Impl> {
    static R call(A... a) noexcept {
        try {
            return Impl(a...);
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::exception& e) {
            raise_panic(e.what());
        }
        if constexpr (std::is_pointer_v<R>) return nullptr;
        else return -1;
    }
};

// A fast-call function or method as the C API wants it in a method table.
template <auto Impl>
constexpr PyCFunction fastcall() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Guard<Impl>::call));
}

}  // namespace zyl::py
