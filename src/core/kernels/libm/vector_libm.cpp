#include "kernels/libm/vector_libm.hpp"

#include <cmath>

#include "kernels/libm/self_test.hpp"

namespace zyl::kernels::libm {
namespace {

double scalar_exp(double x) { return std::exp(x); }
double scalar_log(double x) { return std::log(x); }
double scalar_pow(double x, double y) { return std::pow(x, y); }

struct Choice {
    UnaryRun exp = nullptr;
    UnaryRun log = nullptr;
    BinaryRun pow = nullptr;
    const char* exp_isa = "scalar";
    const char* log_isa = "scalar";
    const char* pow_isa = "scalar";
};

template <class Run, class Scalar, class Probes>
void take_if_reproduces(Run& run, const char*& isa, const IsaKernels& set, Run candidate, Scalar scalar,
                        const Probes& probes) {
    if (run != nullptr || !reproduces(candidate, scalar, probes)) return;
    run = candidate;
    isa = set.isa;
}

// For each function, the first runnable set whose kernel passes.
Choice choose() {
    Choice c;
    const auto sets = runnable_kernel_sets();
    if (sets.empty()) return c;
    const std::vector<double> exp_in = exp_probes(), log_in = log_probes();
    const PairProbes pow_in = pow_probes();
    for (const IsaKernels* set : sets) {
        take_if_reproduces(c.exp, c.exp_isa, *set, set->exp, scalar_exp, exp_in);
        take_if_reproduces(c.log, c.log_isa, *set, set->log, scalar_log, log_in);
        take_if_reproduces(c.pow, c.pow_isa, *set, set->pow, scalar_pow, pow_in);
    }
    return c;
}

const Choice& chosen() {
    static const Choice c = choose();
    return c;
}

}  // namespace

std::vector<const IsaKernels*> runnable_kernel_sets() {
    // __builtin_cpu_supports also asks the system whether it saves the
    // registers of each extension.
    std::vector<const IsaKernels*> sets;
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) sets.push_back(&kAvx512Kernels);
    if (avx2) sets.push_back(&kAvx2Kernels);
    return sets;
}

void exp_array(const double* in, double* out, std::size_t n) {
    if (UnaryRun run = chosen().exp) return run(in, out, n, scalar_exp);
    for (std::size_t i = 0; i < n; ++i) out[i] = std::exp(in[i]);
}

void log_array(const double* in, double* out, std::size_t n) {
    if (UnaryRun run = chosen().log) return run(in, out, n, scalar_log);
    for (std::size_t i = 0; i < n; ++i) out[i] = std::log(in[i]);
}

void pow_array(const double* x, const double* y, double* out, std::size_t n) {
    if (BinaryRun run = chosen().pow) return run(x, y, out, n, scalar_pow);
    for (std::size_t i = 0; i < n; ++i) out[i] = std::pow(x[i], y[i]);
}

std::array<ActiveKernel, 3> active_kernels() {
    const Choice& c = chosen();
    return {{{"exp", c.exp_isa}, {"log", c.log_isa}, {"pow", c.pow_isa}}};
}

}  // namespace zyl::kernels::libm
