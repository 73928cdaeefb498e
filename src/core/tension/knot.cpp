#include "knot.hpp"

#include <cmath>
#include <stdexcept>

#include "format/number_format.hpp"
#include "kernels/element_costs.hpp"
#include "pool/serial_for.hpp"

namespace zyl {

Knot make_knot(Point p, std::int64_t n, double theta) { return {p.x, p.y, n, std::fmod(theta, kFullTurn)}; }

Knot mirror_pulse(const Knot& k) {
    Point next = mirror_pulse(Point{k.x, k.y});
    // Unsigned addition wraps; converting back is modular since C++20.
    auto count = static_cast<std::int64_t>(static_cast<std::uint64_t>(k.flip_count) + 1u);
    return {next.x, next.y, count, std::fmod(k.phase + kQuarterTurn, kFullTurn)};
}

Knot three_one_flip(const Knot& k) { return mirror_pulse(mirror_pulse(mirror_pulse(mirror_pulse(k)))); }

std::string knot_repr(const Knot& k) {
    std::string out = "ZYLKnot(n=" + std::to_string(k.flip_count) + ", rho=";
    append_fixed(out, rho(k), 6);
    out += ", theta=";
    append_fixed(out, k.phase, 4);
    out += ", point=" + point_debug(Point{k.x, k.y}) + ')';
    return out;
}

std::size_t simulate_pulses(double x0, double y0, std::size_t n_pulses, std::vector<std::array<double, 3>>& out,
                            const MapControl& control) {
    out.clear();
    // Checked before adding one, which would wrap for SIZE_MAX.
    if (n_pulses >= out.max_size()) throw std::length_error("simulate_pulses: too many pulses");
    out.reserve(n_pulses + 1);
    Point p{x0, y0};
    out.push_back({p.x, p.y, tension(p.x, p.y)});
    const MapControl steps{control.poll, control.poll_ctx, cost::kPulse};
    const std::size_t done = serial_for(n_pulses, [&](std::size_t) {
        p = mirror_pulse(p);
        out.push_back({p.x, p.y, tension(p.x, p.y)});
    }, steps);
    return done == kCancelled ? kCancelled : out.size();
}

}  // namespace zyl
