#include "kernels/libm/vector_libm.hpp"

#include <xmmintrin.h>

#include <cmath>
#include <atomic>
#include <mutex>

#include "discover/op_rules.hpp"
#include "kernels/elementwise.hpp"
#include "kernels/libm/self_test.hpp"
#include "tension/guards.hpp"

namespace zyl::kernels::libm {
namespace {

double exp_of(double x) { return std::exp(x); }
double log_of(double x) { return std::log(x); }
double pow_of(double x, double y) { return std::pow(x, y); }
double sin_of(double x) { return std::sin(x); }
double cos_of(double x) { return std::cos(x); }

constexpr UnaryScalar kUnaryScalars[kUnaryCount] = {exp_of, log_of, exp_term, log_term, sin_of, cos_of};
constexpr BinaryScalar kBinaryScalars[kBinaryCount] = {pow_of, pow_abs, tension, discover::rules::zyl};
// Named after the functions of zyl_core that run them.
constexpr const char* kUnaryNames[kUnaryCount] = {"exp", "log", "exp_n", "ln_n", "sin", "cos"};
constexpr const char* kBinaryNames[kBinaryCount] = {"pow", "pow_n", "tension_n", "zyl"};

// What runs one function: the first runnable set whose kernel passes the
// self-test, chosen at the function's first use; none means the scalar one.
// Once `made` is set the choice is read without a lock.
template <class Run>
struct Choice {
    std::atomic<bool> made{false};
    Run kernel = nullptr;
    const char* isa = "scalar";
};

Choice<UnaryRun> unary_choices[kUnaryCount];
Choice<BinaryRun> binary_choices[kBinaryCount];
std::mutex choosing;

// The MXCSR modes the kernels and the library's scalar code both follow:
// rounding (bits 13-14), flush-to-zero (15) and denormals-are-zero (6).
constexpr unsigned kModeBits = 0x6000 | 0x8000 | 0x0040;

// The default modes (round to nearest, subnormals kept) for its lifetime;
// the caller's modes, and exception flags, are restored at its end.
class DefaultModes {
public:
    DefaultModes() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ & ~kModeBits); }
    ~DefaultModes() { _mm_setcsr(saved_); }
    DefaultModes(const DefaultModes&) = delete;
    DefaultModes& operator=(const DefaultModes&) = delete;

private:
    unsigned saved_;
};

// kernel_of(set) is the function's kernel in that set. The self-test runs
// in the only modes the kernels are used in.
template <class Run, class Scalar>
void choose(Choice<Run>& c, auto kernel_of, Scalar scalar, auto make_probes) {
    const auto sets = runnable_kernel_sets();
    if (sets.empty()) return;
    const DefaultModes modes;
    std::vector<Run> candidates;
    for (const IsaKernels* set : sets) candidates.push_back(kernel_of(*set));
    const std::size_t i = first_reproducing(std::span<const Run>(candidates), scalar, make_probes());
    if (i == candidates.size()) return;
    c.kernel = candidates[i];
    c.isa = sets[i]->isa;
}

template <class Run>
const Choice<Run>& made(Choice<Run>& c, auto make) {
    if (!c.made.load(std::memory_order_acquire)) {
        const std::lock_guard<std::mutex> lock(choosing);
        if (!c.made.load(std::memory_order_relaxed)) {
            make();
            c.made.store(true, std::memory_order_release);
        }
    }
    return c;
}

const Choice<UnaryRun>& chosen(Unary f) {
    const auto k = static_cast<std::size_t>(f);
    Choice<UnaryRun>& c = unary_choices[k];
    return made(c, [&] {
        choose(c, [k](const IsaKernels& set) { return set.unary[k]; }, kUnaryScalars[k],
               [f] { return unary_probes(f); });
    });
}

const Choice<BinaryRun>& chosen(Binary f) {
    const auto k = static_cast<std::size_t>(f);
    Choice<BinaryRun>& c = binary_choices[k];
    return made(c, [&] {
        choose(c, [k](const IsaKernels& set) { return set.binary[k]; }, kBinaryScalars[k],
               [f] { return binary_probes(f); });
    });
}

// The kernels run, and are checked, in the default modes only: the
// library's sin and cos switch to round-to-nearest themselves, its other
// functions follow the caller's modes.
bool default_modes() { return (_mm_getcsr() & kModeBits) == 0; }

}  // namespace

std::vector<const IsaKernels*> runnable_kernel_sets() {
    // __builtin_cpu_supports also asks the system whether it saves the
    // registers of each extension.
    std::vector<const IsaKernels*> sets;
#ifdef ZYL_SCALAR_LIBM_ONLY
    return sets;
#endif
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        sets.push_back(&kAvx512Kernels);
    if (avx2) sets.push_back(&kAvx2Kernels);
    return sets;
}

UnaryScalar scalar_function(Unary f) { return kUnaryScalars[static_cast<std::size_t>(f)]; }
BinaryScalar scalar_function(Binary f) { return kBinaryScalars[static_cast<std::size_t>(f)]; }

void run(Unary f, const double* in, double* out, std::size_t n) {
    const auto k = static_cast<std::size_t>(f);
    const UnaryScalar scalar = kUnaryScalars[k];
    if (default_modes())
        if (UnaryRun kernel = chosen(f).kernel) return kernel(in, out, n, scalar);
    for (std::size_t i = 0; i < n; ++i) out[i] = scalar(in[i]);
}

void run(Binary f, const double* a, const double* b, double* out, std::size_t n) {
    const auto k = static_cast<std::size_t>(f);
    const BinaryScalar scalar = kBinaryScalars[k];
    if (default_modes())
        if (BinaryRun kernel = chosen(f).kernel) return kernel(a, b, out, n, scalar);
    for (std::size_t i = 0; i < n; ++i) out[i] = scalar(a[i], b[i]);
}

std::vector<ActiveKernel> active_kernels() {
    std::vector<ActiveKernel> active;
    for (std::size_t f = 0; f < kUnaryCount; ++f) active.push_back({kUnaryNames[f], chosen(static_cast<Unary>(f)).isa});
    for (std::size_t f = 0; f < kBinaryCount; ++f)
        active.push_back({kBinaryNames[f], chosen(static_cast<Binary>(f)).isa});
    return active;
}

}  // namespace zyl::kernels::libm
