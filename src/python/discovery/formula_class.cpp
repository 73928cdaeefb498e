// _Formula: an immutable discovered formula, its postfix terms and its error
// on the data it was fitted to.
#include <algorithm>
#include <bit>
#include <new>
#include <string>
#include <vector>

#include "../interrupt.hpp"
#include "../panic.hpp"
#include "../registry.hpp"
#include "float_buffers.hpp"
#include "natives.hpp"
#include "regress/render.hpp"

namespace zyl::py {
namespace {

struct Fields {
    regress::Formula formula;
    double rmse;
    std::size_t n_vars;  // one more than the largest variable number used
};

struct Object {
    PyObject_HEAD
    Fields value;
};

const Fields& fields(PyObject* self) { return reinterpret_cast<Object*>(self)->value; }

std::size_t vars_needed(const regress::Formula& f) {
    std::size_t n = 0;
    for (const regress::Term& t : f)
        if (t.kind == regress::Kind::Var) n = std::max<std::size_t>(n, t.var + 1);
    return n;
}

// ---- nodes -> terms -------------------------------------------------------

bool entry_error(Py_ssize_t i, const char* what) {
    PyErr_Format(PyExc_ValueError, "nodes[%zd]: %s", i, what);
    return false;
}

bool read_int(PyObject* obj, long long lo, long long hi, long long& out) {
    if (!PyLong_Check(obj) || PyBool_Check(obj)) return false;
    out = PyLong_AsLongLong(obj);
    if (out == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    return out >= lo && out <= hi;
}

bool read_exact(PyObject* obj, regress::Exact& out) {
    if (!PyTuple_Check(obj) || PyTuple_GET_SIZE(obj) != 3) return false;
    long long p = 0, q = 0;
    if (!read_int(PyTuple_GET_ITEM(obj, 0), -1000000, 1000000, p)) return false;
    if (!read_int(PyTuple_GET_ITEM(obj, 1), 1, 1000000, q)) return false;
    PyObject* name = PyTuple_GET_ITEM(obj, 2);
    if (!PyUnicode_Check(name)) return false;
    Py_ssize_t len = 0;
    const char* text = PyUnicode_AsUTF8AndSize(name, &len);
    if (text == nullptr) {
        PyErr_Clear();
        return false;
    }
    auto basis = regress::basis_from_name({text, static_cast<std::size_t>(len)});
    if (!basis) return false;
    out = {static_cast<std::int32_t>(p), static_cast<std::int32_t>(q), *basis};
    return true;
}

bool read_term(PyObject* entry, Py_ssize_t i, regress::Term& out) {
    if (!PyTuple_Check(entry) || PyTuple_GET_SIZE(entry) < 2)
        return entry_error(i, "each entry must be a tuple ('var', j), ('const', value, exact) or ('op', name)");
    PyObject* kind = PyTuple_GET_ITEM(entry, 0);
    const Py_ssize_t size = PyTuple_GET_SIZE(entry);
    if (PyUnicode_Check(kind) && PyUnicode_CompareWithASCIIString(kind, "var") == 0 && size == 2) {
        long long j = 0;
        if (!read_int(PyTuple_GET_ITEM(entry, 1), 0, 1 << 20, j))
            return entry_error(i, "a variable number must be an int from 0 to 1048576");
        out = regress::Term::variable(static_cast<std::uint32_t>(j));
        return true;
    }
    if (PyUnicode_Check(kind) && PyUnicode_CompareWithASCIIString(kind, "const") == 0 && size == 3) {
        PyObject* v = PyTuple_GET_ITEM(entry, 1);
        if (!PyFloat_Check(v)) return entry_error(i, "a constant's value must be a float");
        PyObject* exact = PyTuple_GET_ITEM(entry, 2);
        if (exact == Py_None) {
            out = regress::Term::constant(PyFloat_AS_DOUBLE(v), true);
            return true;
        }
        regress::Exact x{};
        if (!read_exact(exact, x))
            return entry_error(i, "a constant's exact form must be None or (p, q, basis) with ints p, q > 0 "
                                  "and basis one of '1', 'pi', 'pi**2', 'e', 'sqrt(2*pi)', 'sqrt(2)', 'sqrt(pi)'");
        out = regress::Term::exact_constant(x, true);
        if (std::bit_cast<std::uint64_t>(out.value) != std::bit_cast<std::uint64_t>(PyFloat_AS_DOUBLE(v)))
            return entry_error(i, "a constant's value must be the double nearest its exact form");
        return true;
    }
    if (PyUnicode_Check(kind) && PyUnicode_CompareWithASCIIString(kind, "op") == 0 && size == 2) {
        PyObject* name = PyTuple_GET_ITEM(entry, 1);
        const char* text = PyUnicode_Check(name) ? PyUnicode_AsUTF8(name) : nullptr;
        if (text == nullptr) PyErr_Clear();
        auto fn = text != nullptr ? regress::fn_from_name(text) : std::nullopt;
        if (!fn) return entry_error(i, "unknown operation name");
        out = regress::Term::operation(*fn);
        return true;
    }
    return entry_error(i, "each entry must be a tuple ('var', j), ('const', value, exact) or ('op', name)");
}

bool read_nodes(PyObject* nodes, regress::Formula& out) {
    PyObject* seq = PySequence_Fast(nodes, "nodes must be a sequence of node tuples");
    if (seq == nullptr) return false;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq);
    if (static_cast<std::size_t>(n) > regress::kMaxTerms) {
        Py_DECREF(seq);
        PyErr_Format(PyExc_ValueError, "nodes has %zd entries, more than the %zu a formula may have", n,
                     regress::kMaxTerms);
        return false;
    }
    bool ok = true;
    std::size_t depth = 0;
    for (Py_ssize_t i = 0; i < n && ok; ++i) {
        regress::Term t{};
        ok = read_term(PySequence_Fast_GET_ITEM(seq, i), i, t);
        if (!ok) break;
        if (t.kind == regress::Kind::Op) {
            const unsigned k = regress::arity(t.fn);
            if (depth < k) ok = entry_error(i, "an operation finds too few operands before it");
            else depth -= k - 1;
        } else {
            ++depth;
        }
        out.push_back(t);
    }
    Py_DECREF(seq);
    if (ok && depth != 1) {
        PyErr_Format(PyExc_ValueError, "nodes must leave exactly one value, they leave %zu", depth);
        ok = false;
    }
    return ok;
}

// ---- terms -> nodes -------------------------------------------------------

PyObject* node_of(const regress::Term& t) {
    switch (t.kind) {
        case regress::Kind::Var: return Py_BuildValue("(sI)", "var", static_cast<unsigned>(t.var));
        case regress::Kind::Op: return Py_BuildValue("(ss)", "op", std::string(regress::fn_name(t.fn)).c_str());
        case regress::Kind::Const: break;
    }
    if (!t.has_exact) return Py_BuildValue("(sdO)", "const", t.value, Py_None);
    return Py_BuildValue("(sd(iis))", "const", t.value, t.exact.p, t.exact.q,
                         std::string(regress::basis_name(t.exact.basis)).c_str());
}

PyObject* nodes_tuple(const regress::Formula& f) {
    PyObject* out = PyTuple_New(static_cast<Py_ssize_t>(f.size()));
    if (out == nullptr) return nullptr;
    for (std::size_t i = 0; i < f.size(); ++i) {
        PyObject* node = node_of(f[i]);
        if (node == nullptr) {
            Py_DECREF(out);
            return nullptr;
        }
        PyTuple_SET_ITEM(out, static_cast<Py_ssize_t>(i), node);
    }
    return out;
}

// ---- the type -------------------------------------------------------------

PyObject* create(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* kw[] = {"nodes", "rmse", nullptr};
    PyObject* nodes = nullptr;
    double rmse = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Od:_Formula", const_cast<char**>(kw), &nodes, &rmse))
        return nullptr;
    regress::Formula f;
    if (!read_nodes(nodes, f)) return nullptr;
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) return nullptr;
    const std::size_t n_vars = vars_needed(f);
    new (&reinterpret_cast<Object*>(obj)->value) Fields{std::move(f), rmse, n_vars};
    return obj;
}

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<Object*>(self)->value.~Fields();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* get_nodes(PyObject* self, void*) { return nodes_tuple(fields(self).formula); }
PyObject* get_rmse(PyObject* self, void*) { return PyFloat_FromDouble(fields(self).rmse); }
PyObject* get_complexity(PyObject* self, void*) { return PyLong_FromSize_t(fields(self).formula.size()); }

PyObject* get_constants(PyObject* self, void*) {
    std::vector<double> values;
    for (const regress::Term& t : fields(self).formula)
        if (t.kind == regress::Kind::Const) values.push_back(t.value);
    PyObject* out = PyTuple_New(static_cast<Py_ssize_t>(values.size()));
    if (out == nullptr) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* v = PyFloat_FromDouble(values[i]);
        if (v == nullptr) {
            Py_DECREF(out);
            return nullptr;
        }
        PyTuple_SET_ITEM(out, static_cast<Py_ssize_t>(i), v);
    }
    return out;
}

