// The zyl_core.arrays submodule.
#include "rows.hpp"

namespace zyl::py {
namespace {
PyModuleDef arrays_def = {PyModuleDef_HEAD_INIT, "zyl_core.arrays", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

PyObject* create_arrays_module() { return PyModule_Create(&arrays_def); }

}  // namespace zyl::py
