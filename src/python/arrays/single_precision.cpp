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

// Where operand k's values of one element lie: `count` values `core_step`
// bytes apart (count 1 for an element-wise operand).
struct Operand {
    bool widened;  // float32 in the caller's arrays, float64 in the buffer
    npy_intp count;
    npy_intp core_step;
};

}  // namespace

int single_precision_loop(PyArrayMethod_Context* context, char* const* data, const npy_intp* dims,
                          const npy_intp* steps, NpyAuxData* aux) {
    const UfuncRecipe& recipe = *recipe_of(context->caller);
    auto* ufunc = reinterpret_cast<PyUFuncObject*>(context->caller);
    const int nargs = recipe.nin + recipe.nout;
    std::array<Operand, kMaxOperands> operands{};
    std::array<npy_intp, 1 + kMaxOperands> block_dims{};
    std::array<npy_intp, 2 * kMaxOperands> block_steps{};
    int core_step_index = nargs;
    npy_intp values_per_element = 0;
    for (int k = 0; k < nargs; ++k) {
        Operand& op = operands[static_cast<std::size_t>(k)];
        op = {recipe.dtypes[k] == 'd', 1, 0};
        const bool has_core = ufunc->core_enabled != 0 && ufunc->core_num_dims[k] == 1;
        if (has_core) {
            op.count = dims[1 + ufunc->core_dim_ixs[ufunc->core_offsets[k]]];
            op.core_step = steps[core_step_index];
        }
        if (op.widened) values_per_element += op.count;
        block_steps[static_cast<std::size_t>(k)] = op.widened ? op.count * npy_intp{sizeof(double)} : steps[k];
        if (has_core)
            block_steps[static_cast<std::size_t>(core_step_index++)] = op.widened ? npy_intp{sizeof(double)} : op.core_step;
    }
    if (ufunc->core_enabled != 0)
        std::copy(dims + 1, dims + 1 + ufunc->core_num_dim_ix, block_dims.begin() + 1);

    // A reduction or accumulation reads what the element before wrote: it
    // goes one element at a time, so each reads the rounded result before it.
    const npy_intp n = dims[0];
    const bool independent =
        ufunc->core_enabled != 0 || elements_independent(data, dims, steps, recipe.nin, recipe.nout);
    const npy_intp block = independent ? std::max<npy_intp>(1, kBlockValues / std::max<npy_intp>(1, values_per_element)) : 1;
    std::vector<double> buffer(static_cast<std::size_t>(std::min(block, std::max<npy_intp>(n, 1)) * values_per_element));

    std::array<char*, kMaxOperands> block_data{};
    for (npy_intp begin = 0; begin < n; begin += block) {
        const npy_intp len = std::min(block, n - begin);
        double* free = buffer.data();
        for (int k = 0; k < nargs; ++k) {
            const Operand& op = operands[static_cast<std::size_t>(k)];
            char* first = data[k] + begin * steps[k];
            if (!op.widened) {
                block_data[static_cast<std::size_t>(k)] = first;
                continue;
            }
            block_data[static_cast<std::size_t>(k)] = reinterpret_cast<char*>(free);
            if (k < recipe.nin)
                for (npy_intp i = 0; i < len; ++i)
                    for (npy_intp c = 0; c < op.count; ++c)
                        free[i * op.count + c] = at<float>(first + i * steps[k], static_cast<std::size_t>(c), op.core_step);
            free += len * op.count;
        }
        block_dims[0] = len;
        const int status = recipe.loop(context, block_data.data(), block_dims.data(), block_steps.data(), aux);
        if (status != 0) return status;
        for (int k = recipe.nin; k < nargs; ++k) {
            const Operand& op = operands[static_cast<std::size_t>(k)];
            if (!op.widened) continue;
            const auto* values = reinterpret_cast<const double*>(block_data[static_cast<std::size_t>(k)]);
            char* first = data[k] + begin * steps[k];
            for (npy_intp i = 0; i < len; ++i)
                for (npy_intp c = 0; c < op.count; ++c)
                    at<float>(first + i * steps[k], static_cast<std::size_t>(c), op.core_step) =
                        static_cast<float>(values[i * op.count + c]);
        }
    }
    return 0;
}

}  // namespace zyl::py::arrays
