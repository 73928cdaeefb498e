// Every vector kernel against the scalar function it reproduces, on
// `count` inputs per function (10^9 unless given): half random bit
// patterns (every exponent, subnormals, infinities, NaN payloads), half
// random values cycling through the ranges of each of the function's
// branches. Prints the differences per kernel and instruction set; every
// count must be 0. Names after the count (log, pow, ...) check only those
// functions. One thread; run it under nice, it takes minutes.
//
//     cmake -S . -B build/bench -DZYL_BUILD_MODULE=OFF -DZYL_BUILD_BENCH=ON
//     cmake --build build/bench --target verify_vector_libm
//     nice -n 10 build/bench/verify_vector_libm [count [function...]]
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "kernels/libm/vector_libm.hpp"

namespace {

using namespace zyl::kernels::libm;

struct Range {
    double low, high;
};

// Where each function's branches lie (for the binary ones, the first
// argument's range; the second's follows in `second`).
struct Plan {
    const char* name;
    std::vector<Range> first;
    std::vector<Range> second;
};

const Plan kUnaryPlans[kUnaryCount] = {
    {"exp", {{-1.0, 1.0}, {-0x1p-50, 0x1p-50}, {-512.0, 512.0}, {-746.0, -700.0}, {700.0, 712.0}}, {}},
    {"log", {{0.0, 0x1p-1020}, {0.9, 1.1}, {0.5, 4.0}, {1.0, 1e6}, {0.0, 1e300}, {-1.0, 0.0}}, {}},
    {"exp_n", {{-800.0, 800.0}, {700.0, 1e300}, {-1.0, 1.0}}, {}},
    {"ln_n", {{-3.0, 3.0}, {-1e-300, 1e-300}, {0.93, 1.07}}, {}},
    {"sin", {{-0x1p-9, 0x1p-9}, {-0.86, 0.86}, {-2.5, 2.5}, {-1e3, 1e3}, {-6e5, 6e5}}, {}},
    {"cos", {{-0x1p-9, 0x1p-9}, {-0.86, 0.86}, {-2.5, 2.5}, {-1e3, 1e3}, {-6e5, 6e5}}, {}},
};

const Plan kBinaryPlans[kBinaryCount] = {
    {"pow", {{0.0, 4.0}, {0.999, 1.001}, {0.0, 1e10}, {0.0, 0x1p-1020}}, {{-40.0, 40.0}, {-1e6, 1e6}, {-3.0, 3.0}}},
    {"pow_n", {{-4.0, 4.0}, {-1e10, 1e10}}, {{-40.0, 40.0}, {-2.0, 2.0}}},
    {"tension_n", {{-800.0, 800.0}, {-1.0, 1.0}}, {{-3.0, 3.0}, {-1e-300, 1e-300}}},
    {"zyl", {{-800.0, 800.0}, {-1.0, 1.0}}, {{-3.0, 3.0}, {-1e-299, 1e-299}}},
};

// Inputs i of a chunk: random bits for even i, for odd i a value uniform
// over the next range of the plan.
void fill(std::mt19937_64& gen, const std::vector<Range>& ranges, std::vector<double>& out) {
    std::size_t r = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i % 2 == 0) {
            out[i] = std::bit_cast<double>(gen());
        } else {
            const Range& range = ranges[r++ % ranges.size()];
            out[i] = std::uniform_real_distribution<double>(range.low, range.high)(gen);
        }
    }
}

// The scalar function a unary kernel is checked against, called through
// counted() so that the share of lanes the kernel leaves to it is known.
UnaryScalar g_scalar = nullptr;
std::uint64_t g_scalar_calls = 0;
double counted(double x) {
    ++g_scalar_calls;
    return g_scalar(x);
}

