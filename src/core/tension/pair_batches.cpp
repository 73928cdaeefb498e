#include "pair_batches.hpp"

#include <algorithm>

namespace zyl {
namespace {

template <class AngleOf>
void rotate_each(std::span<const Pair> values, std::size_t n, AngleOf angle_of, std::vector<Pair>& out) {
    out.resize(n);
    for (std::size_t k = 0; k < n; ++k) out[k] = rotate_phase(values[k].real, values[k].imag, angle_of(k));
}

}  // namespace

void rotate_phase_batch(std::span<const Pair> pairs, std::span<const double> angles, std::vector<Pair>& out) {
    rotate_each(pairs, std::min(pairs.size(), angles.size()), [&](std::size_t k) { return angles[k]; }, out);
}

void schrodinger_step_batch(std::span<const Pair> psi, std::span<const double> v, double dt, double hbar,
                            std::vector<Pair>& out) {
    rotate_each(psi, std::min(psi.size(), v.size()), [&](std::size_t k) { return ((-v[k]) * dt) / hbar; }, out);
}

}  // namespace zyl
