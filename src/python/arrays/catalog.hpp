#pragma once
// Everything zyl_core.arrays offers, one list per file.
#include <span>

#include "ufunc_factory.hpp"

namespace zyl::py::arrays {

std::span<const UfuncRecipe> elementwise_ufuncs();  // elementwise_ufuncs.cpp
std::span<const UfuncRecipe> pair_ufuncs();         // pair_ufuncs.cpp
std::span<const UfuncRecipe> algebra_ufuncs();      // algebra_ufuncs.cpp
extern PyMethodDef simulate_pulses_n_def;          // trajectory.cpp
extern PyMethodDef vector_kernels_methods[];       // vector_kernels.cpp

}  // namespace zyl::py::arrays
