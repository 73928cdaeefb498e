#include "convert.hpp"

#include "memory/huge_pages.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace zyl::py {
namespace {

// A sequence's length only sizes a reservation; a __len__ that claims more
// than this is not trusted with memory up front.
constexpr Py_ssize_t kMaxTrustedReserve = Py_ssize_t{1} << 20;

// Long inputs and results let signal handlers run (Ctrl-C) this often: a
// fraction of a millisecond for floats, a few for objects with __float__.
constexpr std::size_t kItemsPerSignalCheck = std::size_t{1} << 16;

// True, with the handler's exception set, when a signal handler raised.
bool signalled(std::size_t items_done) {
    return items_done % kItemsPerSignalCheck == kItemsPerSignalCheck - 1 && PyErr_CheckSignals() != 0;
}

void reserve_for(PyObject* seq, std::size_t& capacity) {
    Py_ssize_t len = PySequence_Size(seq);
    if (len < 0) {
        PyErr_Clear();
        len = 0;
    }
    if (!PyList_CheckExact(seq) && !PyTuple_CheckExact(seq)) len = std::min(len, kMaxTrustedReserve);
    capacity = static_cast<std::size_t>(len);
}

// The four steps shared by every sequence kind: refuse str, require the
// sequence protocol, reserve, then iterate and convert item by item.
template <class Item, class ConvertItem>
bool convert_sequence(PyObject* obj, std::vector<Item>& out, ConvertItem convert_item) {
    if (PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(obj)) {
        raise_cannot_convert(obj, "Sequence");
        return false;
    }
    try {
        std::size_t capacity;
        reserve_for(obj, capacity);
        out.clear();
        out.reserve(capacity);
        advise_huge_pages(out.data(), capacity * sizeof(Item));
        if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
            // Same items in the same order as the iterator protocol; the size
            // is re-read because an item's conversion may resize a list.
            for (Py_ssize_t i = 0; i < Py_SIZE(obj); ++i) {
                if (signalled(static_cast<std::size_t>(i))) return false;
                PyObject* item = PyList_CheckExact(obj) ? PyList_GET_ITEM(obj, i) : PyTuple_GET_ITEM(obj, i);
                if constexpr (std::is_same_v<Item, double>) {
                    // Reading an exact float runs no Python code: no need to
                    // hold a reference or call anything.
                    if (PyFloat_CheckExact(item)) {
                        out.push_back(PyFloat_AS_DOUBLE(item));
                        continue;
                    }
                }
                Item value;
                Py_INCREF(item);
                bool ok = convert_item(item, value);
                Py_DECREF(item);
                if (!ok) return false;
                out.push_back(std::move(value));
            }
            return true;
        }
        // Owned so that a failed push_back does not leak the iterator.
        std::unique_ptr<PyObject, void (*)(PyObject*)> it(PyObject_GetIter(obj), [](PyObject* o) { Py_XDECREF(o); });
        if (it == nullptr) return false;
        while (PyObject* item = PyIter_Next(it.get())) {
            if (signalled(out.size())) {
                Py_DECREF(item);
                return false;
            }
            Item value;
            bool ok = convert_item(item, value);
            Py_DECREF(item);
            if (!ok) return false;
            out.push_back(std::move(value));
        }
        return !PyErr_Occurred();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return false;
    }
}

bool convert_couple(PyObject* item, Couple& out) {
    if (!PyTuple_Check(item)) {
        raise_cannot_convert(item, "PyTuple");
        return false;
    }
    if (PyTuple_GET_SIZE(item) != 2) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd",
                     PyTuple_GET_SIZE(item));
        return false;
    }
    return convert(PyTuple_GET_ITEM(item, 0), out.first) && convert(PyTuple_GET_ITEM(item, 1), out.second);
}

// Item k of a row that claimed length 8 could not be read. A row that lost
// items while earlier ones were converted (a list shrunk by a __float__, a
// __getitem__ that gives up early) is reported like a row of the wrong
// length, with what it holds now; other errors pass unchanged.
bool shrunk_octet(PyObject* row, Py_ssize_t k) {
    if (!PyErr_ExceptionMatches(PyExc_IndexError)) return false;
    PyErr_Clear();
    Py_ssize_t len = PySequence_Size(row);
    if (len < 0) {
        PyErr_Clear();
        len = k;
    }
    PyErr_Format(PyExc_ValueError, "expected a sequence of length 8 (got %zd)", len == 8 ? k : len);
    return false;
}

