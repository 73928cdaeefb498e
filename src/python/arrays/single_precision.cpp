#include "single_precision.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "inner_loop.hpp"
#include "strided.hpp"
#include "ufunc_factory.hpp"

namespace zyl::py::arrays {
namespace {

// Widened operands are processed in blocks of about this many float64 values
// in all: large enough for the float64 loop to hand a block to the pool,
// small enough to stay in the cache.
constexpr npy_intp kBlockValues = npy_intp{1} << 17;

// Where the values of one element of an operand lie: `count` of them,
// `core_step` bytes apart (one value for an element-wise operand).
struct Operand {
    bool widened;  // float32 in the caller's arrays, float64 in the buffer
    npy_intp count;
    npy_intp core_step;
};

// How the float64 loop sees one block: each widened operand a contiguous
// run of float64 values, element after element; the others as given.
struct BlockLayout {
    std::array<Operand, kMaxOperands> operands{};
    std::array<npy_intp, 1 + kMaxOperands> dims{};
    std::array<npy_intp, 2 * kMaxOperands> steps{};
    npy_intp values_per_element = 0;
};

BlockLayout layout_of(const UfuncRecipe& recipe, const PyUFuncObject* ufunc, const npy_intp* dims,
                      const npy_intp* steps) {
    BlockLayout block;
    const int nargs = recipe.nin + recipe.nout;
    const bool generalized = ufunc->core_enabled != 0;
    int core_step = nargs;  // numpy lists the core strides after the outer ones
    for (int k = 0; k < nargs; ++k) {
        Operand& op = block.operands[static_cast<std::size_t>(k)];
        op = {recipe.dtypes[k] == 'd', 1, 0};
        const bool has_core = generalized && ufunc->core_num_dims[k] == 1;
        if (has_core) {
            op.count = dims[1 + ufunc->core_dim_ixs[ufunc->core_offsets[k]]];
            op.core_step = steps[core_step];
        }
        if (op.widened) block.values_per_element += op.count;
        block.steps[static_cast<std::size_t>(k)] = op.widened ? op.count * npy_intp{sizeof(double)} : steps[k];
        if (has_core)
            block.steps[static_cast<std::size_t>(core_step++)] = op.widened ? npy_intp{sizeof(double)} : op.core_step;
    }
    if (generalized) std::copy(dims + 1, dims + 1 + ufunc->core_num_dim_ix, block.dims.begin() + 1);
    return block;
}

// Copies `len` elements of a float32 operand, starting at `first`, into the
// buffer as float64 (exact), and results back rounded once to float32.
void widen(const Operand& op, char* first, npy_intp step, npy_intp len, double* out) {
    for (npy_intp i = 0; i < len; ++i)
        for (npy_intp c = 0; c < op.count; ++c)
            out[i * op.count + c] = at<float>(first + i * step, static_cast<std::size_t>(c), op.core_step);
}

void round_back(const Operand& op, const double* values, npy_intp len, char* first, npy_intp step) {
    for (npy_intp i = 0; i < len; ++i)
        for (npy_intp c = 0; c < op.count; ++c)
            at<float>(first + i * step, static_cast<std::size_t>(c), op.core_step) =
                static_cast<float>(values[i * op.count + c]);
}

}  // namespace

int single_precision_loop(PyArrayMethod_Context* context, char* const* data, const npy_intp* dims,
                          const npy_intp* steps, NpyAuxData* aux) {
    const UfuncRecipe& recipe = *recipe_of(context->caller);
    const auto* ufunc = reinterpret_cast<const PyUFuncObject*>(context->caller);
    const int nargs = recipe.nin + recipe.nout;
    BlockLayout block = layout_of(recipe, ufunc, dims, steps);

    // A reduction or accumulation reads what the element before wrote: it
    // goes one element at a time, so that each reads the rounded result.
    const npy_intp n = dims[0];
    const bool independent =
        ufunc->core_enabled != 0 || elements_independent(data, dims, steps, recipe.nin, recipe.nout);
    const npy_intp per_block =
        independent ? std::max<npy_intp>(1, kBlockValues / std::max<npy_intp>(1, block.values_per_element)) : 1;
    std::vector<double> buffer(
        static_cast<std::size_t>(std::min(per_block, std::max<npy_intp>(n, 1)) * block.values_per_element));

    std::array<char*, kMaxOperands> block_data{};
    for (npy_intp begin = 0; begin < n; begin += per_block) {
        const npy_intp len = std::min(per_block, n - begin);
        double* unused = buffer.data();
        for (int k = 0; k < nargs; ++k) {
            const Operand& op = block.operands[static_cast<std::size_t>(k)];
            char* first = data[k] + begin * steps[k];
            block_data[static_cast<std::size_t>(k)] = op.widened ? reinterpret_cast<char*>(unused) : first;
            if (!op.widened) continue;
            if (k < recipe.nin) widen(op, first, steps[k], len, unused);
            unused += len * op.count;
        }
        block.dims[0] = len;
        const int status = recipe.loop(context, block_data.data(), block.dims.data(), block.steps.data(), aux);
        if (status != 0) return status;
        for (int k = recipe.nin; k < nargs; ++k) {
            const Operand& op = block.operands[static_cast<std::size_t>(k)];
            if (op.widened)
                round_back(op, reinterpret_cast<const double*>(block_data[static_cast<std::size_t>(k)]), len,
                           data[k] + begin * steps[k], steps[k]);
        }
    }
    return 0;
}

}  // namespace zyl::py::arrays
