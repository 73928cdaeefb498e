#pragma once
// Read-only views of C-contiguous float64 buffers (numpy arrays, array.array,
// memoryviews), released when the view goes away.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string>
#include <vector>

namespace zyl::py {

class FloatBuffer {
public:
    FloatBuffer() = default;
    ~FloatBuffer();
    FloatBuffer(const FloatBuffer&) = delete;
    FloatBuffer& operator=(const FloatBuffer&) = delete;

    // Takes a C-contiguous buffer of doubles with `ndim` dimensions; false
    // with a TypeError or ValueError naming `name` otherwise.
    bool acquire(PyObject* obj, int ndim, const char* name);
    // The same for a buffer in any memory layout (a transposed or sliced
    // array, say), read through stride().
    bool acquire_strided(PyObject* obj, int ndim, const char* name);

    const double* data() const { return static_cast<const double*>(view_.buf); }
    const std::byte* bytes() const { return static_cast<const std::byte*>(view_.buf); }
    std::size_t extent(int axis) const { return static_cast<std::size_t>(view_.shape[axis]); }
    // Bytes from one element to the next along `axis`.
    std::ptrdiff_t stride(int axis) const { return view_.strides[axis]; }
    // "(3, 100)" style text of the shape, for messages.
    std::string shape_text() const;

private:
    bool acquire_with(PyObject* obj, int flags, const char* layout, int ndim, const char* name);

    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace zyl::py
