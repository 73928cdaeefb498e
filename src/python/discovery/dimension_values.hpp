#pragma once
// Dimensions across the binding: the "dimensions" option of _fit (one row per
// column and a last one for the target, each row seven (numerator,
// denominator) pairs of SI base exponents) and the dimensions of a result's
// constants, in the same form.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>

#include "regress/dimensions.hpp"

namespace zyl::py {

// Reads the option's rows into `out` (target last); false with an exception
// naming `key` and the row.
bool read_dimensions(PyObject* v, const char* key, std::optional<regress::DimensionRules>& out);

// A tuple of one row per constant of `f`, or None when `f` is inconsistent
// with the rules; nullptr with an exception set.
PyObject* constant_dimensions_of(const regress::Formula& f, const regress::DimensionRules& rules);

}  // namespace zyl::py
