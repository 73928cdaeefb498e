// _fit: runs the regression search on float64 buffers with the interpreter
// lock released, and returns the Pareto front with each formula's statistics,
// the selected index, and the exception that ended the fit early (Ctrl-C, a
// raising progress callable) or None: the caller keeps the front either way.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "../interrupt.hpp"
#include "../panic.hpp"
#include "../registry.hpp"
#include "dimension_values.hpp"
#include "float_buffers.hpp"
#include "natives.hpp"
#include "regress/search.hpp"

namespace zyl::py {
namespace {

bool option_error(const char* key, const char* expected) {
    PyErr_Format(PyExc_ValueError, "option '%s' must be %s", key, expected);
    return false;
}

bool read_count(PyObject* v, const char* key, std::size_t lo, std::size_t hi, std::size_t& out) {
    if (!PyLong_Check(v) || PyBool_Check(v)) {
        PyErr_Format(PyExc_TypeError, "option '%s' must be an int, not '%.200s'", key, Py_TYPE(v)->tp_name);
        return false;
    }
    const long long x = PyLong_AsLongLong(v);
    if (x == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return option_error(key, ("an int from " + std::to_string(lo) + " to " + std::to_string(hi)).c_str());
    }
    if (x < static_cast<long long>(lo) || static_cast<unsigned long long>(x) > hi)
        return option_error(key, ("an int from " + std::to_string(lo) + " to " + std::to_string(hi)).c_str());
    out = static_cast<std::size_t>(x);
    return true;
}

bool read_flag(PyObject* v, const char* key, bool& out) {
    if (!PyBool_Check(v)) {
        PyErr_Format(PyExc_TypeError, "option '%s' must be a bool, not '%.200s'", key, Py_TYPE(v)->tp_name);
        return false;
    }
    out = v == Py_True;
    return true;
}

bool read_seconds(PyObject* v, const char* key, double& out) {
    if (v == Py_None) {
        out = 0.0;
        return true;
    }
    // A bool is an int to Python, but True seconds is a mistake, as for the
    // integer options.
    if (PyBool_Check(v)) {
        PyErr_Format(PyExc_TypeError, "option '%s' must be a float or None, not 'bool'", key);
        return false;
    }
    const double x = PyFloat_AsDouble(v);
    if (x == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "option '%s' must be a float or None, not '%.200s'", key, Py_TYPE(v)->tp_name);
        return false;
    }
    if (!(x > 0.0) || std::isinf(x)) return option_error(key, "a positive number of seconds or None");
    out = x;
    return true;
}

bool read_selection(PyObject* v, const char* key, regress::Selection& out) {
    const char* text = PyUnicode_Check(v) ? PyUnicode_AsUTF8(v) : nullptr;
    if (text == nullptr) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "option '%s' must be a str, not '%.200s'", key, Py_TYPE(v)->tp_name);
        return false;
    }
    if (std::strcmp(text, "mdl") == 0) out = regress::Selection::DescriptionLength;
    else if (std::strcmp(text, "bic") == 0) out = regress::Selection::Bic;
    else if (std::strcmp(text, "accuracy") == 0) out = regress::Selection::Accuracy;
    else return option_error(key, "one of 'mdl', 'bic', 'accuracy'");
    return true;
}

