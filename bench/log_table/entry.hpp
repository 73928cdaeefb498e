#pragma once
// The rule of the C library's log table (glibc 2.28 and later), shared by
// the search for its entries and their confirmation. x = 2^k z with z in
// [0x1.6p-1, 0x1.6p0), split by the top seven bits of z's fraction above
// kOffset into 128 subintervals; entry i holds invc, a double near
// 1/centre_i, and logc, the double nearest -log(invc).
#include <quadmath.h>

#include <bit>
#include <cstdint>

namespace log_table {

inline constexpr std::uint64_t kOffset = 0x3fe6000000000000;
inline constexpr int kEntries = 128;
inline constexpr int kIndexShift = 45;  // 52 - log2(kEntries)

inline double subinterval_low(int i) {
    return std::bit_cast<double>(kOffset + (static_cast<std::uint64_t>(i) << kIndexShift));
}

// The middle of subinterval i in value; exact, since both ends share a
// binade or (for the one ending at 1) the middle lies in the lower one.
inline double centre(int i) { return 0.5 * (subinterval_low(i) + subinterval_low(i + 1)); }

// The double nearest 1/centre(i), moved by `offset` ulps. Every candidate
// the search tries stays in that double's binade (1/centre is at least
// 2^-9 from 1, the only power of two in range, and offsets stay below
// 2^30 ulps, 2^-22 in value), so moving the bits moves by whole ulps.
inline double invc_of(int i, std::int64_t offset) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(1.0 / centre(i)) + static_cast<std::uint64_t>(offset));
}

// log(c) = -log(invc) to quad precision (113 bits, against the 2^-66
// criteria below).
inline __float128 log_c(double invc) { return -logq(static_cast<__float128>(invc)); }

}  // namespace log_table
