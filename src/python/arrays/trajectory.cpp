// simulate_pulses_n as an array: the trajectory (x, y, tension) of repeated
// mirror pulses, shape (n_pulses + 1, 3). Each step needs the one before, so
// it runs on the calling thread, with the interpreter lock released and an
// ear for Ctrl-C between stretches of steps.
#include <algorithm>

#include "catalog.hpp"
#include "convert.hpp"
#include "interrupt.hpp"
#include "panic.hpp"
#include "tension/point.hpp"

namespace zyl::py::arrays {
namespace {

// Steps between two looks for signals: about a millisecond of work.
constexpr std::size_t kStepsPerPoll = std::size_t{1} << 15;

void write_entry(double* row, Point p) {
    row[0] = p.x;
    row[1] = p.y;
    row[2] = tension(p.x, p.y);
}

constexpr const char* kParams[] = {"x0", "y0", "n_pulses"};
constexpr Signature kSignature = required("simulate_pulses_n", kParams);

PyObject* simulate_pulses_n(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    double x0 = 0.0, y0 = 0.0;
    std::size_t n_pulses = 0;
    if (!parse_args(kSignature, args, nargs, kwnames, x0, y0, n_pulses)) return nullptr;
    // n_pulses + 1 rows of 3 doubles must be addressable, as in the list API.
    if (n_pulses >= static_cast<std::size_t>(NPY_MAX_INTP) / (3 * sizeof(double))) return PyErr_NoMemory();
    npy_intp shape[2] = {static_cast<npy_intp>(n_pulses) + 1, 3};
    PyObject* out = PyArray_SimpleNew(2, shape, NPY_DOUBLE);
    if (out == nullptr) return nullptr;
    double* rows = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(out)));
    Point p{x0, y0};
    write_entry(rows, p);
    bool interrupted = false;
    {
        ReleasedLock unlocked;
        for (std::size_t k = 1; k <= n_pulses && !interrupted;) {
            const std::size_t stop = std::min(n_pulses, k + kStepsPerPoll - 1);
            for (; k <= stop; ++k) {
                p = mirror_pulse(p);
                write_entry(rows + 3 * k, p);
            }
            interrupted = k <= n_pulses && unlocked.signalled();
        }
    }
    if (interrupted) {
        Py_DECREF(out);
        return nullptr;
    }
    return out;
}

}  // namespace

PyMethodDef simulate_pulses_n_def = {
    "simulate_pulses_n", fastcall<&simulate_pulses_n>(), METH_FASTCALL | METH_KEYWORDS,
    "simulate_pulses_n(x0, y0, n_pulses)\n--\n\nThe trajectory of n_pulses mirror pulses from (x0, y0) as a "
    "float64 array of shape (n_pulses + 1, 3): rows (x, y, tension), as zyl_core.simulate_pulses_n."};

}  // namespace zyl::py::arrays