bool read_names(PyObject* obj, std::vector<std::string>& names) {
    PyObject* seq = PySequence_Fast(obj, "names must be a sequence of str");
    if (seq == nullptr) return false;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PySequence_Fast_GET_ITEM(seq, i);
        Py_ssize_t len = 0;
        const char* text = PyUnicode_Check(item) ? PyUnicode_AsUTF8AndSize(item, &len) : nullptr;
        if (text == nullptr) {
            Py_DECREF(seq);
            if (!PyErr_Occurred()) PyErr_Format(PyExc_TypeError, "names[%zd] must be a str", i);
            return false;
        }
        names.emplace_back(text, static_cast<std::size_t>(len));
    }
    Py_DECREF(seq);
    return true;
}

PyObject* to_text(PyObject* self, PyObject* arg) {
    std::vector<std::string> names;
    if (!read_names(arg, names)) return nullptr;
    const std::string text = regress::to_text(fields(self).formula, names);
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// Sample counts from which the evaluation lets other threads run.
constexpr std::size_t kReleaseFrom = 4096;

PyObject* evaluate(PyObject* self, PyObject* arg) {
    const Fields& f = fields(self);
    FloatBuffer columns;
    if (!columns.acquire_strided(arg, 2, "columns")) return nullptr;
    if (columns.extent(0) < f.n_vars) {
        PyErr_Format(PyExc_ValueError, "columns has shape %s but the formula uses %zu variables",
                     columns.shape_text().c_str(), f.n_vars);
        return nullptr;
    }
    const std::size_t n = columns.extent(1);
    PyObject* out = PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n * sizeof(double)));
    if (out == nullptr) return nullptr;
    auto* dst = reinterpret_cast<double*>(PyByteArray_AS_STRING(out));
    const regress::SampleTable data{columns.bytes(), columns.extent(0), n, columns.stride(0), columns.stride(1)};
    bool complete;
    if (n >= kReleaseFrom) {
        ReleasedLock unlocked;
        complete = regress::evaluate_samples(f.formula, data, dst, unlocked.interruptible());
    } else {
        complete = regress::evaluate_samples(f.formula, data, dst, interruptible());
    }
    if (!complete) {
        Py_DECREF(out);
        if (!PyErr_Occurred()) raise_incomplete_map();
        return nullptr;
    }
    return out;
}

