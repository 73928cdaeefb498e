#pragma once
// float32 loops: each element is computed by the float64 rule of its ufunc on
// its operands widened exactly to float64, and each result is rounded once to
// float32 (to nearest), so a float32 result is the float64 result rounded.
#include "numpy_api.hpp"

namespace zyl::py::arrays {

// The float32 loop of any ufunc made by make_ufunc whose operands have at most
// one core axis each; the float64 loop is found through context->caller.
int single_precision_loop(PyArrayMethod_Context* context, char* const* data, const npy_intp* dims,
                          const npy_intp* steps, NpyAuxData* aux);

}  // namespace zyl::py::arrays
