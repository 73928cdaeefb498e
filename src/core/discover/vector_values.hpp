#pragma once
// The values of the operations that call exp, log, sin and cos, over runs
// of samples, from the vector kernels (kernels/libm/vector_libm.hpp): out[i]
// is rules::value<op>(a[i], b[i]) bit for bit. out may be an input.
#include <cstddef>

#include "expr.hpp"
#include "kernels/libm/vector_libm.hpp"

namespace zyl::discover {

template <Op op>
inline constexpr bool kHasVectorValues =
    op == Op::Exp || op == Op::Ln || op == Op::Zyl || op == Op::Sin || op == Op::Cos;

// Runs shorter than this cost more in the call than they save.
inline constexpr std::size_t kVectorValuesMin = 4;

template <Op op>
    requires kHasVectorValues<op>
void vector_values(const double* a, const double* b, double* out, std::size_t n) {
    using kernels::libm::run;
    if constexpr (op == Op::Exp) run(kernels::libm::Unary::Exp, a, out, n);
    if constexpr (op == Op::Ln) run(kernels::libm::Unary::Log, a, out, n);
    if constexpr (op == Op::Zyl) run(kernels::libm::Binary::Zyl, a, b, out, n);
    if constexpr (op == Op::Sin) run(kernels::libm::Unary::Sin, a, out, n);
    if constexpr (op == Op::Cos) run(kernels::libm::Unary::Cos, a, out, n);
}

}  // namespace zyl::discover
