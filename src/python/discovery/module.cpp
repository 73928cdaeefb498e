// zyl_core._discovery: the engine's natives (_fit, _Formula), which the
// Python package zyl_core.discovery builds its estimator on.
#include "discovery/natives.hpp"
#include "rows.hpp"

namespace zyl::py {
namespace {
PyModuleDef discovery_def = {PyModuleDef_HEAD_INIT, "zyl_core._discovery", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

PyObject* create_discovery_module() {
    PyObject* module = PyModule_Create(&discovery_def);
    if (module == nullptr) return nullptr;
    if (!add_discovery_natives(module)) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

}  // namespace zyl::py
