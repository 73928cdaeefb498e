#include "kernels/libm/self_test.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "kernels/libm/log_midpoints.hpp"
#include "kernels/libm/tables.hpp"
#include "kernels/libm/trig_lanes.hpp"

namespace zyl::kernels::libm {
namespace {

// splitmix64 from a fixed seed: every process probes the same inputs.
class Draws {
public:
    explicit Draws(std::uint64_t seed) : state_(seed) {}
    std::uint64_t bits() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }
    double any() { return std::bit_cast<double>(bits()); }
    double uniform(double low, double high) {
        const double unit = static_cast<double>(bits() >> 11) * 0x1p-53;
        return low + (high - low) * unit;
    }

private:
    std::uint64_t state_;
};

constexpr double kInf = std::numeric_limits<double>::infinity();

const double kSpecials[] = {0.0,
                            -0.0,
                            kInf,
                            -kInf,
                            std::numeric_limits<double>::quiet_NaN(),
                            -std::numeric_limits<double>::quiet_NaN(),
                            std::bit_cast<double>(std::uint64_t{0x7ff8000000012345}),
                            std::bit_cast<double>(std::uint64_t{0xfff4000000000001}),  // signalling
                            std::bit_cast<double>(std::uint64_t{0x7ff0000000000001}),  // signalling
                            std::numeric_limits<double>::min(),
                            -std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min(),
                            0x1.fffffffffffffp-1023,
                            0x1p-1060,
                            std::numeric_limits<double>::max(),
                            -std::numeric_limits<double>::max(),
                            1.0,
                            -1.0,
                            2.0,
                            0.5};

// v and its `reach` nearest neighbours on each side.
void add_around(std::vector<double>& out, double v, int reach) {
    double below = v, above = v;
    out.push_back(v);
    for (int i = 0; i < reach; ++i) {
        below = std::nextafter(below, -kInf);
        above = std::nextafter(above, kInf);
        out.push_back(below);
        out.push_back(above);
    }
}

void add_uniform(std::vector<double>& out, Draws& draws, int count, double low, double high) {
    for (int i = 0; i < count; ++i) out.push_back(draws.uniform(low, high));
}

void add_bit_patterns(std::vector<double>& out, Draws& draws, int count) {
    for (int i = 0; i < count; ++i) out.push_back(draws.any());
}

// Subnormals and NaNs of both signs with random payloads (quiet and
// signalling), which random bit patterns reach too rarely.
void add_unusual(std::vector<double>& out, Draws& draws) {
    for (int i = 0; i < 64; ++i) {
        constexpr std::uint64_t kFraction = 0x000fffffffffffff;
        const std::uint64_t sign = draws.bits() & 0x8000000000000000;
        out.push_back(std::bit_cast<double>(sign | (draws.bits() & kFraction)));
        out.push_back(std::bit_cast<double>(sign | 0x7ff0000000000000 | (draws.bits() & kFraction) | 1));
    }
}

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// The lengths the probes are cut into, so that whole registers, partial
// last registers and in-place runs are all exercised.
constexpr std::size_t kPieces[] = {1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 64, 1000};

// The library's thresholds for exp: tiny, large, overflow, underflow, and
// where results become subnormal.
constexpr double kExpThresholds[] = {0x1p-54,           512.0, 1024.0, 709.782712893384, 708.3964185322641,
                                     745.1332191019411, 744.4400719213812, 740.0, 720.0};

void add_exp_thresholds(std::vector<double>& p) {
    for (double t : kExpThresholds) {
        add_around(p, t, 8);
        add_around(p, -t, 8);
    }
}

std::vector<double> exp_probes() {
    Draws draws(0x6578700000000001);
    std::vector<double> p(std::begin(kSpecials), std::end(kSpecials));
    add_unusual(p, draws);
    add_exp_thresholds(p);
    // Every table entry, at several exponents of the result, with the
    // reduced argument at its ends (where k is decided), at zero and in
    // between.
    for (int j = 0; j < kTableSize; ++j) {
        for (int k : {-700, -3, 0, 2, 650}) {
            const double centre = (k * kTableSize + j) / kExpInvLn2N;
            for (double f : {-0.5, -0.2, 0.0, 0.3, 0.5}) add_around(p, centre + f / kExpInvLn2N, 1);
        }
    }
    add_uniform(p, draws, 4096, -750.0, 750.0);
    add_uniform(p, draws, 1024, -1.0, 1.0);
    add_uniform(p, draws, 512, -0x1p-50, 0x1p-50);
    add_bit_patterns(p, draws, 4096);
    return p;
}

std::vector<double> log_probes() {
    Draws draws(0x6c6f670000000002);
    std::vector<double> p(std::begin(kSpecials), std::end(kSpecials));
    add_unusual(p, draws);
    for (double t : {kLogNearOneLow, kLogNearOneHigh, 1.0}) add_around(p, t, 64);
    // Every table entry, in several binades: both sides of each end of its
    // subinterval and points drawn inside it.
    constexpr int kShift = 52 - __builtin_ctz(kTableSize);
    for (int i = 0; i <= kTableSize; ++i) {
        const std::uint64_t edge = kLogOffset + (static_cast<std::uint64_t>(i) << kShift);
        for (std::int64_t e : {-1021, -500, -1, 0, 1, 600, 1022}) {
            const std::uint64_t binade = static_cast<std::uint64_t>(e) << 52;
            const double v = std::bit_cast<double>(edge + binade);
            if (std::isfinite(v)) add_around(p, v, 2);
            for (int n = 0; n < 4 && i < kTableSize; ++n) {
                const std::uint64_t within = draws.bits() & ((std::uint64_t{1} << kShift) - 1);
                p.push_back(std::bit_cast<double>(edge + binade + within));
            }
        }
    }
    p.insert(p.end(), std::begin(kLogMidpointProbes), std::end(kLogMidpointProbes));
    // Results next to a power of two, where the ulp changes.
    for (double power = 0.125; power < 1024.0; power *= 2.0) {
        add_around(p, std::exp(power), 4);
        add_around(p, std::exp(-power), 4);
    }
    add_uniform(p, draws, 2048, kLogNearOneLow, kLogNearOneHigh);
    add_uniform(p, draws, 4096, 0.5, 2.0);
    add_uniform(p, draws, 1024, 0.0, 1e6);
    for (int i = 0; i < 4096; ++i) p.push_back(std::fabs(draws.any()));
    add_bit_patterns(p, draws, 1024);
    return p;
}

void add_pair(PairProbes& p, double x, double y) {
    p.x.push_back(x);
    p.y.push_back(y);
}

// Special and boundary values of x against those of y.
void add_pow_specials(PairProbes& p, double x_sign) {
    std::vector<double> xs(std::begin(kSpecials), std::end(kSpecials));
    for (double v : {1.0, 0.9375, 3.0, 1e-300, 1e300}) add_around(xs, v, 2);
    std::vector<double> ys(std::begin(kSpecials), std::end(kSpecials));
    for (double v : {0x1p-65, 0x1p63, 3.0, 0.5, 1075.5, 1e300}) {
        add_around(ys, v, 2);
        add_around(ys, -v, 2);
    }
    for (double x : xs)
        for (double y : ys) add_pair(p, x_sign * x, y);
}

PairProbes pow_probes() {
    Draws draws(0x706f770000000003);
    PairProbes p;
    add_pow_specials(p, 1.0);
    // y log(x) next to the exp thresholds, and results near overflow and
    // in the subnormal range.
    for (double target : {0x1p-54, 512.0, 709.7, 745.0, 1000.0}) {
        for (double sign : {-1.0, 1.0}) {
            for (int i = 0; i < 64; ++i) {
                const double x = draws.uniform(0.01, 100.0);
                const double y = sign * target / std::log(x);
                for (double dy : {-2.0, -1.0, 0.0, 1.0, 2.0}) add_pair(p, x, y + dy * std::fabs(y) * 0x1p-52);
            }
        }
    }
    // Both ends of every table subinterval.
    for (int i = 0; i <= kTableSize; ++i) {
        const double edge = std::bit_cast<double>(kPowLogOffset + (static_cast<std::uint64_t>(i) << 45));
        std::vector<double> around;
        add_around(around, edge, 2);
        for (double x : around) add_pair(p, x, draws.uniform(-40.0, 40.0));
    }
    for (int i = 0; i < 4096; ++i) add_pair(p, draws.uniform(0.0, 10.0), draws.uniform(-30.0, 30.0));
    for (int i = 0; i < 2048; ++i) add_pair(p, std::fabs(draws.any()), draws.uniform(-4.0, 4.0));
    for (int i = 0; i < 1024; ++i) add_pair(p, 1.0 + draws.uniform(-0x1p-20, 0x1p-20), draws.uniform(-1e12, 1e12));
    for (int i = 0; i < 1024; ++i) add_pair(p, draws.uniform(0.0, 4.0), std::round(draws.uniform(-64.0, 64.0)));
    for (int i = 0; i < 2048; ++i) add_pair(p, draws.any(), draws.any());
    return p;
}

// sin and cos: both sides of the kernels' range bounds and of the
// library's (2^-27, 2^-26, 0.855469, 2.426265, 105414350), the ends of
// every table interval directly and through several reductions, the
// neighbourhood of multiples of pi/4 and pi/2, where the quadrant changes or
// the reduced argument is tiny, and random values of every range.
std::vector<double> trig_probes() {
    Draws draws(0x7472696700000007);
    std::vector<double> p(std::begin(kSpecials), std::end(kSpecials));
    add_unusual(p, draws);
    for (double b : {kSmallestReduced, kTrigHigh, 0x1p-27, 0x1p-26, 0.126, 0.855469, 2.426265, 105414350.0}) {
        add_around(p, b, 4);
        add_around(p, -b, 4);
        add_uniform(p, draws, 32, b, 2 * b);
        add_uniform(p, draws, 32, -2 * b, -b);
    }
    const double half_pi = kHalfPiParts[0] + kHalfPiParts[1];
    for (int k = 0; k <= 51; ++k) {
        for (double d : {0.0, 1.0 / 128, -1.0 / 128, 0x1p-10}) {
            const double t = k / 64.0 + d;
            for (int n : {-7, 0, 1, 2, 3, 4, 100, 12345}) add_around(p, n * half_pi + t, 1);
        }
    }
    for (int m = -40; m <= 40; ++m) {
        add_around(p, (m + 0.5) * half_pi, 2);
        add_around(p, m * half_pi, 2);
        add_around(p, m * half_pi + kSmallestReduced, 2);
    }
    add_uniform(p, draws, 256, -0x1p-9, 0x1p-9);
    add_uniform(p, draws, 2048, -1.0, 1.0);
    add_uniform(p, draws, 2048, -4.0, 4.0);
    add_uniform(p, draws, 2048, -100.0, 100.0);
    add_uniform(p, draws, 1024, -6e5, 6e5);
    add_bit_patterns(p, draws, 1024);
    return p;
}

// The batch rules are made of the library functions' lanes, which the
// probes above cover; theirs cover what the rules add: the logarithm taken
// first above 709.78..., negative arguments whose magnitude is used, the
// floor for zero, zyl's lift to 1e-300, and pow_abs's answers of 1.
std::vector<double> exp_term_probes() {
    Draws draws(0x6578707465726d04);
    std::vector<double> p(std::begin(kSpecials), std::end(kSpecials));
    add_unusual(p, draws);
    add_exp_thresholds(p);
    for (double t : {709.782712893384, 709.78, 1e10, 1e300}) add_around(p, t, 4);
    add_uniform(p, draws, 2048, -800.0, 800.0);
    add_uniform(p, draws, 1024, 700.0, 1e6);
    add_bit_patterns(p, draws, 1024);
    return p;
}

std::vector<double> log_term_probes() {
    Draws draws(0x6c6f677465726d05);
    std::vector<double> p(std::begin(kSpecials), std::end(kSpecials));
    add_unusual(p, draws);
    for (double t : {kLogNearOneLow, kLogNearOneHigh, 1.0, 1e-300, 0x1p-1022}) {
        add_around(p, t, 4);
        add_around(p, -t, 4);
    }
    add_uniform(p, draws, 2048, -3.0, 3.0);
    add_bit_patterns(p, draws, 2048);
    return p;
}

// Every x against a y that cycles through ys, and the reverse pairing.
PairProbes paired(const std::vector<double>& xs, const std::vector<double>& ys) {
    PairProbes p;
    for (std::size_t i = 0; i < xs.size(); ++i) add_pair(p, xs[i], ys[i % ys.size()]);
    for (std::size_t i = 0; i < ys.size(); ++i) add_pair(p, xs[(7 * i) % xs.size()], ys[i]);
    return p;
}

PairProbes pow_abs_probes() {
    Draws draws(0x706f776162730006);
    PairProbes p;
    add_pow_specials(p, 1.0);
    add_pow_specials(p, -1.0);
    for (int i = 0; i < 2048; ++i) add_pair(p, draws.uniform(-10.0, 10.0), draws.uniform(-30.0, 30.0));
    for (int i = 0; i < 512; ++i) add_pair(p, draws.uniform(-10.0, 10.0), 0.0);
    for (int i = 0; i < 512; ++i) add_pair(p, i % 2 == 0 ? 1.0 : -1.0, draws.any());
    return p;
}

}  // namespace