bool convert_octet(PyObject* item, Octet& out) {
    if (!PySequence_Check(item)) {
        raise_cannot_convert(item, "Sequence");
        return false;
    }
    Py_ssize_t len = PySequence_Size(item);
    if (len < 0) return false;
    if (len != 8) {
        PyErr_Format(PyExc_ValueError, "expected a sequence of length 8 (got %zd)", len);
        return false;
    }
    const bool exact = PyList_CheckExact(item) || PyTuple_CheckExact(item);
    for (Py_ssize_t k = 0; k < 8; ++k) {
        // An exact list or tuple is read in place; its size is checked again
        // because converting an earlier entry may have shrunk a list.
        if (exact && k < Py_SIZE(item)) {
            PyObject* v = PyList_CheckExact(item) ? PyList_GET_ITEM(item, k) : PyTuple_GET_ITEM(item, k);
            if (PyFloat_CheckExact(v)) {
                out[static_cast<std::size_t>(k)] = PyFloat_AS_DOUBLE(v);
                continue;
            }
        }
        PyObject* v = PySequence_GetItem(item, k);
        if (v == nullptr) return shrunk_octet(item, k);
        bool ok = convert(v, out[static_cast<std::size_t>(k)]);
        Py_DECREF(v);
        if (!ok) return false;
    }
    return true;
}

bool convert_small_int(PyObject* item, std::int8_t& out) {
    int overflow = 0;
    long v = PyLong_AsLongAndOverflow(item, &overflow);
    if (v == -1 && PyErr_Occurred()) return false;
    if (overflow != 0 || v < -128 || v > 127) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::int8_t>(v);
    return true;
}

bool is_numpy_bool(PyObject* obj) {
    PyTypeObject* type = Py_TYPE(obj);
    PyObject* module = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__");
    if (module == nullptr) {
        PyErr_Clear();
        return false;
    }
    bool from_numpy = PyUnicode_Check(module) && PyUnicode_EqualToUTF8(module, "numpy");
    Py_DECREF(module);
    if (!from_numpy) return false;
    PyObject* name = PyType_GetName(type);
    if (name == nullptr) {
        PyErr_Clear();
        return false;
    }
    bool is_bool = PyUnicode_EqualToUTF8(name, "bool_") || PyUnicode_EqualToUTF8(name, "bool");
    Py_DECREF(name);
    return is_bool;
}

// ---- Numeric buffers ------------------------------------------------------
// An exact numpy ndarray, array.array or memoryview with a real numeric
// format is read through the buffer protocol instead of item by item. Its
// items would each convert to exactly the double read here (a float64 item
// is that double, a float32 or an integer item is converted by the same
// rounding), and none of them could fail, so the fast path is invisible.
// Anything else (other formats, other dimensions, subclasses, whose items may
// behave differently) keeps the item path with its messages.

enum class BufferRead { done, failed, not_numeric };

// Reads item `p` of one format as a double.
using ItemReader = double (*)(const char* p);

template <class T>
double read_item(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<double>(v);
}

// A '?' item is true for any non-zero byte, as its Python item would be.
double read_flag(const char* p) { return *p != 0 ? 1.0 : 0.0; }

template <class Signed, class Unsigned>
ItemReader integer_reader(bool is_signed) {
    return is_signed ? &read_item<Signed> : &read_item<Unsigned>;
}

// The reader for a struct-module format of one real number in this
// machine's byte order, or nullptr.
ItemReader numeric_reader(const char* format, Py_ssize_t itemsize) {
    if (format == nullptr) return &read_item<std::uint8_t>;  // plain bytes
    bool native_sizes = true;
    if (*format == '@') {
        ++format;
    } else if (*format == '=' || *format == '<') {
        native_sizes = false;
        ++format;
    }
    const char code = format[0];
    if (code == '\0' || format[1] != '\0') return nullptr;
    switch (code) {
        case 'd':
            return itemsize == 8 ? &read_item<double> : nullptr;
        case 'f':
            return itemsize == 4 ? &read_item<float> : nullptr;
        case 'g':
            return native_sizes && itemsize == sizeof(long double) ? &read_item<long double> : nullptr;
        case '?':
            return itemsize == 1 ? &read_flag : nullptr;
        case 'b': case 'B': case 'h': case 'H': case 'i': case 'I':
        case 'l': case 'L': case 'q': case 'Q': case 'n': case 'N': {
            const bool is_signed = code >= 'a';
            switch (itemsize) {
                case 1: return integer_reader<std::int8_t, std::uint8_t>(is_signed);
                case 2: return integer_reader<std::int16_t, std::uint16_t>(is_signed);
                case 4: return integer_reader<std::int32_t, std::uint32_t>(is_signed);
                case 8: return integer_reader<std::int64_t, std::uint64_t>(is_signed);
            }
            return nullptr;
        }
    }
    return nullptr;
}

