#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zyl::py {
// Adds _fit and _Formula; false with an exception set.
bool add_discovery_natives(PyObject* module);
}  // namespace zyl::py