bool read_options(PyObject* dict, regress::Options& o) {
    bool dimensional_constants = false;
    if (dict == Py_None) return true;
    if (!PyDict_Check(dict)) {
        PyErr_Format(PyExc_TypeError, "options must be a dict, not '%.200s'", Py_TYPE(dict)->tp_name);
        return false;
    }
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t pos = 0;
    while (PyDict_Next(dict, &pos, &key, &value)) {
        const char* k = PyUnicode_Check(key) ? PyUnicode_AsUTF8(key) : nullptr;
        if (k == nullptr) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "unknown option %R", key);
            return false;
        }
        bool ok = false;
        if (std::strcmp(k, "max_complexity") == 0) ok = read_count(value, k, 1, 64, o.max_complexity);
        else if (std::strcmp(k, "max_evaluations") == 0) ok = read_count(value, k, 1, std::size_t{1} << 48, o.max_evaluations);
        else if (std::strcmp(k, "time_limit") == 0) ok = read_seconds(value, k, o.time_limit);
        else if (std::strcmp(k, "use_trig") == 0) ok = read_flag(value, k, o.use_trig);
        else if (std::strcmp(k, "use_zyl") == 0) ok = read_flag(value, k, o.use_zyl);
        else if (std::strcmp(k, "max_constants") == 0) ok = read_count(value, k, 0, 4, o.max_constants);
        else if (std::strcmp(k, "beam_width") == 0) ok = read_count(value, k, 1, 100000, o.beam_width);
        else if (std::strcmp(k, "model_selection") == 0) ok = read_selection(value, k, o.selection);
        else if (std::strcmp(k, "exact_constants") == 0) ok = read_flag(value, k, o.exact_constants);
        else if (std::strcmp(k, "dimensions") == 0) ok = read_dimensions(value, k, o.dimensions);
        else if (std::strcmp(k, "dimensional_constants") == 0) ok = read_flag(value, k, dimensional_constants);
        else {
            PyErr_Format(PyExc_TypeError, "unknown option '%s'", k);
            return false;
        }
        if (!ok) return false;
    }
    if (o.dimensions) o.dimensions->dimensional_constants = dimensional_constants;
    return true;
}

// Calls progress(report) with the lock taken back for the call. Its answer:
// go on (a false result), stop early (a true one), or stop with the
// exception it raised, which is moved into `raised`.
bool report_progress(PyObject* progress, const regress::LevelReport& r, PyObject*& raised) {
    PyGILState_STATE state = PyGILState_Ensure();
    PyObject* info = Py_BuildValue("{s:n,s:n,s:d,s:d}", "level", static_cast<Py_ssize_t>(r.level), "candidates",
                                   static_cast<Py_ssize_t>(r.candidates), "best_rmse", r.best_rmse, "elapsed",
                                   r.elapsed);
    PyObject* result = info != nullptr ? PyObject_CallOneArg(progress, info) : nullptr;
    Py_XDECREF(info);
    int stop = result != nullptr ? PyObject_IsTrue(result) : -1;
    Py_XDECREF(result);
    if (stop < 0) raised = PyErr_GetRaisedException();
    PyGILState_Release(state);
    return stop == 0;
}

PyObject* float_tuple(const std::vector<double>& values, std::size_t first, std::size_t count) {
    PyObject* out = PyTuple_New(static_cast<Py_ssize_t>(count));
    if (out == nullptr) return nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        PyObject* v = PyFloat_FromDouble(values[first + i]);
        if (v == nullptr) {
            Py_DECREF(out);
            return nullptr;
        }
        PyTuple_SET_ITEM(out, static_cast<Py_ssize_t>(i), v);
    }
    return out;
}

// What the engine knows of one front formula beyond its terms.
PyObject* statistics_of(const regress::Scored& s, const regress::Options& options) {
    std::vector<double> values, errors;
    for (const regress::ConstantEstimate& e : s.estimates) {
        values.push_back(e.value);
        errors.push_back(e.std_error);
    }
    const std::size_t k = static_cast<std::size_t>(std::sqrt(static_cast<double>(s.covariance.size())));
    PyObject* rows = PyTuple_New(static_cast<Py_ssize_t>(k));
    for (std::size_t r = 0; rows != nullptr && r < k; ++r) {
        PyObject* row = float_tuple(s.covariance, r * k, k);
        if (row == nullptr) Py_CLEAR(rows);
        else PyTuple_SET_ITEM(rows, static_cast<Py_ssize_t>(r), row);
    }
    PyObject* free = PyTuple_New(0);
    std::size_t c = 0;
    for (const regress::Term& t : s.formula) {
        if (t.kind != regress::Kind::Const) continue;
        if (t.free() && free != nullptr) {
            PyObject* index = PyLong_FromSize_t(c);
            if (index == nullptr || _PyTuple_Resize(&free, PyTuple_GET_SIZE(free) + 1) != 0) {
                Py_XDECREF(index);
                Py_CLEAR(free);
            } else {
                PyTuple_SET_ITEM(free, PyTuple_GET_SIZE(free) - 1, index);
            }
        }
        ++c;
    }
    PyObject* v = float_tuple(values, 0, values.size());
    PyObject* e = float_tuple(errors, 0, errors.size());
    if (v == nullptr || e == nullptr || rows == nullptr || free == nullptr) {
        Py_XDECREF(v);
        Py_XDECREF(e);
        Py_XDECREF(rows);
        Py_XDECREF(free);
        return nullptr;
    }
    PyObject* out = Py_BuildValue("{s:N,s:N,s:N,s:N,s:d,s:d,s:d,s:O}", "estimates", v, "std_errors", e, "covariance",
                                  rows, "free", free, "sse", s.sse, "description_length", s.description_length, "bic",
                                  s.bic, "selectable", s.selectable ? Py_True : Py_False);
    if (out == nullptr || !options.dimensions) return out;
    PyObject* dims = constant_dimensions_of(s.formula, *options.dimensions);
    if (dims == nullptr || PyDict_SetItemString(out, "constant_dimensions", dims) != 0) Py_CLEAR(out);
    Py_XDECREF(dims);
    return out;
}

