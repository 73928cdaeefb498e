// The element-wise ufuncs: the rules of the list API's element-wise batches,
// one loop template per arity.
#include "catalog.hpp"
#include "inner_loop.hpp"
#include "kernels/elementwise.hpp"
#include "strided.hpp"

namespace zyl::py::arrays {
namespace {

// Cost is the element's time on one core in nanoseconds, measured on
// contiguous float64 input; it decides when a loop goes to the pool.
template <double (*Rule)(double), double CostNs>
int unary_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
               NpyAuxData*) {
    const auto n = static_cast<std::size_t>(dims[0]);
    const bool split = elements_independent(data, dims, steps, 1, 1);
    if (all_contiguous(steps, 2)) {
        const double* in = reinterpret_cast<const double*>(data[0]);
        double* out = reinterpret_cast<double*>(data[1]);
        return run_elements(n, CostNs, split, [=](std::size_t i) { out[i] = Rule(in[i]); });
    }
    char *in = data[0], *out = data[1];
    const npy_intp si = steps[0], so = steps[1];
    return run_elements(n, CostNs, split, [=](std::size_t i) { at(out, i, so) = Rule(at(in, i, si)); });
}

template <double (*Rule)(double, double), double CostNs>
int binary_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
                NpyAuxData*) {
    const auto n = static_cast<std::size_t>(dims[0]);
    const bool split = elements_independent(data, dims, steps, 2, 1);
    if (all_contiguous(steps, 3)) {
        const double* a = reinterpret_cast<const double*>(data[0]);
        const double* b = reinterpret_cast<const double*>(data[1]);
        double* out = reinterpret_cast<double*>(data[2]);
        return run_elements(n, CostNs, split, [=](std::size_t i) { out[i] = Rule(a[i], b[i]); });
    }
    char *a = data[0], *b = data[1], *out = data[2];
    const npy_intp sa = steps[0], sb = steps[1], so = steps[2];
    return run_elements(n, CostNs, split,
                        [=](std::size_t i) { at(out, i, so) = Rule(at(a, i, sa), at(b, i, sb)); });
}

template <double (*Rule)(double), double CostNs>
constexpr UfuncSpec unary(const char* name, const char* doc) {
    return {name, doc, 1, 1, nullptr, "dd", &guarded<unary_loop<Rule, CostNs>>};
}

template <double (*Rule)(double, double), double CostNs>
constexpr UfuncSpec binary(const char* name, const char* doc) {
    return {name, doc, 2, 1, nullptr, "ddd", &guarded<binary_loop<Rule, CostNs>>};
}

const UfuncSpec kSpecs[] = {
    unary<exp_term, 6.0>("exp_n", "E(x): exp(x), or exp(ln x) above 709.782712893384; as zyl_core.exp_n."),
    unary<log_term, 6.0>("ln_n", "L(y): ln|y|, or -690.7755278982137 for y = +-0; as zyl_core.ln_n."),
    unary<kernels::sqrt_abs, 1.0>("sqrt_n", "sqrt(|x|); as zyl_core.sqrt_n."),
    unary<kernels::sin, 10.0>("sin_n", "sin(x); as zyl_core.sin_n."),
    unary<kernels::cos, 10.0>("cos_n", "cos(x); as zyl_core.cos_n."),
    binary<kernels::add, 1.0>("add_n", "a + b; as zyl_core.add_n, broadcasting instead of truncating."),
    binary<kernels::sub, 1.0>("sub_n", "a - b; as zyl_core.sub_n, broadcasting instead of truncating."),
    binary<kernels::mul, 1.0>("mul_n", "a * b; as zyl_core.mul_n, broadcasting instead of truncating."),
    binary<kernels::div, 1.5>("div_n",
                              "a / b, NaN where |b| < 1e-300; as zyl_core.div_n, broadcasting instead of "
                              "truncating."),
    binary<kernels::pow_abs, 20.0>("pow_n",
                                   "|base| ** exp; as zyl_core.pow_n, broadcasting instead of truncating."),
    binary<tension, 12.0>("tension_n",
                          "E(x) - L(y); as zyl_core.tension_n, broadcasting instead of truncating."),
};

}  // namespace

std::span<const UfuncSpec> elementwise_ufuncs() { return kSpecs; }

}  // namespace zyl::py::arrays
