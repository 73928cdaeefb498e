// Checks the offsets search.cpp found against the C library's log: for
// every entry, the library's algorithm with that entry (the FMA build's
// operations, the order lanes.hpp takes them in) must give the library's
// bits on random z across the subinterval, both its ends, and several
// exponents k. Prints the differences per entry; every count must be 0.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>

#include "entry.hpp"
#include "kernels/libm/tables.hpp"

namespace {

using namespace log_table;
using zyl::kernels::libm::kLn2Hi;
using zyl::kernels::libm::kLn2Lo;
using zyl::kernels::libm::kLogA;
using zyl::kernels::libm::kLogNearOneHigh;
using zyl::kernels::libm::kLogNearOneLow;

constexpr int kDrawsPerExponent = 1 << 14;
// Exponents of x = 2^k z, with k = 0 (away from 1) among them.
constexpr int kExponents[] = {-1022, -600, -3, -1, 0, 1, 2, 9, 700, 1023};

// The library's log of a positive normal x outside the near-1 range, with
// the entry (invc, logc) for x's subinterval.
double table_log(double x, double invc, double logc) {
    const std::uint64_t ix = std::bit_cast<std::uint64_t>(x);
    const std::uint64_t tmp = ix - kOffset;
    const double k = static_cast<double>(static_cast<std::int64_t>(tmp) >> 52);
    const double z = std::bit_cast<double>(ix - (tmp & 0xfff0000000000000));
    const double r = std::fma(z, invc, -1.0);
    const double w = std::fma(k, kLn2Hi, logc);
    const double hi = w + r;
    const double lo = std::fma(k, kLn2Lo, (w - hi) + r);
    const double r2 = r * r;
    const double p = std::fma(r2, std::fma(r, kLogA[4], kLogA[3]), std::fma(r, kLogA[2], kLogA[1]));
    return std::fma(r * r2, p, std::fma(r2, kLogA[0], lo)) + hi;
}

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
                differences += std::bit_cast<std::uint64_t>(table_log(x, invc, logc)) !=
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