// The type `module.attr` once that module has been imported by someone;
// looked up without ever importing it, and kept once found.
bool is_exact_imported_type(PyObject* obj, const char* module, const char* attr, PyObject*& cache) {
    if (cache == nullptr) {
        PyObject* name = PyUnicode_FromString(module);
        PyObject* mod = name != nullptr ? PyImport_GetModule(name) : nullptr;
        Py_XDECREF(name);
        if (mod != nullptr) {
            cache = PyObject_GetAttrString(mod, attr);
            Py_DECREF(mod);
            if (cache != nullptr && !PyType_Check(cache)) Py_CLEAR(cache);
        }
        PyErr_Clear();
        if (cache == nullptr) return false;
    }
    return reinterpret_cast<PyObject*>(Py_TYPE(obj)) == cache;
}

// memoryview cannot be subclassed; the other two are checked for exactness.
bool is_buffer_fast_path_type(PyObject* obj) {
    static PyObject* ndarray = nullptr;
    static PyObject* array = nullptr;
    return PyMemoryView_Check(obj) || is_exact_imported_type(obj, "numpy", "ndarray", ndarray) ||
           is_exact_imported_type(obj, "array", "array", array);
}

// Calls read(reader, view) on the buffer of `obj` when it has `ndim`
// dimensions of a real numeric format (and `inner` items along the second).
template <class Read>
BufferRead with_numeric_buffer(PyObject* obj, int ndim, Py_ssize_t inner, Read read) {
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj) || !is_buffer_fast_path_type(obj))
        return BufferRead::not_numeric;
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_RECORDS_RO) < 0) {
        // A released memoryview says so; iterating it instead would read
        // the format string it no longer owns.
        if (PyMemoryView_Check(obj)) return BufferRead::failed;
        PyErr_Clear();
        return BufferRead::not_numeric;
    }
    BufferRead result = BufferRead::not_numeric;
    ItemReader reader = numeric_reader(view.format, view.itemsize);
    if (reader != nullptr && view.ndim == ndim && view.suboffsets == nullptr && (ndim < 2 || view.shape[1] == inner)) {
        try {
            read(reader, view);
            result = BufferRead::done;
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
            result = BufferRead::failed;
        }
    }
    PyBuffer_Release(&view);
    return result;
}

BufferRead read_float_buffer(PyObject* obj, std::vector<double>& out) {
    return with_numeric_buffer(obj, 1, 0, [&](ItemReader reader, const Py_buffer& view) {
        const auto n = static_cast<std::size_t>(view.shape[0]);
        out.resize(n);
        const char* base = static_cast<const char*>(view.buf);
        if (reader == &read_item<double> && view.strides[0] == sizeof(double)) {
            if (n != 0) std::memcpy(out.data(), base, n * sizeof(double));
            return;
        }
        for (std::size_t i = 0; i < n; ++i) out[i] = reader(base + static_cast<Py_ssize_t>(i) * view.strides[0]);
    });
}

BufferRead read_octet_buffer(PyObject* obj, std::vector<Octet>& out) {
    return with_numeric_buffer(obj, 2, 8, [&](ItemReader reader, const Py_buffer& view) {
        const auto n = static_cast<std::size_t>(view.shape[0]);
        out.resize(n);
        const char* base = static_cast<const char*>(view.buf);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t k = 0; k < 8; ++k)
                out[i][k] = reader(base + static_cast<Py_ssize_t>(i) * view.strides[0] +
                                   static_cast<Py_ssize_t>(k) * view.strides[1]);
    });
}

// Creates the container at its final length and fills it in order.
template <class MakeItem>
PyObject* build(PyObject* (*create)(Py_ssize_t), void (*set)(PyObject*, Py_ssize_t, PyObject*), std::size_t n,
                MakeItem make_item) {
    PyObject* out = create(static_cast<Py_ssize_t>(n));
    if (out == nullptr) return nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        PyObject* item = signalled(i) ? nullptr : make_item(i);
        if (item == nullptr) {
            Py_DECREF(out);
            return nullptr;
        }
        set(out, static_cast<Py_ssize_t>(i), item);
    }
    return out;
}

void list_set(PyObject* list, Py_ssize_t i, PyObject* item) { PyList_SET_ITEM(list, i, item); }
void tuple_set(PyObject* tuple, Py_ssize_t i, PyObject* item) { PyTuple_SET_ITEM(tuple, i, item); }

template <class Vec, class MakeItem>
PyObject* build_list(const Vec& v, MakeItem make_item) {
    return build(PyList_New, list_set, v.size(), [&](std::size_t i) { return make_item(v[i]); });
}