std::uint64_t differences(const std::vector<double>& got, const std::vector<double>& want) {
    std::uint64_t d = 0;
    for (std::size_t i = 0; i < got.size(); ++i)
        d += std::bit_cast<std::uint64_t>(got[i]) != std::bit_cast<std::uint64_t>(want[i]);
    return d;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000'000ull;
    const std::vector<std::string> names(argv + std::min(argc, 2), argv + argc);
    auto wanted = [&](const char* name) { return names.empty() || std::find(names.begin(), names.end(), name) != names.end(); };
    constexpr std::size_t kChunk = 1 << 16;
    const auto sets = runnable_kernel_sets();
    std::printf("%llu inputs per function; instruction sets:", static_cast<unsigned long long>(count));
    for (const IsaKernels* s : sets) std::printf(" %s", s->isa);
    std::printf("\n");
    std::uint64_t total_inputs = 0, total_differences = 0;
    auto report = [&](const char* name, const char* isa, std::uint64_t diff, double seconds) {
        std::printf("%-10s %-7s %llu inputs, %llu differences (%.0f s)\n", name, isa,
                    static_cast<unsigned long long>(count), static_cast<unsigned long long>(diff), seconds);
        std::fflush(stdout);
        total_inputs += count;
        total_differences += diff;
    };
    std::vector<double> x(kChunk), y(kChunk), want(kChunk), got(kChunk);
    for (std::size_t f = 0; f < kUnaryCount; ++f) {
        if (!wanted(kUnaryPlans[f].name)) continue;
        const auto t0 = std::chrono::steady_clock::now();
        std::mt19937_64 gen(1000 + f);
        std::vector<std::uint64_t> diff(sets.size()), calls(sets.size());
        const UnaryScalar scalar = scalar_function(static_cast<Unary>(f));
        g_scalar = scalar;
        for (std::uint64_t done = 0; done < count; done += kChunk) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, count - done));
            x.resize(n), want.resize(n), got.resize(n);
            fill(gen, kUnaryPlans[f].first, x);
            for (std::size_t i = 0; i < n; ++i) want[i] = scalar(x[i]);
            for (std::size_t s = 0; s < sets.size(); ++s) {
                g_scalar_calls = 0;
                sets[s]->unary[f](x.data(), got.data(), n, &counted);
                calls[s] += g_scalar_calls;
                diff[s] += differences(got, want);
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        for (std::size_t s = 0; s < sets.size(); ++s) {
            report(kUnaryPlans[f].name, sets[s]->isa, diff[s], seconds);
            std::printf("%-10s %-7s %.2f%% of the inputs left to the scalar function\n", "", sets[s]->isa,
                        100.0 * static_cast<double>(calls[s]) / static_cast<double>(count));
        }
    }
    for (std::size_t f = 0; f < kBinaryCount; ++f) {
        if (!wanted(kBinaryPlans[f].name)) continue;
        const auto t0 = std::chrono::steady_clock::now();
        std::mt19937_64 gen(2000 + f);
        std::vector<std::uint64_t> diff(sets.size());
        const BinaryScalar scalar = scalar_function(static_cast<Binary>(f));
        for (std::uint64_t done = 0; done < count; done += kChunk) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, count - done));
            x.resize(n), y.resize(n), want.resize(n), got.resize(n);
            fill(gen, kBinaryPlans[f].first, x);
            fill(gen, kBinaryPlans[f].second, y);
            for (std::size_t i = 0; i < n; ++i) want[i] = scalar(x[i], y[i]);
            for (std::size_t s = 0; s < sets.size(); ++s) {
                sets[s]->binary[f](x.data(), y.data(), got.data(), n, scalar);
                diff[s] += differences(got, want);
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        for (std::size_t s = 0; s < sets.size(); ++s) report(kBinaryPlans[f].name, sets[s]->isa, diff[s], seconds);
    }
    std::printf("total: %llu kernel-input comparisons, %llu differences\n",
                static_cast<unsigned long long>(total_inputs), static_cast<unsigned long long>(total_differences));
    return total_differences == 0 ? 0 : 1;
}