PyObject* reduce(PyObject* self, PyObject*) {
    PyObject* nodes = nodes_tuple(fields(self).formula);
    if (nodes == nullptr) return nullptr;
    return Py_BuildValue("(O(Nd))", reinterpret_cast<PyObject*>(Py_TYPE(self)), nodes, fields(self).rmse);
}

PyObject* repr(PyObject* self) {
    const std::string text = regress::to_text(fields(self).formula, {});
    PyObject* t = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    PyObject* r = PyFloat_FromDouble(fields(self).rmse);
    PyObject* out = t != nullptr && r != nullptr ? PyUnicode_FromFormat("_Formula(%R, rmse=%R)", t, r) : nullptr;
    Py_XDECREF(t);
    Py_XDECREF(r);
    return out;
}

PyGetSetDef getset[] = {
    {"nodes", Guard<&get_nodes>::call, nullptr, "Postfix terms: ('var', j), ('const', value, exact), ('op', name).",
     nullptr},
    {"constants", Guard<&get_constants>::call, nullptr, "Values of the constant terms, in term order.", nullptr},
    {"complexity", Guard<&get_complexity>::call, nullptr, "Number of terms.", nullptr},
    {"rmse", Guard<&get_rmse>::call, nullptr, "Root-mean-square error on the data it was fitted to.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"to_text", Guard<&to_text>::call, METH_O,
     "to_text($self, names, /)\n--\n\nPlain text of the formula with variable j written as names[j]."},
    {"_evaluate", Guard<&evaluate>::call, METH_O,
     "_evaluate($self, columns, /)\n--\n\nValues on a (n_features, n_samples) float64 buffer in any layout, as a "
     "bytearray of float64; NaN where a sample cannot be evaluated."},
    {"__reduce__", Guard<&reduce>::call, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_new, reinterpret_cast<void*>(Guard<&create>::call)},
    {Py_tp_repr, reinterpret_cast<void*>(Guard<&repr>::call)},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {Py_tp_doc, const_cast<char*>("_Formula(nodes, rmse)\n--\n\nA discovered formula in postfix terms.")},
    {0, nullptr},
};

PyType_Spec type_spec = {"zyl_core.discovery._Formula", sizeof(Object), 0, Py_TPFLAGS_DEFAULT, slots};

PyTypeObject* g_type = nullptr;

}  // namespace

PyTypeObject* formula_type() { return type_once(g_type, type_spec); }

PyObject* make_formula(regress::Formula f, double rmse) {
    PyTypeObject* type = formula_type();
    if (type == nullptr) return nullptr;
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) return nullptr;
    const std::size_t n_vars = vars_needed(f);
    new (&reinterpret_cast<Object*>(obj)->value) Fields{std::move(f), rmse, n_vars};
    return obj;
}

}  // namespace zyl::py
