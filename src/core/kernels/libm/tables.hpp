#pragma once
// The numbers of the C library's table-driven exp, log and pow (glibc 2.28
// and later, which came from Arm's optimized routines). The vector kernels
// repeat those algorithms operation for operation, so they need the very
// same constants: the polynomial coefficients below are the algorithms' own,
// and the tables are built at compile time by make_tables.py from the rules
// that define them. Data only: included by the instruction-set files too.
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

// log: x = 2^k z, log(x) = k ln2 + log(c) + log1p(z/c - 1), with one c per
// subinterval of [0x1.6p-1, 0x1.6p0); near 1 a polynomial in x - 1 instead.
inline constexpr std::uint64_t kLogOffset = 0x3fe6000000000000;
inline constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;
inline constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
inline constexpr double kLogA[5] = {-0x1.0000000000001p-1, 0x1.555555551305bp-2, -0x1.fffffffeb459p-3,
                                    0x1.999b324f10111p-3, -0x1.55575e506c89fp-3};
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
// The near-1 polynomial covers [0x1.ep-1, 1 + 0x1.09p-4).
inline constexpr double kLogNearOneLow = 0x1.ep-1;
inline constexpr double kLogNearOneHigh = 0x1.1090000000000p0;
struct alignas(16) LogEntry {
    double invc;  // 1/c
    double logc;  // log(c)
};
extern const LogEntry kLogTable[kTableSize];

// pow's logarithm: the same reduction with a finer c (1/c has few bits, so
// z/c - 1 is exact) and log(c) split into logc + logctail.
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

// sin and cos (the IBM accurate algorithms): |x| below 0.855469 (or the
// argument reduced by multiples of pi/2) is split as k/128 + r, and
// sin(k/128), cos(k/128) in two parts each combine with polynomials in r;
// small arguments of sin take a Taylor polynomial instead.
inline constexpr int kSinCosSize = 110;
struct alignas(32) SinCosEntry {
    double sn, ssn;  // sin(k/128), high and low part
    double cs, ccs;  // cos(k/128)
};
extern const SinCosEntry kSinCosTable[kSinCosSize];
inline constexpr double kSinCosBig = 0x1.8p45;  // adding it rounds to a multiple of 1/128
inline constexpr double kTaylorBound = 0.126;
inline constexpr double kSn3 = -0x1.5555555555515p-3;
inline constexpr double kSn5 = 0x1.11110e829872fp-7;
inline constexpr double kCs2 = 0.5;
inline constexpr double kCs4 = -0x1.5555555555535p-5;
inline constexpr double kCs6 = 0x1.6c16bedd9e239p-10;
inline constexpr double kTaylorS[5] = {-0x1.5555555555555p-3, 0x1.1111111110ecep-7, -0x1.a01a019db08b8p-13,
                                       0x1.71de27b9a7ed9p-19, -0x1.addffc2fcdf59p-26};
// pi/2 in two parts, and the three-part reduction x - n pi/2.
inline constexpr double kHalfPiHi = 0x1.921fb54442d18p0;
inline constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;
inline constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
inline constexpr double kToInt = 0x1.8p52;
inline constexpr double kMp1 = 0x1.921fb58000000p0;
inline constexpr double kMp2 = -0x1.dde973c000000p-27;
inline constexpr double kPp3 = -0x1.cb3b398000000p-55;
inline constexpr double kPp4 = -0x1.d747f23e32ed7p-83;
// Bounds of the ranges both functions treat apart, as bits of |x|.
inline constexpr std::uint64_t kSinTinyBits = 0x3e50000000000000;  // 2^-26: sin x = x
inline constexpr std::uint64_t kCosTinyBits = 0x3e40000000000000;  // 2^-27: cos x = 1
inline constexpr std::uint64_t kTableRangeBits = 0x3feb600000000000;  // 0.855469
inline constexpr std::uint64_t kNearHalfPiBits = 0x400368fd00000000;  // 2.426265
inline constexpr std::uint64_t kReducibleBits = 0x419921fb00000000;  // 105414350

}  // namespace zyl::kernels::libm
