// find_formula: converts the data, checks its shape, runs the beam search on
// the calling thread (scoring spreads over the worker pool) and wraps the
// best result.
#include <string>

#include "convert.hpp"
#include "discover/search.hpp"
#include "panic.hpp"
#include "rows.hpp"
#include "search_result_class.hpp"

namespace zyl::py {
namespace {

constexpr const char* kParams[] = {"x_data",  "y_data",  "max_complexity", "beam_width",
                                   "precision_goal", "use_trig", "use_zyl", "complexity_penalty"};
constexpr Signature kSig{"find_formula", kParams, 8, 2};

// Every column must hold one value per sample and y_data one target per
// sample; checked before any search work so that no fit is ever reported on
// samples that were never compared.
bool check_shape(const std::vector<std::vector<double>>& columns, const std::vector<double>& targets) {
    if (columns.empty()) {
        PyErr_SetString(PyExc_ValueError, "x_data must hold at least one column (one list of values per variable)");
        return false;
    }
    const std::size_t samples = columns[0].size();
    for (std::size_t j = 1; j < columns.size(); ++j) {
        if (columns[j].size() != samples) {
            PyErr_Format(PyExc_ValueError, "x_data column %zu has %zu values but column 0 has %zu", j,
                         columns[j].size(), samples);
            return false;
        }
    }
    if (targets.size() != samples) {
        PyErr_Format(PyExc_ValueError, "y_data has %zu values but x_data has %zu samples per column",
                     targets.size(), samples);
        return false;
    }
    return true;
}

PyObject* find_formula(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<std::vector<double>> columns;
    std::vector<double> targets;
    discover::SearchParams params;
    if (!parse_args(kSig, args, nargs, kwnames, columns, targets, params.max_complexity, params.beam_width,
                    params.precision_goal, params.use_trig, params.use_zyl, params.complexity_penalty))
        return nullptr;
    if (!check_shape(columns, targets)) return nullptr;

    // Ctrl-C: signal handlers run here, on the calling thread, between phases
    // of the search; a raised KeyboardInterrupt abandons it.
    auto interrupted = [] { return PyErr_CheckSignals() != 0; };
    discover::SearchOutcome outcome = discover::search(columns, targets, columns.size(), params, interrupted);
    if (outcome.interrupted) {
        if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
        return nullptr;
    }
    if (!outcome.best) Py_RETURN_NONE;
    return make_search_result(std::move(*outcome.best));
}

}  // namespace

PyMethodDef find_formula_def = {
    "find_formula", fastcall<&find_formula>(), METH_FASTCALL | METH_KEYWORDS,
    "find_formula(x_data, y_data, max_complexity=8, beam_width=2000, precision_goal=1e-10, use_trig=True, "
    "use_zyl=True, complexity_penalty=0.001)\n--\n\nFind a formula fitting x_data → y_data.\nx_data: list of "
    "column vectors (one per variable), or a single 1D list for univariate.\ny_data: target values (1D list)."};

}  // namespace zyl::py
