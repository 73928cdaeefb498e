#define ZYL_DEFINES_NUMPY_API
#include "numpy_api.hpp"

namespace zyl::py::arrays {

bool import_numpy() {
    static bool imported = false;
    if (imported) return true;
    if (_import_array() < 0 || _import_umath() < 0) return false;
    imported = true;
    return true;
}

}  // namespace zyl::py::arrays
