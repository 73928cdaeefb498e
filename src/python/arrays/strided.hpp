#pragma once
// Element access for numpy's strided loops: operand k of element i lives at
// data[k] + i * steps[k]. numpy hands over aligned operands only (the loops do
// not declare unaligned support), so they are read and written directly.
#include <cstddef>

#include "numpy_api.hpp"

namespace zyl::py::arrays {

template <class T = double>
inline T& at(char* base, std::size_t i, npy_intp step) {
    return *reinterpret_cast<T*>(base + static_cast<npy_intp>(i) * step);
}

// Whether the loop was chosen for uint64 integer operands rather than int64
// (operand k is one of them).
inline bool integers_unsigned(const PyArrayMethod_Context* context, int k) {
    return context->descriptors[k]->type_num == NPY_UINT64;
}

// Whether every operand is a contiguous run of doubles, the layout in which
// the compiler can use vector loads and stores.
inline bool all_contiguous(const npy_intp* steps, int n_operands) {
    for (int k = 0; k < n_operands; ++k)
        if (steps[k] != static_cast<npy_intp>(sizeof(double))) return false;
    return true;
}

}  // namespace zyl::py::arrays
