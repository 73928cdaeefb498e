#include "dimension_values.hpp"

#include <vector>

namespace zyl::py {
namespace {

// Exponents the engine accepts; a unit string never comes near them.
constexpr long long kLargestPart = 1000000;

bool read_ratio(PyObject* pair, regress::Ratio& out) {
    if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) return false;
    long long part[2];
    for (Py_ssize_t k = 0; k < 2; ++k) {
        PyObject* v = PyTuple_GET_ITEM(pair, k);
        if (!PyLong_Check(v) || PyBool_Check(v)) return false;
        part[k] = PyLong_AsLongLong(v);
        if (part[k] == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
        if (part[k] > kLargestPart || part[k] < -kLargestPart) return false;
    }
    if (part[1] <= 0) return false;
    // Brought to lowest terms by the algebra's own rule.
    auto d = regress::power(regress::Dimension{{regress::Ratio{1, 1}}}, {part[0], part[1]});
    if (!d) return false;
    out = d->exponent[0];
    return true;
}

bool read_row(PyObject* row, regress::Dimension& out) {
    if (!PyTuple_Check(row) || PyTuple_GET_SIZE(row) != regress::kBaseUnits) return false;
    for (std::size_t k = 0; k < regress::kBaseUnits; ++k)
        if (!read_ratio(PyTuple_GET_ITEM(row, static_cast<Py_ssize_t>(k)), out.exponent[k])) return false;
    return true;
}

PyObject* row_of(const regress::Dimension& d) {
    PyObject* row = PyTuple_New(regress::kBaseUnits);
    for (std::size_t k = 0; row != nullptr && k < regress::kBaseUnits; ++k) {
        PyObject* pair = Py_BuildValue("(LL)", static_cast<long long>(d.exponent[k].p),
                                       static_cast<long long>(d.exponent[k].q));
        if (pair == nullptr) Py_CLEAR(row);
        else PyTuple_SET_ITEM(row, static_cast<Py_ssize_t>(k), pair);
    }
    return row;
}

}  // namespace

bool read_dimensions(PyObject* v, const char* key, std::optional<regress::DimensionRules>& out) {
    if (v == Py_None) {
        out.reset();
        return true;
    }
    if (!PyTuple_Check(v) || PyTuple_GET_SIZE(v) < 2) {
        PyErr_Format(PyExc_TypeError, "option '%s' must be a tuple of rows, one per column and one for y", key);
        return false;
    }
    regress::DimensionRules rules;
    const Py_ssize_t n = PyTuple_GET_SIZE(v);
    for (Py_ssize_t i = 0; i < n; ++i) {
        regress::Dimension d;
        if (!read_row(PyTuple_GET_ITEM(v, i), d)) {
            PyErr_Format(PyExc_ValueError,
                         "option '%s' row %zd must be %zu (numerator, denominator) int pairs with a positive "
                         "denominator",
                         key, i, regress::kBaseUnits);
            return false;
        }
        if (i + 1 < n) rules.variables.push_back(d);
        else rules.target = d;
    }
    out = std::move(rules);
    return true;
}

PyObject* constant_dimensions_of(const regress::Formula& f, const regress::DimensionRules& rules) {
    auto dims = regress::constant_dimensions(f, rules);
    if (!dims) Py_RETURN_NONE;
    PyObject* out = PyTuple_New(static_cast<Py_ssize_t>(dims->size()));
    for (std::size_t i = 0; out != nullptr && i < dims->size(); ++i) {
        PyObject* row = row_of((*dims)[i]);
        if (row == nullptr) Py_CLEAR(out);
        else PyTuple_SET_ITEM(out, static_cast<Py_ssize_t>(i), row);
    }
    return out;
}

}  // namespace zyl::py
