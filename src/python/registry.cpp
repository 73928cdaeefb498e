#include "registry.hpp"

namespace zyl::py {

bool add_to_module(PyObject* module, const char* name, PyObject* obj) {
    PyObject* all = nullptr;
    if (PyObject_GetOptionalAttrString(module, "__all__", &all) < 0) return false;
    if (all == nullptr) {
        all = PyList_New(0);
        if (all == nullptr || PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_XDECREF(all);
            return false;
        }
    }
    PyObject* key = PyUnicode_FromString(name);
    bool ok = key != nullptr && PyList_Append(all, key) == 0 && PyObject_SetAttr(module, key, obj) == 0;
    Py_XDECREF(key);
    Py_DECREF(all);
    return ok;
}

bool add_function(PyObject* module, PyMethodDef* def) {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return false;
    PyObject* fn = PyCFunction_NewEx(def, module, module_name);
    Py_DECREF(module_name);
    if (fn == nullptr) return false;
    PyObject* name = PyObject_GetAttrString(fn, "__name__");
    bool ok = false;
    if (name != nullptr && !PyUnicode_Check(name)) {
        PyErr_SetString(PyExc_TypeError, "function __name__ must be a str");
    } else if (name != nullptr) {
        const char* text = PyUnicode_AsUTF8(name);
        ok = text != nullptr && add_to_module(module, text, fn);
    }
    Py_XDECREF(name);
    Py_DECREF(fn);
    return ok;
}

PyTypeObject* type_once(PyTypeObject*& slot, PyType_Spec& type_spec) {
    if (slot == nullptr) slot = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
    return slot;
}

PyObject* no_constructor(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* name = PyType_GetName(type);
    if (name != nullptr) PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name);
    Py_XDECREF(name);
    return nullptr;
}

}  // namespace zyl::py
