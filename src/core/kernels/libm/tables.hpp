#pragma once
// The numbers of the C library's table-driven exp, log and pow (glibc 2.28
// and later), and those of the kernels' own log, sin and cos. The vector
// kernels repeat exp, pow and log near 1 operation for operation, so they
// need the same constants: the polynomial coefficients below are those
// algorithms' own. Every table is built at compile time by make_tables.py
// from the rule that defines it. Data only: included by the instruction-set
// files too.
#include <cstdint>

namespace zyl::kernels::libm {

inline constexpr int kTableSize = 128;

// exp: x = k ln2/128 + r, exp(x) = 2^(k/128) e^r.
inline constexpr double kExpInvLn2N = 0x1.71547652b82fep7;
inline constexpr double kExpNegLn2HiN = -0x1.62e42fefa0000p-8;
inline constexpr double kExpNegLn2LoN = -0x1.cf79abc9e3b3ap-47;
inline constexpr double kExpShift = 0x1.8p52;
inline constexpr double kExpC2 = 0x1.ffffffffffdbdp-2;
inline constexpr double kExpC3 = 0x1.555555555543cp-3;
inline constexpr double kExpC4 = 0x1.55555cf172b91p-5;
inline constexpr double kExpC5 = 0x1.1111167a4d017p-7;
// 2^(j/128) ~= scale * (1 + tail), with the bits of the scale less j << 45,
// so that adding k << 45 gives those of 2^(k/128).
struct alignas(16) ExpEntry {
    double tail;
    std::uint64_t scale_bits;
};
extern const ExpEntry kExpTable[kTableSize];

// log near 1, x in [0x1.ep-1, 1 + 0x1.09p-4): a polynomial in r = x - 1
// with r + B0 r^2 carried in two parts; ln2 in two parts for every log.
inline constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;
inline constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
inline constexpr double kLogB[11] = {-0x1p-1,
                                     0x1.5555555555577p-2,
                                     -0x1.ffffffffffdcbp-3,
                                     0x1.999999995dd0cp-3,
                                     -0x1.55555556745a7p-3,
                                     0x1.24924a344de3p-3,
                                     -0x1.fffffa4423d65p-4,
                                     0x1.c7184282ad6cap-4,
                                     -0x1.999eb43b068ffp-4,
                                     0x1.78182f7afd085p-4,
                                     -0x1.5521375d145cdp-4};
inline constexpr double kLogNearOneLow = 0x1.ep-1;
inline constexpr double kLogNearOneHigh = 0x1.1090000000000p0;

// log away from 1: x = 2^k z with z in [0x1.6p-1, 0x1.6p0), split by
// the top seven bits of z's fraction above kLogOffset into 128
// subintervals; log(x) = k ln2 + log(c) + log1p(r), r = z invc - 1, with
// invc near 1/c for c the subinterval's centre and logc = -log(invc). The
// library's table is reproduced by its own rule (bench/log_table), so the
// kernels take the same r and y as the library; kLogA is its polynomial,
// log1p(r) - r ~= r^2 (A0 + r A1 + r^2 A2 + r^3 A3 + r^4 A4).
inline constexpr std::uint64_t kLogOffset = 0x3fe6000000000000;
inline constexpr double kLogA[5] = {-0x1.0000000000001p-1, 0x1.555555551305bp-2, -0x1.fffffffeb459p-3,
                                    0x1.999b324f10111p-3, -0x1.55575e506c89fp-3};
struct alignas(16) LogEntry {
    double invc;
    double logc;  // a multiple of 2^-43, so k ln2hi + logc is exact
};
extern const LogEntry kLogTable[kTableSize];

// pow's logarithm: z in [0x1.69555p-1, 0x1.69555p0), split the same way
// above kPowLogOffset, with c at the subintervals' centres; log(c) in two
// parts, logc (a multiple of 2^-43) and logctail, and 1/c of few bits, so
// that z/c - 1 is exact.
inline constexpr std::uint64_t kPowLogOffset = 0x3fe6955500000000;
inline constexpr double kPowA[7] = {-0x1p-1,
                                    -0x1.5555555555560p-1,
                                    0x1.0000000000006p-1,
                                    0x1.999999959554ep-1,
                                    -0x1.555555529a47ap-1,
                                    -0x1.2495b9b4845e9p0,
                                    0x1.0002b8b263fc3p0};
struct alignas(32) PowLogEntry {
    double invc;
    double logc;
    double logctail;
    double unused;  // pads an entry to one 32-byte load
};
extern const PowLogEntry kPowLogTable[kTableSize];

// sin and cos: x = n pi/2 + t, t = k/64 + u; sin(k/64) and cos(k/64) each
// as a double and the rest, and pi/2 in three parts, the first two short
// enough that n times them is exact for n below 2^20.
inline constexpr int kSinCosTableSize = 64;
struct alignas(32) SinCosEntry {
    double sin_hi, sin_lo;
    double cos_hi, cos_lo;
};
extern const SinCosEntry kSinCosTable[kSinCosTableSize];
extern const double kHalfPiParts[3];

}  // namespace zyl::kernels::libm
