// zyl_core._arrays, the native half of zyl_core.arrays: the batch functions
// as numpy ufuncs, arrays in and arrays out. The functions are made on the first lookup of
// any of them, which is also when numpy is first imported, so that
// `import zyl_core` never needs numpy.
#include "catalog.hpp"
#include "panic.hpp"
#include "rows.hpp"

namespace zyl::py {
namespace {

using arrays::UfuncRecipe;

constexpr const char* kNames[] = {
    "exp_n",          "ln_n",           "sqrt_n",     "sin_n",          "cos_n",
    "add_n",          "sub_n",          "mul_n",      "div_n",          "pow_n",
    "tension_n",      "boost_n",        "rotate_phase_n", "schrodinger_step_n", "simulate_pulses_n",
    "octonion_mul_n", "geometric_product_n", "christoffel_batch_n",
};

bool add_owned(PyObject* module, const char* name, PyObject* obj) {
    if (obj == nullptr) return false;
    int rc = PyModule_AddObjectRef(module, name, obj);
    Py_DECREF(obj);
    return rc == 0;
}

// An ImportError that says what failed, caused by numpy's own error. The
// Python half has checked that numpy is there and new enough.
void explain_missing_numpy() {
    PyObject* cause = PyErr_GetRaisedException();
    PyErr_SetString(PyExc_ImportError, "zyl_core.arrays could not load numpy's C API");
    PyObject* exc = PyErr_GetRaisedException();
    PyException_SetCause(exc, cause);
    PyException_SetContext(exc, Py_XNewRef(cause));
    PyErr_SetRaisedException(exc);
}

// Makes every function and stores it as an attribute, where later lookups
// find it without coming back here.
bool populate(PyObject* module) {
    if (!arrays::import_numpy()) {
        explain_missing_numpy();
        return false;
    }
    for (std::span<const UfuncRecipe> recipes : {arrays::elementwise_ufuncs(), arrays::pair_ufuncs(), arrays::algebra_ufuncs()})
        for (const UfuncRecipe& recipe : recipes)
            if (!add_owned(module, recipe.name, arrays::make_ufunc(recipe))) return false;
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return false;
    PyObject* fn = PyCFunction_NewEx(&arrays::simulate_pulses_n_def, nullptr, module_name);
    Py_DECREF(module_name);
    return add_owned(module, arrays::simulate_pulses_n_def.ml_name, fn);
}

bool is_function_name(PyObject* name) {
    for (const char* n : kNames)
        if (PyUnicode_EqualToUTF8(name, n)) return true;
    return false;
}

PyObject* module_getattr(PyObject* module, PyObject* name) {
    if (PyUnicode_Check(name) && is_function_name(name)) {
        PyObject* found = nullptr;
        if (PyDict_GetItemRef(PyModule_GetDict(module), name, &found) != 0) return found;
        if (!populate(module)) return nullptr;
        return PyObject_GetAttr(module, name);
    }
    PyErr_Format(PyExc_AttributeError, "module 'zyl_core._arrays' has no attribute '%U'", name);
    return nullptr;
}

PyObject* module_dir(PyObject* module, PyObject*) {
    PyObject* names = PyDict_Keys(PyModule_GetDict(module));
    if (names == nullptr) return nullptr;
    for (const char* n : kNames) {
        PyObject* s = PyUnicode_FromString(n);
        int has = s ? PySequence_Contains(names, s) : -1;
        if (has < 0 || (has == 0 && PyList_Append(names, s) < 0)) {
            Py_XDECREF(s);
            Py_DECREF(names);
            return nullptr;
        }
        Py_DECREF(s);
    }
    if (PyList_Sort(names) < 0) {
        Py_DECREF(names);
        return nullptr;
    }
    return names;
}

PyMethodDef arrays_methods[] = {
    {"__getattr__", Guard<&module_getattr>::call, METH_O, nullptr},
    {"__dir__", Guard<&module_dir>::call, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef arrays_def = {
    PyModuleDef_HEAD_INIT,
    "zyl_core._arrays",
    "The batch functions of zyl_core for numpy arrays: ufuncs (element-wise) and generalized ufuncs (pairs,\n"
    "octonions, multivectors) that broadcast, take out=, where=, casting= and dtype=, dispatch to dask and\n"
    "xarray through __array_ufunc__, and give float64 results bit for bit equal to the list functions' values.\n"
    "float32 input gives float32 results: the float64 values rounded once. numpy is imported on the first\n"
    "use of any of them.",
    0, arrays_methods, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyObject* create_arrays_module() {
    PyObject* module = PyModule_Create(&arrays_def);
    if (module == nullptr) return nullptr;
    PyObject* all = PyList_New(0);
    bool ok = all != nullptr;
    for (const char* n : kNames) {
        PyObject* s = ok ? PyUnicode_FromString(n) : nullptr;
        ok = s != nullptr && PyList_Append(all, s) == 0;
        Py_XDECREF(s);
    }
    if (!ok || PyModule_AddObjectRef(module, "__all__", all) < 0 ||
        PyModule_AddFunctions(module, arrays::vector_kernels_methods) < 0) {
        Py_XDECREF(all);
        Py_DECREF(module);
        return nullptr;
    }
    Py_DECREF(all);
    return module;
}

}  // namespace zyl::py
