#pragma once
// Makes numpy ufuncs and generalized ufuncs with one native loop each. The
// loop is registered for its exact dtypes; a promoter casts every other input
// to them under the call's casting rule (float32, integers and Python numbers
// become float64; complex numbers and strings are refused by numpy itself).
#include "numpy_api.hpp"

namespace zyl::py::arrays {

struct UfuncRecipe {
    const char* name;
    const char* doc;
    int nin;
    int nout;
    // Core dimensions of a generalized ufunc, "(8),(8)->(8)"; nullptr for an
    // element-wise one.
    const char* core_signature;
    // One letter per operand, inputs then outputs: 'd' float64, 'q' int64
    // (a second loop takes these as uint64; see integers_unsigned).
    const char* dtypes;
    PyArrayMethod_StridedLoop* loop;
};

// A new ufunc, or nullptr with an exception set. numpy must be imported.
PyObject* make_ufunc(const UfuncRecipe& recipe);

}  // namespace zyl::py::arrays
