#pragma once
// The one conversion layer between Python objects and native values, used by
// every function and class of the module.
//
// Argument kinds, chosen by the native type they convert into:
//   double                    float (exact float read directly, else __float__/__index__)
//   std::int64_t              signed integer
//   std::size_t               count (non-negative integer)
//   bool                      flag (True/False and numpy's boolean scalars only)
//   std::vector<double>       float sequence
//   std::vector<Couple>       pair sequence (2-tuples of floats)
//   std::vector<std::vector<double>>   nested float sequence
//   std::vector<Octet>        octet sequence (sequences of exactly 8 floats)
//   std::vector<std::int8_t>  small-int sequence
//   a class's native value    class instance (copied), see native_object.hpp
// Every converter returns false with a Python exception set.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "binder.hpp"

namespace zyl::py {

using Couple = std::pair<double, double>;
using Octet = std::array<double, 8>;

bool convert(PyObject* obj, double& out);
bool convert(PyObject* obj, std::int64_t& out);
bool convert(PyObject* obj, std::size_t& out);
bool convert(PyObject* obj, bool& out);
bool convert(PyObject* obj, std::vector<double>& out);
bool convert(PyObject* obj, std::vector<Couple>& out);
bool convert(PyObject* obj, std::vector<std::vector<double>>& out);
bool convert(PyObject* obj, std::vector<Octet>& out);
bool convert(PyObject* obj, std::vector<std::int8_t>& out);

// Class instance kind: each class's binding file specialises ClassOf for its
// native value with `static PyTypeObject* type()` and `static constexpr const
// char* name`. Instances hold the value right after the object header.
template <class Native>
struct ClassOf;

template <class Native>
struct Instance {
    PyObject_HEAD
    Native value;
};

template <class Native>
const Native& native_value(PyObject* self) {
    return reinterpret_cast<Instance<Native>*>(self)->value;
}

// "'T' object cannot be converted to 'TARGET'" as a TypeError.
void raise_cannot_convert(PyObject* obj, const char* target);

// Re-raises a pending exact TypeError as "argument 'NAME': <message>",
// keeping its cause; any other pending exception is left as it is.
void prefix_argument_name(const char* name);

template <class Native, class = decltype(ClassOf<Native>::name)>
bool convert(PyObject* obj, Native& out) {
    PyTypeObject* type = ClassOf<Native>::type();
    if (type == nullptr) return false;
    if (!PyObject_TypeCheck(obj, type)) {
        raise_cannot_convert(obj, ClassOf<Native>::name);
        return false;
    }
    out = native_value<Native>(obj);
    return true;
}

// A new instance of the class holding `value`.
template <class Native>
PyObject* wrap(const Native& value) {
    static_assert(std::is_trivially_copyable_v<Native>, "instances are filled by plain assignment");
    PyTypeObject* type = ClassOf<Native>::type();
    if (type == nullptr) return nullptr;
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj != nullptr) reinterpret_cast<Instance<Native>*>(obj)->value = value;
    return obj;
}

template <class T>
bool convert_argument(PyObject* obj, const char* name, T& out) {
    if (obj == nullptr) return true;  // optional parameter left at its default
    if (convert(obj, out)) return true;
    prefix_argument_name(name);
    return false;
}

// Binds and converts in parameter order; the first failure wins and nothing
// after it is converted. `outs` hold the defaults of optional parameters.
template <class... T>
bool convert_slots(const Signature& sig, PyObject** slots, T&... outs) {
    std::size_t i = 0;
    return ((convert_argument(slots[i], sig.names[i], outs) && (++i, true)) && ...);
}

template <class... T>
bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                T&... outs) {
    static_assert(sizeof...(T) <= kMaxParams);
    PyObject* slots[kMaxParams];
    return bind_args(sig, args, nargs, kwnames, slots) && convert_slots(sig, slots, outs...);
}

// For tp_new: positional tuple and keyword dict (which may be nullptr).
template <class... T>
bool parse_args(const Signature& sig, PyObject* args, PyObject* kwargs, T&... outs) {
    static_assert(sizeof...(T) <= kMaxParams);
    PyObject* slots[kMaxParams];
    return bind_args(sig, args, kwargs, slots) && convert_slots(sig, slots, outs...);
}

// Results: new references, nullptr with an exception set on failure.
PyObject* to_python(double v);
PyObject* to_python(bool v);
PyObject* to_python(std::span<const double> v);
PyObject* to_python(std::span<const Couple> v);
PyObject* to_python(std::span<const std::array<double, 3>> v);
PyObject* to_python(std::span<const Octet> v);
PyObject* to_python(std::span<const std::vector<double>> v);

}  // namespace zyl::py