PyObject* front_result(const regress::Outcome& outcome, const regress::Options& options, PyObject* raised) {
    PyObject* front = PyList_New(0);
    if (front == nullptr) return nullptr;
    for (const regress::Scored& s : outcome.front) {
        PyObject* f = make_formula(s.formula, s.plain_rmse);
        PyObject* stats = f != nullptr ? statistics_of(s, options) : nullptr;
        PyObject* pair = stats != nullptr ? PyTuple_Pack(2, f, stats) : nullptr;
        Py_XDECREF(f);
        Py_XDECREF(stats);
        if (pair == nullptr || PyList_Append(front, pair) != 0) {
            Py_XDECREF(pair);
            Py_DECREF(front);
            return nullptr;
        }
        Py_DECREF(pair);
    }
    return Py_BuildValue("(NnO)", front, static_cast<Py_ssize_t>(outcome.best), raised != nullptr ? raised : Py_None);
}

// The columns are read where they lie, a transposed row-major X included,
// one step of `element_stride` doubles from sample to sample; a buffer whose
// steps are not whole doubles (packed records) is copied into `copied`.
bool whole_doubles(const FloatBuffer& b) {
    return b.stride(0) % static_cast<std::ptrdiff_t>(sizeof(double)) == 0 &&
           b.stride(1) % static_cast<std::ptrdiff_t>(sizeof(double)) == 0 &&
           reinterpret_cast<std::uintptr_t>(b.bytes()) % alignof(double) == 0;
}

std::ptrdiff_t element_stride(const FloatBuffer& b) {
    return whole_doubles(b) ? b.stride(1) / static_cast<std::ptrdiff_t>(sizeof(double)) : 1;
}

std::vector<const double*> column_pointers(const FloatBuffer& b, std::vector<double>& copied) {
    const std::size_t n_columns = b.extent(0), n = b.extent(1);
    std::vector<const double*> out(n_columns);
    if (whole_doubles(b)) {
        for (std::size_t j = 0; j < n_columns; ++j)
            out[j] = reinterpret_cast<const double*>(b.bytes() + static_cast<std::ptrdiff_t>(j) * b.stride(0));
        return out;
    }
    copied.resize(n_columns * n);
    for (std::size_t j = 0; j < n_columns; ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(j) * b.stride(0) + static_cast<std::ptrdiff_t>(i) * b.stride(1);
            std::memcpy(&copied[j * n + i], b.bytes() + at, sizeof(double));
        }
        out[j] = &copied[j * n];
    }
    return out;
}

// Holds the exception that ended a fit early, at most one.
struct Raised {
    PyObject* value = nullptr;
    ~Raised() { Py_XDECREF(value); }
    void keep(PyObject* e) {
        if (value == nullptr) value = e;
        else Py_XDECREF(e);
    }
};

