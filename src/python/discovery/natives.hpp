#pragma once
// The native half of zyl_core.discovery, the private submodule
// zyl_core._discovery: the fitting entry _fit and the formula type _Formula.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "regress/formula.hpp"

namespace zyl::py {

// Adds _fit and _Formula to `module`; false with an exception set.
bool add_discovery_natives(PyObject* module);

// formula_class.cpp: a new _Formula holding `f`; nullptr with an exception set.
PyObject* make_formula(regress::Formula f, double rmse);
PyTypeObject* formula_type();

// fit_function.cpp
extern PyMethodDef fit_def;

}  // namespace zyl::py
