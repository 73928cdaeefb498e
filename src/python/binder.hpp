#pragma once
// Binding of a fast-call argument vector to a function's parameter list.
// Every parameter is positional-or-keyword; the first `n_required` ones have
// no default. Messages are the module's own and are fixed.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

namespace zyl::py {

inline constexpr std::size_t kMaxParams = 8;

struct Signature {
    const char* display;  // "add_n" or "ZYLPoint.boost", written as "add_n()"
    const char* const* names;
    std::size_t n_params;
    std::size_t n_required;
};

// The signature of a callable whose parameters are all required; the count
// comes from the name list, so the two cannot disagree.
template <std::size_t N>
constexpr Signature required(const char* display, const char* const (&names)[N]) {
    return {display, names, N, N};
}

// Fills slots[0 .. n_params) with borrowed references, nullptr where an
// optional parameter was not given. Returns false with TypeError set.
bool bind_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** slots);

// The same for a tuple-and-dict call (type constructors).
bool bind_args(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** slots);

}  // namespace zyl::py
