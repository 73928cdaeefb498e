#include "python_files.hpp"

#include <dlfcn.h>

#include <cstring>
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
        if (sub == nullptr) return false;
        Py_DECREF(sub);
    }
    return true;
}

void forget_partial_import() {
    PyObject* pending = PyErr_GetRaisedException();
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    PyObject* names = PyDict_Keys(modules);
    const Py_ssize_t n = names == nullptr ? 0 : PyList_GET_SIZE(names);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* name = PyList_GET_ITEM(names, i);
        if (!PyUnicode_Check(name)) continue;
        const char* text = PyUnicode_AsUTF8(name);
        if (text != nullptr && (std::strcmp(text, "zyl_core") == 0 || std::strncmp(text, "zyl_core.", 9) == 0))
            if (PyDict_DelItem(modules, name) < 0) PyErr_Clear();
    }
    Py_XDECREF(names);
    PyErr_Clear();
    PyErr_SetRaisedException(pending);
}

}  // namespace zyl::py