PyObject* fit(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 5) {
        PyErr_Format(PyExc_TypeError,
                     "_fit() takes 5 arguments (columns, y, sample_weight, options, progress), %zd given", nargs);
        return nullptr;
    }
    FloatBuffer columns, targets, weights;
    if (!columns.acquire_strided(args[0], 2, "columns") || !targets.acquire(args[1], 1, "y")) return nullptr;
    if (columns.extent(1) != targets.extent(0)) {
        PyErr_Format(PyExc_ValueError, "columns has shape %s (n_features, n_samples) but y has shape %s",
                     columns.shape_text().c_str(), targets.shape_text().c_str());
        return nullptr;
    }
    if (columns.extent(0) == 0 || targets.extent(0) == 0) {
        PyErr_Format(PyExc_ValueError, "columns has shape %s: at least one feature and one sample are needed",
                     columns.shape_text().c_str());
        return nullptr;
    }
    std::span<const double> w;
    if (args[2] != Py_None) {
        if (!weights.acquire(args[2], 1, "sample_weight")) return nullptr;
        if (weights.extent(0) != targets.extent(0)) {
            PyErr_Format(PyExc_ValueError, "sample_weight has shape %s but y has shape %s",
                         weights.shape_text().c_str(), targets.shape_text().c_str());
            return nullptr;
        }
        w = {weights.data(), weights.extent(0)};
        for (std::size_t i = 0; i < w.size(); ++i)
            if (!(w[i] > 0.0) || !std::isfinite(w[i])) {
                PyErr_Format(PyExc_ValueError, "sample_weight[%zu] must be positive and finite", i);
                return nullptr;
            }
    }
    regress::Options options;
    if (!read_options(args[3], options)) return nullptr;
    if (options.dimensions && options.dimensions->variables.size() != columns.extent(0)) {
        PyErr_Format(PyExc_ValueError, "option 'dimensions' has %zu column rows but columns has shape %s",
                     options.dimensions->variables.size(), columns.shape_text().c_str());
        return nullptr;
    }
    PyObject* progress = args[4];
    if (progress != Py_None && !PyCallable_Check(progress)) {
        PyErr_Format(PyExc_TypeError, "progress must be None or callable, not '%.200s'", Py_TYPE(progress)->tp_name);
        return nullptr;
    }

    std::vector<double> copied;
    const std::vector<const double*> pointers = column_pointers(columns, copied);
    const regress::Columns data{pointers, targets.extent(0), element_stride(columns)};
    const std::span<const double> y{targets.data(), targets.extent(0)};
    regress::Outcome outcome;
    Raised raised;
    {
        ReleasedLock unlocked;
        regress::Hooks hooks;
        hooks.stop = [&] { return unlocked.signalled(); };
        if (progress != Py_None)
            hooks.level_done = [&](const regress::LevelReport& r) {
                PyObject* e = nullptr;
                const bool go_on = report_progress(progress, r, e);
                if (e != nullptr) raised.keep(e);
                return go_on;
            };
        hooks.control = unlocked.interruptible(30.0 * static_cast<double>(data.samples));
        outcome = regress::search(data, y, w, options, hooks);
    }
    if (outcome.stopped) {
        if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
        raised.keep(PyErr_GetRaisedException());
    }
    if (outcome.front.empty() && raised.value == nullptr) {
        PyErr_SetString(PyExc_ValueError, "no formula can be evaluated on this data (are there NaN or inf values?)");
        return nullptr;
    }
    return front_result(outcome, options, raised.value);
}

}  // namespace

PyMethodDef fit_def = {
    "_fit", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Guard<&fit>::call)), METH_FASTCALL,
    "_fit(columns, y, sample_weight, options, progress, /)\n--\n\nSearches formulas y ~ f(columns); returns "
    "([(formula, statistics), ...], best index, exception that ended it early or None)."};

bool add_discovery_natives(PyObject* module) {
    static PyMethodDef defs[] = {fit_def, {nullptr, nullptr, 0, nullptr}};
    if (PyModule_AddFunctions(module, defs) != 0) return false;
    PyTypeObject* type = formula_type();
    return type != nullptr && PyModule_AddObjectRef(module, "_Formula", reinterpret_cast<PyObject*>(type)) == 0;
}

}  // namespace zyl::py