std::vector<double> unary_probes(Unary f) {
    switch (f) {
        case Unary::Exp: return exp_probes();
        case Unary::Log: return log_probes();
        case Unary::ExpTerm: return exp_term_probes();
        case Unary::LogTerm: return log_term_probes();
        case Unary::Sin:
        case Unary::Cos: return trig_probes();
    }
    return {};
}

PairProbes binary_probes(Binary f) {
    switch (f) {
        case Binary::Pow: return pow_probes();
        case Binary::PowAbs: return pow_abs_probes();
        case Binary::Tension:
        case Binary::Zyl: return paired(exp_term_probes(), log_term_probes());
    }
    return {};
}

bool reproduces(UnaryRun run, UnaryScalar scalar, std::span<const double> probes) {
    std::vector<double> out(probes.size());
    std::size_t begin = 0;
    for (std::size_t k = 0; begin < probes.size(); ++k) {
        const std::size_t len = std::min(kPieces[k % std::size(kPieces)], probes.size() - begin);
        run(probes.data() + begin, out.data() + begin, len, scalar);
        begin += len;
    }
    std::vector<double> in_place(probes.begin(), probes.end());
    run(in_place.data(), in_place.data(), in_place.size(), scalar);
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const double want = scalar(probes[i]);
        if (!same_bits(out[i], want) || !same_bits(in_place[i], want)) return false;
    }
    return true;
}

bool reproduces(BinaryRun run, BinaryScalar scalar, const PairProbes& probes) {
    const std::size_t n = probes.x.size();
    std::vector<double> out(n);
    std::size_t begin = 0;
    for (std::size_t k = 0; begin < n; ++k) {
        const std::size_t len = std::min(kPieces[k % std::size(kPieces)], n - begin);
        run(probes.x.data() + begin, probes.y.data() + begin, out.data() + begin, len, scalar);
        begin += len;
    }
    std::vector<double> in_place = probes.y;
    run(probes.x.data(), in_place.data(), in_place.data(), n, scalar);
    for (std::size_t i = 0; i < n; ++i) {
        const double want = scalar(probes.x[i], probes.y[i]);
        if (!same_bits(out[i], want) || !same_bits(in_place[i], want)) return false;
    }
    return true;
}

}  // namespace zyl::kernels::libm
