// The serial batch functions of the tension plane: phase rotations of
// (real, imag) tuples and the pulse trajectory. None of them uses the worker
// pool; each converts everything, runs one loop that lets signal handlers run
// every millisecond or so, then builds the list. An empty result means a
// handler raised (its exception is set).
#include <array>
#include <cstddef>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "interrupt.hpp"
#include "method_adapters.hpp"
#include "panic.hpp"
#include "rows.hpp"
#include "tension/knot.hpp"
#include "tension/pair_batches.hpp"

namespace zyl::py {
namespace {

// Couples and pairs hold the same two doubles; they are copied member-wise,
// not reinterpreted.
template <class To, class From>
std::vector<To> copy_as(const std::vector<From>& in) {
    std::vector<To> out;
    out.reserve(in.size());
    for (const auto& [a, b] : in) out.push_back(To{a, b});
    return out;
}

std::optional<std::vector<Couple>> rotate_phases(const std::vector<Couple>& pairs,
                                                 const std::vector<double>& angles) {
    std::vector<Pair> out;
    if (rotate_phase_batch(copy_as<Pair>(pairs), angles, out, interruptible()) == kCancelled) return std::nullopt;
    return copy_as<Couple>(out);
}

std::optional<std::vector<Couple>> schrodinger_step(const std::vector<Couple>& psi, const std::vector<double>& v,
                                                    double dt, double hbar) {
    std::vector<Pair> out;
    if (schrodinger_step_batch(copy_as<Pair>(psi), v, dt, hbar, out, interruptible()) == kCancelled)
        return std::nullopt;
    return copy_as<Couple>(out);
}

// A trajectory longer than a vector can address is reported like any other
// allocation that cannot be satisfied: MemoryError, not an internal failure.
std::optional<std::vector<std::array<double, 3>>> trajectory(double x0, double y0, std::size_t n_pulses) {
    std::vector<std::array<double, 3>> out;
    try {
        if (simulate_pulses(x0, y0, n_pulses, out, interruptible()) == kCancelled) return std::nullopt;
    } catch (const std::length_error&) {
        throw std::bad_alloc();
    }
    return out;
}

constexpr const char* kRotateParams[] = {"pairs", "angles"};
constexpr Signature kRotate = required("rotate_phase_n", kRotateParams);
constexpr const char* kSchrodingerParams[] = {"psi", "v", "dt", "hbar"};
constexpr Signature kSchrodinger = required("schrodinger_step_n", kSchrodingerParams);
constexpr const char* kSimulateParams[] = {"x0", "y0", "n_pulses"};
constexpr Signature kSimulate = required("simulate_pulses_n", kSimulateParams);

}  // namespace

PyMethodDef rotate_phase_n_def = {
    "rotate_phase_n", fastcall<&function<kRotate, &rotate_phases>>(), METH_FASTCALL | METH_KEYWORDS,
    "rotate_phase_n(pairs, angles)\n--\n\nBatch rotate_phase for a list of ZYLPairs."};

PyMethodDef schrodinger_step_n_def = {
    "schrodinger_step_n", fastcall<&function<kSchrodinger, &schrodinger_step>>(), METH_FASTCALL | METH_KEYWORDS,
    "schrodinger_step_n(psi, v, dt, hbar)\n--\n\nBatch Schrödinger potential-phase step: ψ_n → "
    "e^{-iV_n·dt/ħ}·ψ_n for all n.\nReturns list of (real, imag) tuples."};

PyMethodDef simulate_pulses_n_def = {
    "simulate_pulses_n", fastcall<&function<kSimulate, &trajectory>>(), METH_FASTCALL | METH_KEYWORDS,
    "simulate_pulses_n(x0, y0, n_pulses)\n--\n\nSimulate n_pulses of mirror_pulse, returning (x, y, tension) per "
    "step."};

}  // namespace zyl::py
