#include "python_files.hpp"

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace zyl::py {
namespace {

// The shared object holding this code, whichever sys.path entry it came from.
bool shared_object_path(std::filesystem::path& out) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&set_package_path), &info) == 0 || info.dli_fname == nullptr) return false;
    std::error_code error;
    out = std::filesystem::absolute(info.dli_fname, error);
    return !error;
}

void forget_modules(std::span<const char* const> names) {
    PyObject* pending = PyErr_GetRaisedException();
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    for (const char* name : names) {
        PyObject* full = PyUnicode_FromFormat("zyl_core.%s", name);
        if (full == nullptr || PyDict_Pop(modules, full, nullptr) < 0) PyErr_Clear();
        Py_XDECREF(full);
    }
    if (PyDict_PopString(modules, "zyl_core", nullptr) < 0) PyErr_Clear();
    PyErr_SetRaisedException(pending);
}

}  // namespace

bool set_package_path(PyObject* module) {
    std::filesystem::path so;
    if (!shared_object_path(so)) {
        PyErr_SetString(PyExc_ImportError, "zyl_core cannot tell which file it was loaded from");
        return false;
    }
    const std::filesystem::path folder = so.parent_path() / "zyl_core";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        const std::string message = "zyl_core's Python files are missing: " + folder.string() +
                                    " is not a folder; reinstall zyl_core (pip install --force-reinstall zyl_core)";
        PyErr_SetString(PyExc_ImportError, message.c_str());
        return false;
    }
    PyObject* text = PyUnicode_DecodeFSDefault(folder.c_str());
    PyObject* path = text == nullptr ? nullptr : PyList_New(1);
    if (path != nullptr) PyList_SET_ITEM(path, 0, Py_NewRef(text));
    bool ok = path != nullptr && PyObject_SetAttrString(module, "__path__", path) == 0;
    Py_XDECREF(path);
    Py_XDECREF(text);
    return ok;
}

bool import_python_submodules(PyObject* module, std::span<const char* const> names) {
    if (PyDict_SetItemString(PyImport_GetModuleDict(), "zyl_core", module) < 0) return false;
    for (const char* name : names) {
        PyObject* full = PyUnicode_FromFormat("zyl_core.%s", name);
        PyObject* sub = full == nullptr ? nullptr : PyImport_Import(full);
        Py_XDECREF(full);
        if (sub == nullptr) {
            forget_modules(names);
            return false;
        }
        Py_DECREF(sub);
    }
    return true;
}

}  // namespace zyl::py
