// zyl_core.arrays.vector_kernels(): which instruction set each function
// with a vector kernel runs on in this process, as its self-test decided.
#include "catalog.hpp"
#include "kernels/libm/vector_libm.hpp"
#include "panic.hpp"

namespace zyl::py::arrays {
namespace {

PyObject* vector_kernels(PyObject*, PyObject*) {
    PyObject* result = PyDict_New();
    if (result == nullptr) return nullptr;
    for (const kernels::libm::ActiveKernel& k : kernels::libm::active_kernels()) {
        PyObject* isa = PyUnicode_FromString(k.isa);
        if (isa == nullptr || PyDict_SetItemString(result, k.function, isa) < 0) {
            Py_XDECREF(isa);
            Py_DECREF(result);
            return nullptr;
        }
        Py_DECREF(isa);
    }
    return result;
}

}  // namespace

PyMethodDef vector_kernels_methods[] = {
    {"vector_kernels", Guard<&vector_kernels>::call, METH_NOARGS,
     "vector_kernels()\n--\n\n"
     "What runs exp, log, pow, sin and cos, and the functions built on them, in this process: 'avx512',\n"
     "'avx2' or 'scalar'. A vector kernel is used only after a self-test on its first use showed it gives\n"
     "the C library's results bit for bit, and only in the default rounding and subnormal modes; results\n"
     "are the same whichever runs."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace zyl::py::arrays
