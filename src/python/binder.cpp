#include "binder.hpp"

#include <string>

namespace zyl::py {
namespace {

std::string quoted_list(const Signature& sig, PyObject** slots) {
    std::size_t missing = 0;
    for (std::size_t i = 0; i < sig.n_required; ++i) missing += slots[i] == nullptr;
    std::string out;
    std::size_t seen = 0;
    for (std::size_t i = 0; i < sig.n_required; ++i) {
        if (slots[i] != nullptr) continue;
        if (seen > 0) {
            if (missing == 2) out += " and ";
            else out += seen + 1 == missing ? ", and " : ", ";
        }
        out += '\'';
        out += sig.names[i];
        out += '\'';
        ++seen;
    }
    return out;
}

// Shared by both calling conventions; `for_each_keyword(f)` calls f(name,
// value) for every keyword argument in the order given, stopping when f
// returns false.
template <class ForEachKeyword>
bool bind(const Signature& sig, PyObject* const* positional, std::size_t given, ForEachKeyword for_each_keyword,
          PyObject** slots) {
    if (given > sig.n_params) {
        const char* verb = given == 1 ? "was" : "were";
        if (sig.n_required != sig.n_params)
            PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zu %s given",
                         sig.display, sig.n_required, sig.n_params, given, verb);
        else
            PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zu %s given",
                         sig.display, sig.n_params, given, verb);
        return false;
    }
    for (std::size_t i = 0; i < sig.n_params; ++i) slots[i] = i < given ? positional[i] : nullptr;

    bool keywords_ok = for_each_keyword([&](PyObject* key, PyObject* value) {
        std::size_t p = 0;
        while (p < sig.n_params && !PyUnicode_EqualToUTF8(key, sig.names[p])) ++p;
        if (p == sig.n_params) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.display, key);
            return false;
        }
        if (slots[p] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.display,
                         sig.names[p]);
            return false;
        }
        slots[p] = value;
        return true;
    });
    if (!keywords_ok) return false;

    std::size_t missing = 0;
    for (std::size_t i = 0; i < sig.n_required; ++i) missing += slots[i] == nullptr;
    if (missing > 0) {
        PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", sig.display,
                     missing, missing == 1 ? "" : "s", quoted_list(sig, slots).c_str());
        return false;
    }
    return true;
}

}  // namespace

bool bind_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** slots) {
    auto keywords = [&](auto&& f) {
        const Py_ssize_t n_kw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
        for (Py_ssize_t k = 0; k < n_kw; ++k)
            if (!f(PyTuple_GET_ITEM(kwnames, k), args[nargs + k])) return false;
        return true;
    };
    return bind(sig, args, static_cast<std::size_t>(nargs), keywords, slots);
}

bool bind_args(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** slots) {
    auto keywords = [&](auto&& f) {
        if (kwargs == nullptr) return true;
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value))
            if (!f(key, value)) return false;
        return true;
    };
    return bind(sig, &PyTuple_GET_ITEM(args, 0), static_cast<std::size_t>(PyTuple_GET_SIZE(args)), keywords,
                slots);
}

}  // namespace zyl::py
