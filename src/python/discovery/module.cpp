// The zyl_core.discovery submodule: the engine's natives, then the Python
// layer (estimator, formulas, front) run from sources embedded at build time.
#include "discovery_sources.hpp"
#include "discovery/natives.hpp"
#include "rows.hpp"

namespace zyl::py {
namespace {
PyModuleDef discovery_def = {PyModuleDef_HEAD_INIT, "zyl_core.discovery", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

// Tracebacks through the embedded code show its lines, as for a file on disk.
bool register_lines(const EmbeddedSource& source) {
    PyObject* linecache = PyImport_ImportModule("linecache");
    if (linecache == nullptr) return false;
    PyObject* cache = PyObject_GetAttrString(linecache, "cache");
    Py_DECREF(linecache);
    if (cache == nullptr) return false;
    PyObject* text = PyUnicode_FromString(source.text);
    PyObject* lines = text == nullptr ? nullptr : PyUnicode_Splitlines(text, 1);
    PyObject* entry = lines == nullptr ? nullptr
                                       : Py_BuildValue("(nOOs)", PyUnicode_GET_LENGTH(text), Py_None, lines, source.file);
    bool ok = entry != nullptr && PyObject_SetItem(cache, PyTuple_GET_ITEM(entry, 3), entry) == 0;
    Py_XDECREF(entry);
    Py_XDECREF(lines);
    Py_XDECREF(text);
    Py_DECREF(cache);
    return ok;
}

bool run_embedded_sources(PyObject* module) {
    PyObject* globals = PyModule_GetDict(module);  // borrowed
    PyObject* builtins = PyEval_GetFrameBuiltins();
    bool have_builtins = builtins != nullptr && PyDict_SetItemString(globals, "__builtins__", builtins) == 0;
    Py_XDECREF(builtins);
    if (!have_builtins) return false;
    for (const EmbeddedSource& source : kDiscoverySources) {
        PyObject* code = Py_CompileString(source.text, source.file, Py_file_input);
        if (code == nullptr || !register_lines(source)) {
            Py_XDECREF(code);
            return false;
        }
        PyObject* result = PyEval_EvalCode(code, globals, globals);
        Py_DECREF(code);
        if (result == nullptr) return false;
        Py_DECREF(result);
    }
    return true;
}
}  // namespace

PyObject* create_discovery_module() {
    PyObject* module = PyModule_Create(&discovery_def);
    if (module == nullptr) return nullptr;
    if (!add_discovery_natives(module) || !run_embedded_sources(module)) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

}  // namespace zyl::py
