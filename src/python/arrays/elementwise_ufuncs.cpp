// The element-wise ufuncs: the rules of the list API's element-wise batches,
// one loop template per arity. The outer range is cut into blocks, the unit
// of work handed to the pool; contiguous blocks run the rules' two-lane forms
// (not in a reduction or accumulation, whose elements read earlier results).
#include <algorithm>

#include "catalog.hpp"
#include "inner_loop.hpp"
#include "kernels/contiguous.hpp"
#include "kernels/element_costs.hpp"
#include "strided.hpp"

namespace zyl::py::arrays {
namespace {

constexpr std::size_t kBlock = 1024;

// body(begin, end) over the blocks of [0, n).
int run_blocks(std::size_t n, double cost_ns, bool splittable, auto&& body) {
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    return run_elements(blocks, cost_ns * kBlock, splittable, [&](std::size_t k) {
        const std::size_t begin = k * kBlock;
        body(begin, std::min(n, begin + kBlock));
    });
}

// CostNs is the element's time on one core in nanoseconds on contiguous
// float64 input; it decides when a loop goes to the pool.
template <class Rule, double CostNs>
int unary_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
               NpyAuxData*) {
    const auto n = static_cast<std::size_t>(dims[0]);
    const bool split = elements_independent(data, dims, steps, 1, 1);
    char *in = data[0], *out = data[1];
    if (split && all_contiguous(steps, 2)) {
        return run_blocks(n, CostNs, split, [=](std::size_t begin, std::size_t end) {
            kernels::unary_run<Rule>(&at(in, begin, steps[0]), &at(out, begin, steps[1]), end - begin);
        });
    }
    const npy_intp si = steps[0], so = steps[1];
    return run_blocks(n, CostNs, split, [=](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) at(out, i, so) = Rule::one(at(in, i, si));
    });
}

template <class Rule, double CostNs>
int binary_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
                NpyAuxData*) {
    const auto n = static_cast<std::size_t>(dims[0]);
    const bool split = elements_independent(data, dims, steps, 2, 1);
    char *a = data[0], *b = data[1], *out = data[2];
    if (split && all_contiguous(steps, 3)) {
        return run_blocks(n, CostNs, split, [=](std::size_t begin, std::size_t end) {
            kernels::binary_run<Rule>(&at(a, begin, steps[0]), &at(b, begin, steps[1]), &at(out, begin, steps[2]),
                                      end - begin);
        });
    }
    const npy_intp sa = steps[0], sb = steps[1], so = steps[2];
    return run_blocks(n, CostNs, split, [=](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) at(out, i, so) = Rule::one(at(a, i, sa), at(b, i, sb));
    });
}

template <class Rule, double CostNs>
constexpr UfuncRecipe unary(const char* name, const char* doc) {
    return {name, doc, 1, 1, nullptr, "dd", &guarded<unary_loop<Rule, CostNs>>};
}

template <class Rule, double CostNs>
constexpr UfuncRecipe binary(const char* name, const char* doc) {
    return {name, doc, 2, 1, nullptr, "ddd", &guarded<binary_loop<Rule, CostNs>>};
}

const UfuncRecipe kSpecs[] = {
    unary<kernels::ExpTermRule, cost::kExpRun>(
        "exp_n", "E(x): exp(x), or exp(ln x) above 709.782712893384; as zyl_core.exp_n."),
    unary<kernels::LogTermRule, cost::kLogRun>(
        "ln_n", "L(y): ln|y|, or -690.7755278982137 for y = +-0; as zyl_core.ln_n."),
    unary<kernels::SqrtAbsRule, 0.5>("sqrt_n", "sqrt(|x|); as zyl_core.sqrt_n."),
    unary<kernels::SinRule, cost::kSinCosRun>("sin_n", "sin(x); as zyl_core.sin_n."),
    unary<kernels::CosRule, cost::kSinCosRun>("cos_n", "cos(x); as zyl_core.cos_n."),
    binary<kernels::AddRule, 0.5>("add_n", "a + b; as zyl_core.add_n, broadcasting instead of truncating."),
    binary<kernels::SubRule, 0.5>("sub_n", "a - b; as zyl_core.sub_n, broadcasting instead of truncating."),
    binary<kernels::MulRule, 0.5>("mul_n", "a * b; as zyl_core.mul_n, broadcasting instead of truncating."),
    binary<kernels::DivRule, 0.7>("div_n",
                                  "a / b, NaN where |b| < 1e-300; as zyl_core.div_n, broadcasting instead of "
                                  "truncating."),
    binary<kernels::PowAbsRule, cost::kPowRun>(
        "pow_n", "|base| ** exp; as zyl_core.pow_n, broadcasting instead of truncating."),
    binary<kernels::TensionRule, cost::kTensionRun>(
        "tension_n", "E(x) - L(y); as zyl_core.tension_n, broadcasting instead of truncating."),
};

}  // namespace

std::span<const UfuncRecipe> elementwise_ufuncs() { return kSpecs; }

}  // namespace zyl::py::arrays
