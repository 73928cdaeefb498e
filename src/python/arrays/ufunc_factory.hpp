#pragma once
// Makes numpy ufuncs and generalized ufuncs from one float64 loop each. Each
// gets two loops, float64 and float32 (the float64 rule on widened operands,
// rounded once), registered for their exact dtypes; a promoter picks one by
// numpy's promotion of the inputs (float32 stays float32, float32 with a
// Python float too, anything wider or mixed becomes float64) unless dtype= or
// signature= names it, and casts every input to it under the call's casting
// rule. Complex input is refused with a TypeError saying why; strings and
// other dtypes are refused by numpy itself.
#include "numpy_api.hpp"

namespace zyl::py::arrays {

inline constexpr int kMaxOperands = 8;

struct UfuncRecipe {
    const char* name;
    const char* doc;
    int nin;
    int nout;
    // Core dimensions of a generalized ufunc, "(8),(8)->(8)", at most one per
    // operand; nullptr for an element-wise one.
    const char* core_signature;
    // One letter per operand, inputs then outputs: 'd' float64 (float32 in
    // the float32 loop), 'q' int64 (in both loops; a third, float64 loop
    // takes these as uint64: see integers_unsigned).
    const char* dtypes;
    PyArrayMethod_StridedLoop* loop;
};

// A new ufunc, or nullptr with an exception set. numpy must be imported.
PyObject* make_ufunc(const UfuncRecipe& recipe);

// The recipe `ufunc` was made from; nullptr for any other object.
const UfuncRecipe* recipe_of(PyObject* ufunc);

}  // namespace zyl::py::arrays
