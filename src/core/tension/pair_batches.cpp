#include "pair_batches.hpp"

#include <algorithm>

#include "kernels/element_costs.hpp"
#include "pool/serial_for.hpp"

namespace zyl {
namespace {

template <class AngleOf>
std::size_t rotate_each(std::span<const Pair> values, std::size_t n, AngleOf angle_of, std::vector<Pair>& out,
                        const MapControl& control) {
    out.resize(n);
    const MapControl rotations{control.poll, control.poll_ctx, cost::kRotatePhase};
    return serial_for(n, [&](std::size_t k) {
        out[k] = rotate_phase(values[k].real, values[k].imag, angle_of(k));
    }, rotations);
}

}  // namespace

std::size_t rotate_phase_batch(std::span<const Pair> pairs, std::span<const double> angles, std::vector<Pair>& out,
                               const MapControl& control) {
    return rotate_each(pairs, std::min(pairs.size(), angles.size()), [&](std::size_t k) { return angles[k]; }, out,
                       control);
}

std::size_t schrodinger_step_batch(std::span<const Pair> psi, std::span<const double> v, double dt, double hbar,
                                   std::vector<Pair>& out, const MapControl& control) {
    return rotate_each(psi, std::min(psi.size(), v.size()),
                       [&](std::size_t k) { return ((-v[k]) * dt) / hbar; }, out, control);
}

}  // namespace zyl
