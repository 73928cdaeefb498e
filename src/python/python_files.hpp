#pragma once
// zyl_core's Python files live in a folder `zyl_core/` installed beside the
// shared object. The extension makes itself their package: __path__ names
// that folder, so its Python submodules import, reload and show their source
// as those of any package, while `import zyl_core` still loads this one
// extension through its one entry.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

namespace zyl::py {

// Sets `module.__path__` to the folder; false with ImportError set when the
// folder is not where the installation puts it.
bool set_package_path(PyObject* module);

// Imports zyl_core.NAME for each of `names` (which sets it as an attribute of
// `module`). The Python files import the natives as zyl_core._NAME, so
// `module` stands in sys.modules from here on.
bool import_python_submodules(PyObject* module, std::span<const char* const> names);

// Takes zyl_core and every zyl_core.* out of sys.modules, keeping the pending
// exception: a failed import leaves nothing behind that a retry would find.
void forget_partial_import();

}  // namespace zyl::py
