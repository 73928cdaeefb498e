// The twelve element-wise batch functions. Each row of the table below stamps
// out one function from a generic wrapper per shape: convert the inputs, run
// the element rule as a parallel map, build the result list.
#include "convert.hpp"
#include "interrupt.hpp"
#include "kernels/contiguous.hpp"
#include "kernels/element_costs.hpp"
#include "kernels/elementwise.hpp"
#include "panic.hpp"
#include "rows.hpp"

namespace zyl::py {
namespace {

// Results overwrite the first input in place: an element rule reads only its
// own element, so each slot is read before it is written, by the same task.
// That spares a second buffer of the input's size.
template <class T>
PyObject* finish(std::size_t written, const std::vector<T>& out, std::size_t n) {
    if (!map_complete(written, n)) return nullptr;
    return to_python(std::span<const T>(out.data(), n));
}

template <const Signature& Sig, double (*Rule)(double), double Cost>
PyObject* unary_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<double> xs;
    if (!parse_args(Sig, args, nargs, kwnames, xs)) return nullptr;
    const std::size_t n = xs.size();
    return finish(kernels::map_unary(xs.data(), xs.data(), n, Rule, interruptible(Cost)), xs, n);
}

// The rules with vector kernels: their runs are the pool's units of work.
template <const Signature& Sig, void (*Run)(const double*, double*, std::size_t), double Cost>
PyObject* unary_runs_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<double> xs;
    if (!parse_args(Sig, args, nargs, kwnames, xs)) return nullptr;
    const std::size_t n = xs.size();
    return finish(kernels::map_unary_runs(xs.data(), xs.data(), n, Run, interruptible(Cost)), xs, n);
}

template <const Signature& Sig, void (*Run)(const double*, const double*, double*, std::size_t), double Cost>
PyObject* binary_runs_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<double> as, bs;
    if (!parse_args(Sig, args, nargs, kwnames, as, bs)) return nullptr;
    const std::size_t n = std::min(as.size(), bs.size());
    return finish(kernels::map_binary_runs(as.data(), bs.data(), as.data(), n, Run, interruptible(Cost)), as, n);
}

template <const Signature& Sig, double (*Rule)(double, double), double Cost>
PyObject* binary_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<double> as, bs;
    if (!parse_args(Sig, args, nargs, kwnames, as, bs)) return nullptr;
    const std::size_t n = std::min(as.size(), bs.size());
    return finish(kernels::map_binary(as.data(), bs.data(), as.data(), n, Rule, interruptible(Cost)), as, n);
}

constexpr const char* kBoostParams[] = {"points", "phis", "c"};
constexpr Signature kBoostSig = required("boost_n", kBoostParams);

PyObject* boost_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<Couple> points;
    std::vector<double> phis;
    double c = 0.0;
    if (!parse_args(kBoostSig, args, nargs, kwnames, points, phis, c)) return nullptr;
    const std::size_t n = std::min(points.size(), phis.size());
    Couple* slots = points.data();
    const double* phi = phis.data();
    std::size_t written = parallel_for(n, [=](std::size_t i) {
        BoostedPoint b = boost(slots[i].first, slots[i].second, phi[i], c);
        slots[i] = {b.x, b.y};
    }, interruptible(cost::kBoost));
    return finish(written, points, n);
}

}  // namespace

#define ZYL_SIGNATURE(NAME, ...)                                    \
    namespace {                                                     \
    constexpr const char* NAME##_params[] = {__VA_ARGS__};          \
    constexpr Signature NAME##_sig = required(#NAME, NAME##_params); \
    }
// BATCH is unary_batch or unary_runs_batch (binary_... for two parameters),
// RULE the element rule or the run of its shape.
#define ZYL_UNARY(NAME, PARAM, BATCH, RULE, COST, DOC)                                  \
    ZYL_SIGNATURE(NAME, #PARAM)                                                      \
    PyMethodDef NAME##_def = {#NAME, fastcall<&BATCH<NAME##_sig, RULE, COST>>(),       \
                              METH_FASTCALL | METH_KEYWORDS, #NAME "(" #PARAM ")\n--\n\n" DOC};
#define ZYL_BINARY(NAME, P1, P2, BATCH, RULE, COST, DOC)                                \
    ZYL_SIGNATURE(NAME, #P1, #P2)                                                    \
    PyMethodDef NAME##_def = {#NAME, fastcall<&BATCH<NAME##_sig, RULE, COST>>(),       \
                              METH_FASTCALL | METH_KEYWORDS, #NAME "(" #P1 ", " #P2 ")\n--\n\n" DOC};

ZYL_UNARY(exp_n, xs, unary_runs_batch, &kernels::ExpTermRule::run, cost::kExpRun,
          "Batch exp: [exp(x) for x in xs] — Rayon parallel.")
ZYL_UNARY(ln_n, ys, unary_runs_batch, &kernels::LogTermRule::run, cost::kLogRun,
          "Batch ln: [ln(y) for y in ys] — Rayon parallel, frame-shift guard applied.")
ZYL_UNARY(sqrt_n, xs, unary_batch, kernels::sqrt_abs, cost::kSqrt, "Batch sqrt: [sqrt(|x|) for x in xs] — Rayon parallel.")
ZYL_UNARY(sin_n, xs, unary_runs_batch, &kernels::SinRule::run, cost::kSinCosRun,
          "Batch sin: [sin(x) for x in xs] — Rayon parallel.")
ZYL_UNARY(cos_n, xs, unary_runs_batch, &kernels::CosRule::run, cost::kSinCosRun,
          "Batch cos: [cos(x) for x in xs] — Rayon parallel.")
ZYL_BINARY(add_n, as_, bs, binary_batch, kernels::add, cost::kArithmetic, "Batch add: [a + b for (a, b) in zip(as_, bs)] — Rayon parallel.")
ZYL_BINARY(sub_n, as_, bs, binary_batch, kernels::sub, cost::kArithmetic, "Batch sub: [a - b for (a, b) in zip(as_, bs)] — Rayon parallel.")
ZYL_BINARY(mul_n, as_, bs, binary_batch, kernels::mul, cost::kArithmetic, "Batch mul: [a * b for (a, b) in zip(as_, bs)] — Rayon parallel.")
ZYL_BINARY(div_n, as_, bs, binary_batch, kernels::div, cost::kDiv, "Batch div: [a / b] — NaN for |b| < 1e-300 — Rayon parallel.")
ZYL_BINARY(pow_n, bases, exps, binary_runs_batch, &kernels::PowAbsRule::run, cost::kPowRun,
           "Batch pow: [|base|^exp for (base, exp) in zip(bases, exps)] — Rayon parallel.")
ZYL_BINARY(tension_n, xs, ys, binary_runs_batch, &kernels::TensionRule::run, cost::kTensionRun,
           "Batch zyl_tension: [zyl(x, y) for (x, y) in zip(xs, ys)] — Rayon parallel.")

PyMethodDef boost_n_def = {
    "boost_n", fastcall<&boost_batch>(), METH_FASTCALL | METH_KEYWORDS,
    "boost_n(points, phis, c)\n--\n\nBatch Lorentz boost: apply boost(phi_i, c) to each (x_i, y_i) point in "
    "parallel.\nReturns Vec of (x', y') tuples."};

}  // namespace zyl::py
