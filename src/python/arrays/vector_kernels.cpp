// zyl_core.arrays.vector_kernels(): which instruction set each of exp, log
// and pow runs on in this process, as its self-test decided.
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
     "The instruction set each of exp, log and pow runs on in this process: 'avx512', 'avx2' or 'scalar'.\n"
     "A vector kernel is used only after a self-test on its first use showed it gives the C library's\n"
     "results bit for bit; results are the same whichever is used."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace zyl::py::arrays
