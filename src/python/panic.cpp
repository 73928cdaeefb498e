#include "panic.hpp"

#include "pool/worker_pool.hpp"

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

bool map_complete(std::size_t written, std::size_t n) {
    if (written == n) return true;
    if (written != kCancelled || !PyErr_Occurred()) raise_incomplete_map();
    return false;
}

}  // namespace zyl::py
