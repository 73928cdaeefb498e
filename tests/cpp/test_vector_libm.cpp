// The vector exp/log/pow kernels and the rules built on them against the
// scalar functions they reproduce, bit for bit (NaN payloads included), on
// every instruction set this machine runs; and the self-test's choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kernels/libm/lanes.hpp"
#include "kernels/libm/log_midpoints.hpp"
#include "kernels/libm/log_sum.hpp"
#include "kernels/libm/self_test.hpp"
#include "kernels/libm/trig_lanes.hpp"
#include "kernels/libm/vector_libm.hpp"

namespace {

using namespace zyl::kernels::libm;

constexpr double kInf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// Index of the first element where out differs from scalar, or n.
std::size_t first_difference(const std::vector<double>& in, const std::vector<double>& out, UnaryScalar scalar) {
    for (std::size_t i = 0; i < in.size(); ++i)
        if (bits(out[i]) != bits(scalar(in[i]))) return i;
    return in.size();
}

std::size_t first_difference(const PairProbes& in, const std::vector<double>& out, BinaryScalar scalar) {
    for (std::size_t i = 0; i < in.x.size(); ++i)
        if (bits(out[i]) != bits(scalar(in.x[i], in.y[i]))) return i;
    return in.x.size();
}

void expect_reproduces(const IsaKernels& set, Unary f, const std::vector<double>& in) {
    const auto k = static_cast<std::size_t>(f);
    std::vector<double> out(in.size());
    set.unary[k](in.data(), out.data(), in.size(), scalar_function(f));
    const std::size_t i = first_difference(in, out, scalar_function(f));
    EXPECT_EQ(i, in.size()) << set.isa << " unary " << k << " at " << (i < in.size() ? in[i] : 0.0);
}

void expect_reproduces(const IsaKernels& set, Binary f, const PairProbes& in) {
    const auto k = static_cast<std::size_t>(f);
    std::vector<double> out(in.x.size());
    set.binary[k](in.x.data(), in.y.data(), out.data(), in.x.size(), scalar_function(f));
    const std::size_t i = first_difference(in, out, scalar_function(f));
    EXPECT_EQ(i, in.x.size()) << set.isa << " binary " << k << " at " << (i < in.x.size() ? in.x[i] : 0.0) << ", "
                              << (i < in.x.size() ? in.y[i] : 0.0);
}

// Half random bit patterns (every exponent, NaN and infinities included),
// half uniform over [low, high), the range where the function's ordinary
// branch runs.
std::vector<double> draws(std::size_t n, double low, double high, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> value(low, high);
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = i % 2 == 0 ? std::bit_cast<double>(gen()) : value(gen);
    return v;
}

constexpr std::size_t kMillion = 1'000'000;

TEST(VectorLibm, ExpLogPowSinCosGiveTheLibraryBitsOnAMillionInputs) {
    for (const IsaKernels* set : runnable_kernel_sets()) {
        expect_reproduces(*set, Unary::Exp, draws(kMillion, -745.0, 710.0, 1));
        expect_reproduces(*set, Unary::Exp, draws(kMillion, -1.0, 1.0, 2));
        expect_reproduces(*set, Unary::Log, draws(kMillion, 0.0, 4.0, 3));
        expect_reproduces(*set, Unary::Log, draws(kMillion, 0x1.ep-1, 0x1.109p0, 4));  // the near-1 polynomial
        expect_reproduces(*set, Unary::Log, draws(kMillion, 1e-300, 1e300, 7));
        PairProbes pow{draws(kMillion, 0.0, 50.0, 5), draws(kMillion, -200.0, 200.0, 6)};
        expect_reproduces(*set, Binary::Pow, pow);
        for (double range : {0.01, 1.0, 4.0, 1e3, 6e5}) {
            const auto in = draws(kMillion / 5, -range, range, static_cast<unsigned>(8 + range));
            expect_reproduces(*set, Unary::Sin, in);
            expect_reproduces(*set, Unary::Cos, in);
        }
    }
}

UnaryScalar g_counted = nullptr;
std::size_t g_calls = 0;
double counted(double x) {
    ++g_calls;
    return g_counted(x);
}

TEST(VectorLibm, SinAndCosLeaveToTheLibraryOnlyLanesNearAMidpoint) {
    // In their ordinary ranges these kernels hand the library the lanes
    // whose value lies within their guard band of a midpoint between
    // doubles: about twice the band's width of uniform inputs. Far more
    // would mean their values are less accurate than they claim, none that
    // the band is not applied.
    std::vector<double> in = draws(400'000, -100.0, 100.0, 41);
    std::erase_if(in, [](double x) { return !(std::fabs(x) > 0.1 && std::fabs(x) < 100.0); });
    std::vector<double> out(in.size());
    for (Unary f : {Unary::Sin, Unary::Cos}) {
        g_counted = scalar_function(f);
        for (const IsaKernels* set : runnable_kernel_sets()) {
            g_calls = 0;
            set->unary[static_cast<std::size_t>(f)](in.data(), out.data(), in.size(), &counted);
            const double share = static_cast<double>(g_calls) / static_cast<double>(in.size());
            EXPECT_GT(share, 1.5 * kTrigGuardUlps) << set->isa << " " << static_cast<int>(f);
            EXPECT_LT(share, 2.5 * kTrigGuardUlps) << set->isa << " " << static_cast<int>(f);
            EXPECT_EQ(first_difference(in, out, scalar_function(f)), in.size()) << set->isa;
        }
    }
}

TEST(VectorLibm, LogLeavesToTheLibraryOnlyLanesThatAreNotPositiveNormal) {
    // With the library's own table, every positive normal lane is the
    // kernel's; zero, negatives, subnormals, infinity and NaN are the
    // library's, one call each.
    std::vector<double> in = draws(200'000, 0.0, 1e6, 42);
    const auto library_lanes = std::count_if(in.begin(), in.end(), [](double x) { return !(std::isnormal(x) && x > 0); });
    ASSERT_GT(library_lanes, 50'000);
    std::vector<double> out(in.size());
    g_counted = scalar_function(Unary::Log);
    for (const IsaKernels* set : runnable_kernel_sets()) {
        g_calls = 0;
        set->unary[static_cast<std::size_t>(Unary::Log)](in.data(), out.data(), in.size(), &counted);
        EXPECT_EQ(g_calls, static_cast<std::size_t>(library_lanes)) << set->isa;
        EXPECT_EQ(first_difference(in, out, scalar_function(Unary::Log)), in.size()) << set->isa;
    }
}

TEST(VectorLibm, EveryLogTableEntryGivesTheLibraryBits) {
    // An entry that is not the library's gives a different result on about
    // one input in 1500 of its subinterval; 20000 per entry find it.
    std::mt19937_64 gen(43);
    constexpr int kShift = 52 - __builtin_ctz(kTableSize);
    for (int i = 0; i < kTableSize; ++i) {
        std::vector<double> in;
        for (std::int64_t e : {-1000, -2, 1, 3, 1000})
            for (int n = 0; n < 4096; ++n) {
                const std::uint64_t within = gen() & ((std::uint64_t{1} << kShift) - 1);
                in.push_back(std::bit_cast<double>(kLogOffset + (static_cast<std::uint64_t>(i) << kShift) +
                                                   (static_cast<std::uint64_t>(e) << 52) + within));
            }
        for (const IsaKernels* set : runnable_kernel_sets()) expect_reproduces(*set, Unary::Log, in);
    }
}

TEST(VectorLibm, RulesGiveTheScalarRulesOnManyInputs) {
    constexpr std::size_t n = 200'000;
    for (const IsaKernels* set : runnable_kernel_sets()) {
        expect_reproduces(*set, Unary::ExpTerm, draws(n, -800.0, 800.0, 11));
        expect_reproduces(*set, Unary::LogTerm, draws(n, -3.0, 3.0, 12));
        PairProbes two{draws(n, -10.0, 10.0, 13), draws(n, -40.0, 40.0, 14)};
        expect_reproduces(*set, Binary::PowAbs, two);
        expect_reproduces(*set, Binary::Tension, two);
        expect_reproduces(*set, Binary::Zyl, two);
    }
}

const double kSpecials[] = {0.0,
                            -0.0,
                            kInf,
                            -kInf,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::bit_cast<double>(std::uint64_t{0xfff8000000000abc}),
                            std::bit_cast<double>(std::uint64_t{0x7ff0000000000001}),  // signalling
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min(),
                            0x1.fffffffffffffp-1023,
                            std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::max(),
                            -std::numeric_limits<double>::max(),
                            1.0,
                            -1.0,
                            0x1p-54,
                            -0x1p-55,
                            512.0,
                            -512.0,
                            709.782712893384,
                            709.78,
                            -745.1332191019411,
                            1e-300,
                            -1e-300,
                            0x1.ep-1,
                            0x1.109p0,
                            0x1p-65,
                            0x1p63,
                            2.0,
                            0.5,
                            2.718281828459045,
                            0.36787944117144233,
                            0x1p19,
                            0x1p-10,
                            1.5707963267948966,
                            3.141592653589793,
                            0.7853981633974483,
                            105414350.0,
                            3e9};

TEST(VectorLibm, EverySpecialValueAndPairOfThem) {
    const std::vector<double> specials(std::begin(kSpecials), std::end(kSpecials));
    PairProbes pairs;
    for (double x : specials)
        for (double y : specials) {
            pairs.x.push_back(x);
            pairs.y.push_back(y);
        }
    for (const IsaKernels* set : runnable_kernel_sets()) {
        for (Unary f : {Unary::Exp, Unary::Log, Unary::ExpTerm, Unary::LogTerm, Unary::Sin, Unary::Cos})
            expect_reproduces(*set, f, specials);
        for (Binary f : {Binary::Pow, Binary::PowAbs, Binary::Tension, Binary::Zyl}) expect_reproduces(*set, f, pairs);
    }
}

TEST(VectorLibm, PartialRegistersAndInPlaceRunsKeepEveryElement) {
    for (const IsaKernels* set : runnable_kernel_sets()) {
        for (std::size_t n = 0; n <= 17; ++n) {
            std::vector<double> in = draws(n, -30.0, 30.0, static_cast<unsigned>(20 + n));
            in.push_back(123.0);  // beyond n: must stay untouched
            std::vector<double> out(n + 1, -1.0);
            set->unary[0](in.data(), out.data(), n, scalar_function(Unary::Exp));
            EXPECT_EQ(out[n], -1.0) << set->isa << " wrote past " << n;
            std::vector<double> same = in;
            set->unary[0](same.data(), same.data(), n, scalar_function(Unary::Exp));
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_EQ(bits(out[i]), bits(std::exp(in[i]))) << set->isa << " " << n << ":" << i;
                EXPECT_EQ(bits(same[i]), bits(std::exp(in[i]))) << set->isa << " in place " << n << ":" << i;
            }
        }
    }
}

// A kernel that differs from the library in one bit of one result.
double g_perturbed_input = 0.0;

void exp_off_by_one_bit(const double* in, double* out, std::size_t n, UnaryScalar scalar) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = scalar(in[i]);
        if (bits(in[i]) == bits(g_perturbed_input)) out[i] = std::bit_cast<double>(bits(out[i]) ^ 1);
    }
}

void exp_exact(const double* in, double* out, std::size_t n, UnaryScalar scalar) {
    for (std::size_t i = 0; i < n; ++i) out[i] = scalar(in[i]);
}

TEST(VectorLibmSelfTest, AKernelThatDiffersAnywhereIsPassedOver) {
    const std::vector<double> probes = unary_probes(Unary::Exp);
    const UnaryScalar exp_of = scalar_function(Unary::Exp);
    for (std::size_t where : {std::size_t{0}, probes.size() / 2, probes.size() - 1}) {
        g_perturbed_input = probes[where];
        EXPECT_FALSE(reproduces(&exp_off_by_one_bit, exp_of, probes)) << where;
        const UnaryRun broken_first[] = {&exp_off_by_one_bit, &exp_exact};
        EXPECT_EQ(first_reproducing(std::span<const UnaryRun>(broken_first), exp_of, probes), 1u);
        const UnaryRun only_broken[] = {&exp_off_by_one_bit};
        EXPECT_EQ(first_reproducing(std::span<const UnaryRun>(only_broken), exp_of, probes), 1u);  // none
    }
    EXPECT_TRUE(reproduces(&exp_exact, exp_of, probes));
}

// log by the table for the ordinary lanes of one subinterval, the library
// elsewhere; in that subinterval the sum before rounding is moved by
// g_log_shift ulp, as a library with another entry there would move it.
double g_log_shift = 0.0;
constexpr int kShiftedEntry = 37;

void log_shifted_in_one_entry(const double* in, double* out, std::size_t n, UnaryScalar scalar) {
    for (std::size_t i = 0; i < n; ++i) {
        const double x = in[i];
        const bool ordinary = std::isnormal(x) && x > 0 && !(x >= kLogNearOneLow && x < kLogNearOneHigh);
        if (!ordinary || ((bits(x) - kLogOffset) >> 45) % kTableSize != kShiftedEntry) {
            out[i] = scalar(x);
            continue;
        }
        const LogEntry& e = kLogTable[kShiftedEntry];
        const auto [hi, tail] = log_sum(x, e.invc, e.logc);
        out[i] = hi + (tail + g_log_shift * std::ldexp(1.0, std::ilogb(hi) - 52));
    }
}

TEST(VectorLibmSelfTest, ALogTableEntryOffByAFewThousandthsOfAnUlpIsCaught) {
    // Random inputs would show such an entry once in some hundreds; the
    // probes next to a midpoint show it.
    const std::vector<double> probes = unary_probes(Unary::Log);
    const UnaryScalar log_of = scalar_function(Unary::Log);
    g_log_shift = 0.0;
    EXPECT_TRUE(reproduces(&log_shifted_in_one_entry, log_of, probes));
    for (double shift : {0x1p-8, -0x1p-8}) {
        g_log_shift = shift;
        EXPECT_FALSE(reproduces(&log_shifted_in_one_entry, log_of, probes)) << shift;
    }
}

TEST(VectorLibmSelfTest, TheBuiltMidpointProbesLieNextToMidpointsInEveryEntry) {
    std::vector<int> per_entry(kTableSize, 0);
    for (double x : kLogMidpointProbes) {
        const std::size_t i = ((bits(x) - kLogOffset) >> 45) % kTableSize;
        ++per_entry[i];
        const auto [hi, tail] = log_sum(x, kLogTable[i].invc, kLogTable[i].logc);
        const double y = hi + tail;
        const double half_ulp = std::bit_cast<double>(bits(y) & kInfinityBits) * 0x1p-53;
        EXPECT_LT(std::fabs(std::fabs(tail - (y - hi)) - half_ulp), half_ulp * 0x1p-7) << x;
    }
    EXPECT_TRUE(std::ranges::all_of(per_entry, [](int n) { return n == 8; }));
}

TEST(VectorLibmSelfTest, NaNPayloadsAndSignsOfZeroCount) {
    // A kernel that answers the default NaN or +0 where the library keeps
    // the input's payload or sign is a different function.
    auto quiet_everything = [](const double* in, double* out, std::size_t n, UnaryScalar scalar) {
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = scalar(in[i]);
            if (std::isnan(out[i])) out[i] = std::numeric_limits<double>::quiet_NaN();
        }
    };
    auto unsigned_zero = [](const double* in, double* out, std::size_t n, UnaryScalar scalar) {
        for (std::size_t i = 0; i < n; ++i) out[i] = scalar(in[i]) == 0.0 ? 0.0 : scalar(in[i]);
    };
    const std::vector<double> log_probes = unary_probes(Unary::Log);
    EXPECT_FALSE(reproduces(+quiet_everything, scalar_function(Unary::Log), log_probes));
    const std::vector<double> pow_x = {-0.0, 0.5}, pow_y = {3.0, 2.0};
    const PairProbes odd_power_of_minus_zero{pow_x, pow_y};
    auto unsigned_zero_pow = [](const double* a, const double* b, double* out, std::size_t n, BinaryScalar scalar) {
        for (std::size_t i = 0; i < n; ++i) out[i] = scalar(a[i], b[i]) == 0.0 ? 0.0 : scalar(a[i], b[i]);
    };
    EXPECT_FALSE(reproduces(+unsigned_zero_pow, scalar_function(Binary::Pow), odd_power_of_minus_zero));
    EXPECT_TRUE(reproduces(+unsigned_zero, scalar_function(Unary::Exp), std::vector<double>{1.0, 2.0}));
}

