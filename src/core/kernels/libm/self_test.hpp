#pragma once
// The check a vector kernel passes before any result of it is used: on a
// fixed set of probes that reaches every branch of the C library's function
// (each table entry, both sides of every threshold, the special values and
// random inputs of every magnitude), the kernel must give the scalar
// function's bits exactly, NaN payloads included. A kernel that differs
// anywhere is never used, so a different C library can never change a
// result: it can only make the vector kernels stand aside.
#include <span>
#include <vector>

#include "kernels/libm/isa_kernels.hpp"

namespace zyl::kernels::libm {

std::vector<double> unary_probes(Unary f);

struct PairProbes {
    std::vector<double> x;
    std::vector<double> y;
};
PairProbes binary_probes(Binary f);

// Whether `run` gives `scalar`'s bits on every probe.
bool reproduces(UnaryRun run, UnaryScalar scalar, std::span<const double> probes);
bool reproduces(BinaryRun run, BinaryScalar scalar, const PairProbes& probes);

// The first candidate (in order of preference) that reproduces `scalar`,
// or its index is candidates.size() when none does.
template <class Run, class Scalar, class Probes>
std::size_t first_reproducing(std::span<const Run> candidates, Scalar scalar, const Probes& probes) {
    std::size_t i = 0;
    while (i < candidates.size() && !reproduces(candidates[i], scalar, probes)) ++i;
    return i;
}

}  // namespace zyl::kernels::libm
