// Generalized ufuncs over (x, y) and (real, imag) pairs, the last axis of
// length 2: the Lorentz boost and the two phase rotations.
#include "catalog.hpp"
#include "inner_loop.hpp"
#include "strided.hpp"
#include "tension/guards.hpp"
#include "tension/pair.hpp"

namespace zyl::py::arrays {
namespace {

// Operands of one element: the pair in, the scalars, the pair out. numpy's
// steps list the outer strides of every operand, then the stride along the
// pair axis of the input and of the output.
template <int NScalars, class Rule>
int pair_loop(char* const* data, const npy_intp* dims, const npy_intp* steps, double cost_ns, Rule rule) {
    constexpr int kOut = 1 + NScalars;
    const auto n = static_cast<std::size_t>(dims[0]);
    const npy_intp in_axis = steps[kOut + 1], out_axis = steps[kOut + 2];
    return run_elements(n, cost_ns, true, [=](std::size_t i) {
        char* in = data[0] + static_cast<npy_intp>(i) * steps[0];
        double scalars[NScalars];
        for (int k = 0; k < NScalars; ++k) scalars[k] = at(data[1 + k], i, steps[1 + k]);
        const Pair result = rule(at(in, 0, in_axis), at(in, 1, in_axis), scalars);
        char* out = data[kOut] + static_cast<npy_intp>(i) * steps[kOut];
        at(out, 0, out_axis) = result.real;
        at(out, 1, out_axis) = result.imag;
    });
}

int boost_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
               NpyAuxData*) {
    return pair_loop<2>(data, dims, steps, 60.0, [](double x, double y, const double* phi_c) {
        const BoostedPoint b = boost(x, y, phi_c[0], phi_c[1]);
        return Pair{b.x, b.y};
    });
}

int rotate_phase_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
                      NpyAuxData*) {
    return pair_loop<1>(data, dims, steps, 20.0,
                        [](double re, double im, const double* angle) { return rotate_phase(re, im, angle[0]); });
}

int schrodinger_step_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
                          NpyAuxData*) {
    return pair_loop<3>(data, dims, steps, 20.0, [](double re, double im, const double* v_dt_hbar) {
        return rotate_phase(re, im, ((-v_dt_hbar[0]) * v_dt_hbar[1]) / v_dt_hbar[2]);
    });
}

const UfuncRecipe kSpecs[] = {
    {"boost_n",
     "Lorentz boost of points (..., 2) = (x, y) by rapidities phis with speed c; returns (..., 2) = (x', y'), "
     "as zyl_core.boost_n.",
     3, 1, "(2),(),()->(2)", "dddd", &guarded<boost_loop>},
    {"rotate_phase_n",
     "Rotates pairs (..., 2) = (real, imag) by angles; returns (..., 2), as zyl_core.rotate_phase_n.", 2, 1,
     "(2),()->(2)", "ddd", &guarded<rotate_phase_loop>},
    {"schrodinger_step_n",
     "Potential-phase step psi -> exp(-i v dt / hbar) psi of samples psi (..., 2) = (real, imag); returns "
     "(..., 2), as zyl_core.schrodinger_step_n.",
     4, 1, "(2),(),(),()->(2)", "ddddd", &guarded<schrodinger_step_loop>},
};

}  // namespace

std::span<const UfuncRecipe> pair_ufuncs() { return kSpecs; }

}  // namespace zyl::py::arrays