PyObject* float_list(const double* values, std::size_t n) {
    return build(PyList_New, list_set, n, [&](std::size_t i) { return PyFloat_FromDouble(values[i]); });
}

// A tuple of floats cannot be part of a reference cycle; untracking it at
// once spares the collector from walking millions of result tuples (it would
// untrack them itself, but only after traversing them).
PyObject* float_tuple(const double* values, std::size_t n) {
    PyObject* t = build(PyTuple_New, tuple_set, n, [&](std::size_t i) { return PyFloat_FromDouble(values[i]); });
    if (t != nullptr) PyObject_GC_UnTrack(t);
    return t;
}

}  // namespace

void raise_cannot_convert(PyObject* obj, const char* target) {
    PyObject* name = PyType_GetQualName(Py_TYPE(obj));
    if (name == nullptr) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name, target);
    Py_DECREF(name);
}

void prefix_argument_name(const char* name) {
    PyObject* exc = PyErr_GetRaisedException();
    if (exc == nullptr || Py_TYPE(exc) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(exc);
        return;
    }
    PyObject* text = PyObject_Str(exc);
    PyObject* msg = text ? PyUnicode_FromFormat("argument '%s': %U", name, text) : nullptr;
    Py_XDECREF(text);
    PyObject* fresh = msg ? PyObject_CallOneArg(PyExc_TypeError, msg) : nullptr;
    Py_XDECREF(msg);
    if (fresh == nullptr) {
        Py_DECREF(exc);
        return;
    }
    PyException_SetCause(fresh, PyException_GetCause(exc));
    Py_DECREF(exc);
    PyErr_SetRaisedException(fresh);
}

bool convert(PyObject* obj, double& out) {
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    double v = PyFloat_AsDouble(obj);
    if (v == -1.0 && PyErr_Occurred()) return false;
    out = v;
    return true;
}

bool convert(PyObject* obj, std::int64_t& out) {
    long long v = PyLong_AsLongLong(obj);
    if (v == -1 && PyErr_Occurred()) return false;
    out = static_cast<std::int64_t>(v);
    return true;
}

bool convert(PyObject* obj, std::size_t& out) {
    PyObject* index = PyLong_Check(obj) ? Py_NewRef(obj) : PyNumber_Index(obj);
    if (index == nullptr) return false;
    unsigned long long v = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = static_cast<std::size_t>(v);
    return true;
}

bool convert(PyObject* obj, bool& out) {
    if (obj == Py_True || obj == Py_False) {
        out = obj == Py_True;
        return true;
    }
    if (is_numpy_bool(obj)) {
        int truth = PyObject_IsTrue(obj);
        if (truth < 0) return false;
        out = truth != 0;
        return true;
    }
    raise_cannot_convert(obj, "PyBool");
    return false;
}

bool convert(PyObject* obj, std::vector<double>& out) {
    if (BufferRead r = read_float_buffer(obj, out); r != BufferRead::not_numeric) return r == BufferRead::done;
    return convert_sequence(obj, out, [](PyObject* item, double& v) { return convert(item, v); });
}

bool convert(PyObject* obj, std::vector<Couple>& out) { return convert_sequence(obj, out, convert_couple); }

bool convert(PyObject* obj, std::vector<std::vector<double>>& out) {
    return convert_sequence(obj, out, [](PyObject* item, std::vector<double>& v) { return convert(item, v); });
}

bool convert(PyObject* obj, std::vector<Octet>& out) {
    if (BufferRead r = read_octet_buffer(obj, out); r != BufferRead::not_numeric) return r == BufferRead::done;
    return convert_sequence(obj, out, convert_octet);
}

bool convert(PyObject* obj, std::vector<std::int8_t>& out) {
    return convert_sequence(obj, out, convert_small_int);
}

PyObject* to_python(double v) { return PyFloat_FromDouble(v); }

PyObject* to_python(bool v) { return PyBool_FromLong(v); }

PyObject* to_python(std::span<const double> v) { return float_list(v.data(), v.size()); }

PyObject* to_python(std::span<const Couple> v) {
    return build_list(v, [](const Couple& c) {
        const double xy[2] = {c.first, c.second};
        return float_tuple(xy, 2);
    });
}

PyObject* to_python(std::span<const std::array<double, 3>> v) {
    return build_list(v, [](const std::array<double, 3>& t) { return float_tuple(t.data(), 3); });
}

PyObject* to_python(std::span<const Octet> v) {
    return build_list(v, [](const Octet& o) { return float_list(o.data(), o.size()); });
}

PyObject* to_python(std::span<const std::vector<double>> v) {
    return build_list(v, [](const std::vector<double>& inner) { return to_python(inner); });
}

}  // namespace zyl::py
