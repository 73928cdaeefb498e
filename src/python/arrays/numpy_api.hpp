#pragma once
// numpy's C API for the arrays submodule. The API tables are filled by
// import_numpy() on the first use of zyl_core.arrays, never at import of
// zyl_core, so the extension loads without numpy installed. Every file that
// uses the API includes this header; numpy_api.cpp alone defines the tables.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define NPY_TARGET_VERSION NPY_2_0_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL zyl_numpy_array_api
#define PY_UFUNC_UNIQUE_SYMBOL zyl_numpy_ufunc_api
#ifndef ZYL_DEFINES_NUMPY_API
#define NO_IMPORT_ARRAY
#define NO_IMPORT_UFUNC
#endif
#include <numpy/arrayobject.h>
#include <numpy/dtype_api.h>
#include <numpy/ufuncobject.h>

namespace zyl::py::arrays {

// Imports numpy and its ufunc machinery once; false with ImportError set
// when numpy is missing or too old.
bool import_numpy();

}  // namespace zyl::py::arrays
