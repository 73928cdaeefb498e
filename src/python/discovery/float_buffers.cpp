#include "float_buffers.hpp"

#include <cstring>

namespace zyl::py {
namespace {

// Native-order doubles: no byte-order prefix, or one meaning this machine.
bool is_double_format(const char* format) {
    if (format == nullptr) return false;
    if (format[0] == '@' || format[0] == '=' || format[0] == '<') ++format;
    return std::strcmp(format, "d") == 0;
}

}  // namespace

FloatBuffer::~FloatBuffer() {
    if (held_) PyBuffer_Release(&view_);
}

bool FloatBuffer::acquire(PyObject* obj, int ndim, const char* name) {
    return acquire_with(obj, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT, "C-contiguous ", ndim, name);
}

bool FloatBuffer::acquire_strided(PyObject* obj, int ndim, const char* name) {
    return acquire_with(obj, PyBUF_STRIDES | PyBUF_FORMAT, "", ndim, name);
}

bool FloatBuffer::acquire_with(PyObject* obj, int flags, const char* layout, int ndim, const char* name) {
    if (PyObject_GetBuffer(obj, &view_, flags) != 0) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s must be a %sfloat64 buffer, not '%.200s'", name, layout,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    held_ = true;
    if (!is_double_format(view_.format) || view_.itemsize != sizeof(double)) {
        PyErr_Format(PyExc_TypeError, "%s must hold float64 values (buffer format 'd'), not format '%s'", name,
                     view_.format != nullptr ? view_.format : "B");
        return false;
    }
    if (view_.ndim != ndim) {
        PyErr_Format(PyExc_ValueError, "%s must be %d-dimensional, got shape %s", name, ndim, shape_text().c_str());
        return false;
    }
    return true;
}

std::string FloatBuffer::shape_text() const {
    std::string out = "(";
    for (int i = 0; i < view_.ndim; ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(view_.shape[i]);
    }
    if (view_.ndim == 1) out += ",";
    return out + ")";
}

}  // namespace zyl::py
