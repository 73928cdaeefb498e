// The zyl_core.discovery submodule.
#include "rows.hpp"

namespace zyl::py {
namespace {
PyModuleDef discovery_def = {PyModuleDef_HEAD_INIT, "zyl_core.discovery", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

PyObject* create_discovery_module() { return PyModule_Create(&discovery_def); }

}  // namespace zyl::py
