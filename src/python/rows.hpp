#pragma once
// Everything the registration table of the module refers to, one declaration
// per row; each is defined in the binding file of its topic.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zyl::py {

// batch_kernels.cpp
extern PyMethodDef boost_n_def, exp_n_def, ln_n_def, add_n_def, sub_n_def, mul_n_def, div_n_def, sqrt_n_def,
    sin_n_def, cos_n_def, tension_n_def, pow_n_def;

}  // namespace zyl::py