TEST(VectorLibmSelfTest, TheProbesReachEveryBranch) {
    // Each function's probes hold inputs of its ordinary range and of every
    // range the library treats apart; a kernel could not pass on probes
    // that miss a branch it gets wrong.
    const std::vector<double> exp_in = unary_probes(Unary::Exp);
    auto count = [](const std::vector<double>& v, auto pred) { return std::count_if(v.begin(), v.end(), pred); };
    EXPECT_GT(count(exp_in, [](double x) { return std::fabs(x) < 0x1p-54; }), 100);
    EXPECT_GT(count(exp_in, [](double x) { return std::fabs(x) >= 512.0 && std::fabs(x) < 1024.0; }), 100);
    EXPECT_GT(count(exp_in, [](double x) { return std::isnan(x); }), 10);
    EXPECT_GT(exp_in.size(), 10'000u);
    const std::vector<double> log_in = unary_probes(Unary::Log);
    EXPECT_GT(count(log_in, [](double x) { return x >= 0x1.ep-1 && x < 0x1.109p0; }), 1000);
    EXPECT_GT(count(log_in, [](double x) { return x > 0.0 && x < 0x1p-1022; }), 10);
    EXPECT_GT(count(log_in, [](double x) { return x < 0.0; }), 100);
    EXPECT_GT(log_in.size(), 10'000u);
    // Inside every subinterval of the table, and on both sides of each of
    // their ends, in the ordinary range.
    constexpr int kShift = 52 - __builtin_ctz(kTableSize);
    auto ordinary = [](double x) { return std::isnormal(x) && x > 0 && !(x >= 0x1.ep-1 && x < 0x1.109p0); };
    std::vector<int> inside(kTableSize), below_edge(kTableSize), at_edge(kTableSize);
    for (double x : log_in) {
        if (!ordinary(x)) continue;
        const std::uint64_t tmp = bits(x) - kLogOffset;
        const auto i = static_cast<std::size_t>((tmp >> kShift) % kTableSize);
        const std::uint64_t within = tmp & ((std::uint64_t{1} << kShift) - 1);
        ++inside[i];
        at_edge[i] += within == 0;
        below_edge[(i + 1) % kTableSize] += within == (std::uint64_t{1} << kShift) - 1;
    }
    for (int i = 0; i < kTableSize; ++i) {
        EXPECT_GE(inside[i], 20) << i;
        EXPECT_GE(at_edge[i], 2) << i;
        EXPECT_GE(below_edge[i], 2) << i;
    }
    const PairProbes pow_in = binary_probes(Binary::Pow);
    EXPECT_GT(pow_in.x.size(), 10'000u);
    std::size_t near_overflow = 0;
    for (std::size_t i = 0; i < pow_in.x.size(); ++i) {
        const double e = pow_in.y[i] * std::log(pow_in.x[i]);
        near_overflow += std::fabs(e) > 500.0 && std::fabs(e) < 1000.0;
    }
    EXPECT_GT(near_overflow, 100u);
    const std::vector<double> trig_in = unary_probes(Unary::Sin);
    for (double low : {0.0, 0x1p-27, kSmallestReduced, 0.126, 0x1.b6p-1, 2.426265, kTrigHigh, 105414350.0}) {
        EXPECT_GT(count(trig_in, [low](double x) { return std::fabs(x) >= low && std::fabs(x) < 2 * low + 1e-300; }),
                  20)
            << low;
    }
}

TEST(VectorLibm, PublicRunsMatchTheScalarFunctions) {
    const std::vector<double> in = draws(5000, -20.0, 20.0, 31);
    std::vector<double> out(in.size());
    for (Unary f : {Unary::Exp, Unary::Log, Unary::ExpTerm, Unary::LogTerm, Unary::Sin, Unary::Cos}) {
        run(f, in.data(), out.data(), in.size());
        EXPECT_EQ(first_difference(in, out, scalar_function(f)), in.size());
    }
    const PairProbes two{in, draws(5000, -5.0, 5.0, 32)};
    for (Binary f : {Binary::Pow, Binary::PowAbs, Binary::Tension, Binary::Zyl}) {
        run(f, two.x.data(), two.y.data(), out.data(), in.size());
        EXPECT_EQ(first_difference(two, out, scalar_function(f)), in.size());
    }
    for (const ActiveKernel& k : active_kernels()) EXPECT_NE(std::string(k.isa), "") << k.function;
}

}  // namespace
