#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "discover/search.hpp"

namespace zyl::py {

PyTypeObject* search_result_type();

// A new PySearchResult holding the result's text, constants, error and size
// (moved out of `result`; its expression is not kept).
PyObject* make_search_result(discover::SearchResult&& result);

}  // namespace zyl::py
