#pragma once
// How module rows become attributes: every added name is appended to the
// module's __all__, so __all__ lists the rows in registration order.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zyl::py {

// Appends `name` to __all__ (creating it when missing) and sets the
// attribute. `obj` is borrowed.
bool add_to_module(PyObject* module, const char* name, PyObject* obj);

// A built-in function owned by the module, added under its own __name__.
bool add_function(PyObject* module, PyMethodDef* def);

// Creates a heap type from `type_spec` on the first call and returns the same type
// afterwards (the type lives until the process ends). nullptr with an error.
PyTypeObject* type_once(PyTypeObject*& slot, PyType_Spec& type_spec);

// tp_new of the classes that cannot be instantiated from Python.
PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs);

}  // namespace zyl::py
