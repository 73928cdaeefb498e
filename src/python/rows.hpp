#pragma once
// Everything the registration table of the module refers to, one declaration
// per row; each is defined in the binding file of its topic.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zyl::py {

// point_class.cpp, pair_class.cpp, knot_class.cpp
PyTypeObject* point_type();
PyTypeObject* pair_type();
PyTypeObject* knot_type();

// tension_batches.cpp
extern PyMethodDef schrodinger_step_n_def, rotate_phase_n_def, simulate_pulses_n_def;

// batch_kernels.cpp
extern PyMethodDef boost_n_def, exp_n_def, ln_n_def, add_n_def, sub_n_def, mul_n_def, div_n_def, sqrt_n_def,
    sin_n_def, cos_n_def, tension_n_def, pow_n_def;

// algebra_batches.cpp
extern PyMethodDef christoffel_batch_n_def, octonion_mul_n_def, geometric_product_n_def;

// find_formula.cpp, search_result_class.cpp
extern PyMethodDef find_formula_def;
PyTypeObject* search_result_type();

// Native submodules: arrays/module.cpp, discovery/module.cpp (zyl_core._discovery)
PyObject* create_arrays_module();
PyObject* create_discovery_module();

}  // namespace zyl::py
