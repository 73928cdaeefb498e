// Checks the offsets search.cpp found against the C library's log: for
// every entry, the library's algorithm with that entry (the FMA build's
// operations, in the kernels' order: log_sum.hpp) must give the library's
// bits on random z across the subinterval, both its ends, and several
// exponents k. Prints the differences per entry; every count must be 0.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>

#include "entry.hpp"
#include "kernels/libm/log_sum.hpp"

namespace {

using namespace log_table;
using zyl::kernels::libm::kLogNearOneHigh;
using zyl::kernels::libm::kLogNearOneLow;
using zyl::kernels::libm::log_sum;

constexpr int kDrawsPerExponent = 1 << 14;
// Exponents of x = 2^k z, with k = 0 (away from 1) among them.
constexpr int kExponents[] = {-1022, -600, -3, -1, 0, 1, 2, 9, 700, 1023};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: confirm OFFSETS_FILE\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "r");
    if (in == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    long long offsets[kEntries];
    for (long long& o : offsets) {
        if (std::fscanf(in, "%lld", &o) != 1) {
            std::fprintf(stderr, "%s: fewer than %d offsets\n", argv[1], kEntries);
            return 1;
        }
    }
    std::fclose(in);
    std::mt19937_64 gen(0x6c6f677461626c65);
    long long total = 0, inputs = 0;
    for (int i = 0; i < kEntries; ++i) {
        const double invc = invc_of(i, offsets[i]);
        const double logc = static_cast<double>(log_c(invc));
        const std::uint64_t low = std::bit_cast<std::uint64_t>(subinterval_low(i));
        constexpr std::uint64_t kWidth = std::uint64_t{1} << kIndexShift;
        long long differences = 0, checked = 0;
        for (int k : kExponents) {
            for (int n = 0; n < kDrawsPerExponent + 4; ++n) {
                // Both ends of the subinterval first, then random points.
                const std::uint64_t within = n == 0 ? 0 : n == 1 ? 1 : n == 2 ? kWidth - 2 : n == 3 ? kWidth - 1
                                                                                             : gen() % kWidth;
                const std::uint64_t zbits = low + within;
                const double x = std::bit_cast<double>(zbits + (static_cast<std::uint64_t>(k) << 52));
                if (!std::isnormal(x) || (x >= kLogNearOneLow && x < kLogNearOneHigh)) continue;
                ++checked;
                const auto [hi, tail] = log_sum(x, invc, logc);
                differences += std::bit_cast<std::uint64_t>(tail + hi) !=
                               std::bit_cast<std::uint64_t>(std::log(x));
            }
        }
        std::printf("entry %3d: offset %+11lld, %lld inputs, %lld differences\n", i, offsets[i], checked,
                    differences);
        total += differences;
        inputs += checked;
    }
    std::printf("total: %lld inputs, %lld differences\n", inputs, total);
    return total == 0 ? 0 : 1;
}
