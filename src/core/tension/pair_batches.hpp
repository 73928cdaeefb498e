#pragma once
// Serial phase-rotation batches over (real, imag) couples. Both stop at the
// shorter input; `out` is resized once to that length and filled in order,
// on the calling thread, asking control.poll every millisecond or so. Both
// return the number of results, or kCancelled (out is then incomplete).
#include <span>
#include <vector>

#include "pool/worker_pool.hpp"
#include "tension/pair.hpp"

namespace zyl {

// out[k] = pairs[k] rotated by angles[k].
std::size_t rotate_phase_batch(std::span<const Pair> pairs, std::span<const double> angles, std::vector<Pair>& out,
                               const MapControl& control = {});

// out[k] = psi[k] rotated by ((-v[k]) * dt) / hbar, in that order; hbar is not
// guarded and the angle is not reduced.
std::size_t schrodinger_step_batch(std::span<const Pair> psi, std::span<const double> v, double dt, double hbar,
                                   std::vector<Pair>& out, const MapControl& control = {});

}  // namespace zyl
