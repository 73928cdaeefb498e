// _fit: runs the regression search on float64 buffers with the interpreter
// lock released, and returns the Pareto front with the selected index.
#include <cmath>
#include <cstring>
#include <string>

#include "../interrupt.hpp"
#include "../panic.hpp"
#include "../registry.hpp"
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

bool read_options(PyObject* dict, regress::Options& o) {
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
        else {
            PyErr_Format(PyExc_TypeError, "unknown option '%s'", k);
            return false;
        }
        if (!ok) return false;
    }
    return true;
}

// Calls progress(report) with the lock taken back for the call; false with
// the callable's exception set when it raised.
bool report_progress(PyObject* progress, const regress::LevelReport& r) {
    PyGILState_STATE state = PyGILState_Ensure();
    PyObject* info = Py_BuildValue("{s:n,s:n,s:d,s:d}", "level", static_cast<Py_ssize_t>(r.level), "candidates",
                                   static_cast<Py_ssize_t>(r.candidates), "best_rmse", r.best_rmse, "elapsed",
                                   r.elapsed);
    PyObject* result = info != nullptr ? PyObject_CallOneArg(progress, info) : nullptr;
    Py_XDECREF(info);
    const bool ok = result != nullptr;
    Py_XDECREF(result);
    PyGILState_Release(state);
    return ok;
}

PyObject* front_result(const regress::Outcome& outcome) {
    PyObject* front = PyList_New(0);
    if (front == nullptr) return nullptr;
    for (const regress::Scored& s : outcome.front) {
        PyObject* f = make_formula(s.formula, s.rmse);
        if (f == nullptr || PyList_Append(front, f) != 0) {
            Py_XDECREF(f);
            Py_DECREF(front);
            return nullptr;
        }
        Py_DECREF(f);
    }
    return Py_BuildValue("(Nn)", front, static_cast<Py_ssize_t>(outcome.best));
}

PyObject* fit(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 4) {
        PyErr_Format(PyExc_TypeError, "_fit() takes 4 arguments (columns, y, options, progress), %zd given", nargs);
        return nullptr;
    }
    FloatBuffer columns, targets;
    if (!columns.acquire(args[0], 2, "columns") || !targets.acquire(args[1], 1, "y")) return nullptr;
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
    regress::Options options;
    if (!read_options(args[2], options)) return nullptr;
    PyObject* progress = args[3];
    if (progress != Py_None && !PyCallable_Check(progress)) {
        PyErr_Format(PyExc_TypeError, "progress must be None or callable, not '%.200s'", Py_TYPE(progress)->tp_name);
        return nullptr;
    }

    const std::vector<const double*> rows = columns.rows();
    const regress::Columns data{rows, targets.extent(0)};
    const std::span<const double> y{targets.data(), targets.extent(0)};
    regress::Outcome outcome;
    bool progress_raised = false;
    {
        ReleasedLock unlocked;
        regress::Hooks hooks;
        hooks.stop = [&] { return unlocked.signalled(); };
        if (progress != Py_None)
            hooks.level_done = [&](const regress::LevelReport& r) {
                progress_raised = !report_progress(progress, r);
                return !progress_raised;
            };
        hooks.control = unlocked.interruptible(30.0 * static_cast<double>(data.samples));
        outcome = regress::search(data, y, options, hooks);
    }
    if (outcome.stopped) {
        if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
        return nullptr;
    }
    if (outcome.front.empty()) {
        PyErr_SetString(PyExc_ValueError, "no formula can be evaluated on this data (are there NaN or inf values?)");
        return nullptr;
    }
    return front_result(outcome);
}

}  // namespace

PyMethodDef fit_def = {
    "_fit", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Guard<&fit>::call)), METH_FASTCALL,
    "_fit(columns, y, options, progress, /)\n--\n\nSearches formulas y ~ f(columns); returns (front, best index)."};

bool add_discovery_natives(PyObject* module) {
    static PyMethodDef defs[] = {fit_def, {nullptr, nullptr, 0, nullptr}};
    if (PyModule_AddFunctions(module, defs) != 0) return false;
    PyTypeObject* type = formula_type();
    return type != nullptr && PyModule_AddObjectRef(module, "_Formula", reinterpret_cast<PyObject*>(type)) == 0;
}

}  // namespace zyl::py
