#include "panic.hpp"

namespace zyl::py {

PyObject* panic_type() {
    static PyObject* type = PyErr_NewExceptionWithDoc(
        "zyl_core.ZYLPanic", "An internal invariant of zyl_core was broken; this is a bug.",
        PyExc_BaseException, nullptr);
    return type;
}

PyObject* raise_panic(const char* what) {
    PyObject* type = panic_type();
    if (type != nullptr) PyErr_SetString(type, what);
    return nullptr;
}

PyObject* raise_incomplete_map() {
    return raise_panic("parallel map wrote fewer results than its input length");
}

}  // namespace zyl::py
