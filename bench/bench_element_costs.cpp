// What one element of each batch rule costs on the calling thread, and what
// handing a tiny job to the worker pool costs (workers hot, and asleep).
// The constants of src/core/kernels/element_costs.hpp come from this.
//
//     cmake -S . -B build/bench -DZYL_BUILD_MODULE=OFF -DZYL_BUILD_BENCH=ON
//     cmake --build build/bench --target bench_element_costs && build/bench/bench_element_costs
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "algebra/christoffel.hpp"
#include "algebra/multivector.hpp"
#include "algebra/octonion.hpp"
#include "kernels/elementwise.hpp"
#include "kernels/libm/vector_libm.hpp"
#include "tension/guards.hpp"
#include "tension/pair.hpp"
#include "tension/point.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kN = 1 << 16;

volatile double g_sink;

// Median nanoseconds per element of f(i) over kN elements.
template <class F>
double ns_per_element(F f, std::size_t n = kN, int repeats = 15) {
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        double acc = 0.0;
        auto t0 = Clock::now();
        for (std::size_t i = 0; i < n; ++i) acc += f(i);
        auto t1 = Clock::now();
        g_sink = acc;
        times.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() / double(n));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median microseconds of a pool.run over `n` trivial elements; with
// `asleep` the workers are given time to fall asleep before each run.
double handoff_us(std::size_t n, bool asleep) {
    std::vector<double> out(n);
    zyl::MapControl control;  // unknown cost: always handed off when n > 1
    std::vector<double> times;
    for (int r = 0; r < 41; ++r) {
        if (asleep) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        auto t0 = Clock::now();
        zyl::parallel_for(n, [&](std::size_t i) { out[i] = double(i); }, control);
        auto t1 = Clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> wide(-20.0, 20.0), pos(0.1, 20.0), unit(-1.0, 1.0), small(-2.0, 2.0);
    std::vector<double> xs(kN), ps(kN), ss(kN);
    for (std::size_t i = 0; i < kN; ++i) {
        xs[i] = wide(rng);
        ps[i] = pos(rng);
        ss[i] = small(rng);
    }
    std::vector<zyl::Octonion> octs(kN);
    for (auto& o : octs)
        for (double& v : o) v = unit(rng);

    namespace k = zyl::kernels;
    std::printf("element costs, ns per element (median of 15 runs over %zu elements)\n", kN);
    auto row = [](const char* name, double ns) { std::printf("  %-22s %8.2f\n", name, ns); };
    row("exp_term", ns_per_element([&](std::size_t i) { return zyl::exp_term(xs[i]); }));
    row("log_term", ns_per_element([&](std::size_t i) { return zyl::log_term(ps[i]); }));
    row("sqrt_abs", ns_per_element([&](std::size_t i) { return k::sqrt_abs(ps[i]); }));
    row("sin", ns_per_element([&](std::size_t i) { return k::sin(xs[i]); }));
    row("cos", ns_per_element([&](std::size_t i) { return k::cos(xs[i]); }));
    row("add", ns_per_element([&](std::size_t i) { return k::add(xs[i], ps[i]); }));
    row("div", ns_per_element([&](std::size_t i) { return k::div(xs[i], ps[i]); }));
    row("pow_abs", ns_per_element([&](std::size_t i) { return k::pow_abs(ps[i], ss[i]); }));
    row("tension", ns_per_element([&](std::size_t i) { return zyl::tension(xs[i], ps[i]); }));
    row("boost", ns_per_element([&](std::size_t i) { return zyl::boost(xs[i], ps[i], ss[i], 1.5).x; }));
    row("rotate_phase", ns_per_element([&](std::size_t i) { return zyl::rotate_phase(xs[i], ps[i], xs[i]).real; }));
    zyl::Point p{0.1, 1.2};
    row("mirror_pulse+tension", ns_per_element([&](std::size_t) {
            p = zyl::mirror_pulse(p);
            return zyl::tension(p.x, p.y);
        }));
    // The contiguous runs of the rules with vector kernels, per element.
    std::vector<double> out(kN);
    namespace libm = zyl::kernels::libm;
    auto run_row = [&](const char* name, auto run) {
        row(name, ns_per_element([&](std::size_t i) {
                if (i == 0) run();
                return out[i];
            }));
    };
    run_row("exp_n run", [&] { libm::run(libm::Unary::ExpTerm, xs.data(), out.data(), kN); });
    run_row("ln_n run", [&] { libm::run(libm::Unary::LogTerm, ps.data(), out.data(), kN); });
    run_row("sin_n run", [&] { libm::run(libm::Unary::Sin, xs.data(), out.data(), kN); });
    run_row("pow_n run", [&] { libm::run(libm::Binary::PowAbs, ps.data(), ss.data(), out.data(), kN); });
    run_row("tension_n run", [&] { libm::run(libm::Binary::Tension, xs.data(), ps.data(), out.data(), kN); });
    row("octonion_mul", ns_per_element([&](std::size_t i) { return zyl::octonion_mul(octs[i], octs[kN - 1 - i])[3]; }));
    row("christoffel t_tr", ns_per_element([&](std::size_t i) { return zyl::christoffel(xs[i], 0, 0, 1, 0.5); }));
    const std::int8_t sig[] = {1, 1, -1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (std::size_t len : {8u, 64u, 1024u}) {
        std::vector<double> a(len), b(len), r;
        for (std::size_t i = 0; i < len; ++i) {
            a[i] = unit(rng);
            b[i] = unit(rng);
        }
        std::size_t n = std::max<std::size_t>(1, kN / (len * len) * 16);
        double per_pair = ns_per_element([&](std::size_t) {
            zyl::geometric_product(a, b, sig, r);
            return r[0];
        }, n, 9);
        std::printf("  geometric_product L=%-4zu %8.2f per pair, %6.3f per term (L^2)\n", len, per_pair,
                    per_pair / double(len * len));
    }

    std::printf("\nhand-off of a trivial map to the pool, microseconds (median of 41)\n");
    for (std::size_t n : {2u, 64u}) {
        std::printf("  n=%-4zu workers hot %7.2f   workers asleep %7.2f\n", n, handoff_us(n, false),
                    handoff_us(n, true));
    }
}
