// The zyl_core.discovery submodule.
#include "discovery/natives.hpp"
#include "rows.hpp"

namespace zyl::py {
namespace {
PyModuleDef discovery_def = {PyModuleDef_HEAD_INIT, "zyl_core.discovery", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

PyObject* create_discovery_module() {
    PyObject* module = PyModule_Create(&discovery_def);
    if (module != nullptr && !add_discovery_natives(module)) Py_CLEAR(module);
    return module;
}

}  // namespace zyl::py
