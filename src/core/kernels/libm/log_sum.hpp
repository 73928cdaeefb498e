#pragma once
// The C library's log away from 1 for one double, operation for operation
// as table_log (lanes.hpp) takes it, stopped before the last rounding:
// log(x) = tail + hi rounded. The self-test uses it to find inputs whose
// log lies next to a midpoint between doubles, and bench/log_table's
// confirmation to try table entries one at a time.
#include <bit>
#include <cmath>
#include <cstdint>

#include "kernels/libm/tables.hpp"

namespace zyl::kernels::libm {

struct LogSum {
    double hi;
    double tail;
};

// For positive normal x outside the near-1 range, with the entry (invc,
// logc) of x's subinterval.
inline LogSum log_sum(double x, double invc, double logc) {
    const std::uint64_t ix = std::bit_cast<std::uint64_t>(x);
    const std::uint64_t tmp = ix - kLogOffset;
    const double k = static_cast<double>(static_cast<std::int64_t>(tmp) >> 52);
    const double z = std::bit_cast<double>(ix - (tmp & 0xfff0000000000000));
    const double r = std::fma(z, invc, -1.0);
    const double w = std::fma(k, kLn2Hi, logc);
    const double hi = w + r;
    const double lo = std::fma(k, kLn2Lo, (w - hi) + r);
    const double r2 = r * r;
    const double p = std::fma(r2, std::fma(r, kLogA[4], kLogA[3]), std::fma(r, kLogA[2], kLogA[1]));
    return {hi, std::fma(r * r2, p, std::fma(r2, kLogA[0], lo))};
}

}  // namespace zyl::kernels::libm
