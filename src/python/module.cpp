// Module entry: single-phase initialisation, refused in a second interpreter,
// and the registration table that fixes the order of the module's names.
#include <atomic>
#include <cstdint>

#include "panic.hpp"
#include "python_files.hpp"
#include "registry.hpp"
#include "rows.hpp"

namespace zyl::py {
namespace {

struct Row {
    PyMethodDef* function;          // a function row, or
    PyTypeObject* (*type)();        // a class row
    const char* class_name;
};

const Row kRows[] = {
    {nullptr, point_type, "ZYLPoint"},
    {nullptr, pair_type, "ZYLPair"},
    {nullptr, knot_type, "ZYLKnot"},
    {&schrodinger_step_n_def, nullptr, nullptr},
    {&rotate_phase_n_def, nullptr, nullptr},
    {&simulate_pulses_n_def, nullptr, nullptr},
    {&boost_n_def, nullptr, nullptr},
    {&exp_n_def, nullptr, nullptr},
    {&ln_n_def, nullptr, nullptr},
    {&add_n_def, nullptr, nullptr},
    {&sub_n_def, nullptr, nullptr},
    {&mul_n_def, nullptr, nullptr},
    {&div_n_def, nullptr, nullptr},
    {&sqrt_n_def, nullptr, nullptr},
    {&sin_n_def, nullptr, nullptr},
    {&cos_n_def, nullptr, nullptr},
    {&tension_n_def, nullptr, nullptr},
    {&pow_n_def, nullptr, nullptr},
    {&christoffel_batch_n_def, nullptr, nullptr},
    {&octonion_mul_n_def, nullptr, nullptr},
    {&geometric_product_n_def, nullptr, nullptr},
    {nullptr, search_result_type, "PySearchResult"},
    {&find_formula_def, nullptr, nullptr},
};

// The native halves of the submodules, made by the extension itself and
// private (zyl_core._NAME): in sys.modules, for the Python halves to import;
// never in __all__.
struct SubmoduleRow {
    const char* name;
    PyObject* (*create)();  // a new module, or nullptr with an exception set
};

const SubmoduleRow kSubmodules[] = {
    {"_arrays", create_arrays_module},
    {"_discovery", create_discovery_module},
};

// Submodules written in Python (zyl_core/NAME/ beside the shared object),
// imported with the module so that they too are attributes after `import zyl_core`.
const char* const kPythonSubmodules[] = {"arrays", "discovery"};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "zyl_core", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

std::atomic<std::int64_t> g_interpreter_id{-1};
PyObject* g_module = nullptr;

bool register_rows(PyObject* module) {
    for (const Row& row : kRows) {
        if (row.function != nullptr) {
            if (!add_function(module, row.function)) return false;
            continue;
        }
        PyTypeObject* type = row.type();
        if (type == nullptr || !add_to_module(module, row.class_name, reinterpret_cast<PyObject*>(type)))
            return false;
    }
    // Not a row: the panic type is reachable for `except`, but not exported.
    PyObject* panic = panic_type();
    return panic != nullptr && PyObject_SetAttrString(module, "ZYLPanic", panic) == 0;
}

bool register_submodules(PyObject* module) {
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    for (const SubmoduleRow& row : kSubmodules) {
        PyObject* sub = row.create();
        if (sub == nullptr) return false;
        PyObject* full = PyUnicode_FromFormat("zyl_core.%s", row.name);
        bool ok = full != nullptr && PyObject_SetItem(modules, full, sub) == 0 &&
                  PyObject_SetAttrString(module, row.name, sub) == 0;
        Py_XDECREF(full);
        Py_DECREF(sub);
        if (!ok) return false;
    }
    return true;
}

PyObject* init_module() {
    std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!g_interpreter_id.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "zyl_core does not support subinterpreters: it can be imported in one interpreter "
                        "per process only");
        return nullptr;
    }
    if (g_module != nullptr) return Py_NewRef(g_module);
    PyObject* module = PyModule_Create2(&module_def, 1013);
    if (module == nullptr) return nullptr;
    // Not in __all__: the version is metadata, not part of the API.
    if (!register_rows(module) || !register_submodules(module) ||
        PyModule_AddStringConstant(module, "__version__", ZYL_VERSION) != 0 || !set_package_path(module) ||
        !import_python_submodules(module, kPythonSubmodules)) {
        forget_partial_import();
        Py_DECREF(module);
        return nullptr;
    }
    g_module = module;
    return Py_NewRef(module);
}

}  // namespace
}  // namespace zyl::py

PyMODINIT_FUNC PyInit_zyl_core() { return zyl::py::Guard<&zyl::py::init_module>::call(); }
