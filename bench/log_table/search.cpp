// Finds the C library's log table by its documented rule: for each of the
// 128 subintervals, among the doubles invc within 2^29 ulps of the one
// nearest 1/centre, the one for which
//   (1) logc, the double nearest log(c) = -log(invc), is a multiple of
//       2^-43, so that 0x1.8p9 + logc and k ln2hi + logc are exact;
//   (2) c = 1/invc as chi + clo (nearest doubles, for builds without FMA)
//       adds less than 2^-66 to r = (z - chi - clo) invc for every z of
//       the subinterval;
//   (3) |logc - log(c)| is smallest, and below 2^-66.
// Below 2^-66, (3) implies (1) (logc's ulp is at least 2^-61 here), so
// the search looks for the invc whose log lies nearest a multiple of
// 2^-43. A double-precision pass over all 2^30 candidates keeps those
// within 2^-20 of a multiple in units of 2^-43 (its own error is below
// 2^-31 there), and quad precision decides among them.
// Writes one offset per entry (invc = nearest double to 1/centre + offset
// ulps) to the file named by its argument; confirm.cpp checks them against
// the library, and make_tables.py builds the kernels' table from them.
// About two minutes on two cores:
//
//     cmake -S . -B build/bench -DZYL_BUILD_MODULE=OFF -DZYL_BUILD_BENCH=ON
//     cmake --build build/bench --target log_table_search log_table_confirm
//     build/bench/log_table_search bench/log_table/offsets.txt
//     build/bench/log_table_confirm bench/log_table/offsets.txt
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "entry.hpp"

namespace {

using namespace log_table;

constexpr std::int64_t kReach = std::int64_t{1} << 29;
constexpr double kPrefilterTolerance = 0x1p-20;  // units of 2^-43
constexpr int kBlock = 4096;

// Everything the double-precision pass needs about one entry: log(c) of
// invc_j = b + j u is L0 - log1p(t) with t = j u/b, and in units of 2^-43
// that is frac0 - 2^43 (t - t^2/2 + t^3/3) modulo 1 (t^4/4 is below 2^-92).
struct Series {
    double frac0;  // L0 2^43 less its nearest integer
    double t_per_step;  // u/b
    double lattice_per_step;  // 2^43 u/b
};

Series series_of(int i) {
    const double b = invc_of(i, 0);
    const __float128 scaled = log_c(b) * static_cast<__float128>(0x1p43);
    const __float128 ratio = static_cast<__float128>(invc_of(i, 1) - b) / b;
    return {static_cast<double>(scaled - roundq(scaled)), static_cast<double>(ratio),
            static_cast<double>(ratio * static_cast<__float128>(0x1p43))};
}

// How many offsets first .. first + kBlock - 1 come within the tolerance;
// the loop the search spends its time in, so it is cloned for wide
// registers and picked at run time.
__attribute__((target_clones("avx512f", "avx2", "default"))) int near_lattice(
    const Series& s, double first, double* distance) {
    constexpr double kRound = 0x1.8p52;  // rounds |x| < 2^51 to an integer
    int hits = 0;
    for (int n = 0; n < kBlock; ++n) {
        const double j = first + n;
        const double t = j * s.t_per_step;
        const double t2 = t * t;
        const double series = j * s.lattice_per_step - t2 * 0x1p42 + t2 * t * (0x1p43 / 3);
        const double x = s.frac0 - series;
        const double d = std::fabs(x - ((x + kRound) - kRound));
        distance[n] = d;
        hits += d < kPrefilterTolerance;
    }
    return hits;
}

struct Found {
    std::int64_t offset = 0;
    __float128 error = 1;  // |logc - log(c)|
    long candidates = 0;  // offsets the quad-precision test saw
};

// Criterion (2): without FMA, r = (z - chi - clo) invc with c = 1/invc as
// chi + clo, the nearest doubles. z - chi is exact (a multiple of z's ulp,
// 2^-53 or 2^-52); subtracting clo rounds to the grid of d = z - c, whose
// ulp is at most 2^-60 here, and the coarsest grid, that of the largest
// |d| over the subinterval, rounds worst (the finer ones hold its points).
// That rounding and chi + clo's own error, times invc, must stay below
// 2^-66 for every z of subinterval i.
bool c_splits_finely(int i, double invc) {
    const __float128 c = 1 / static_cast<__float128>(invc);
    const double chi = static_cast<double>(c);
    const double clo = static_cast<double>(c - chi);
    const double top = std::nextafter(subinterval_low(i + 1), 0.0);
    const __float128 widest = fmaxq(fabsq(subinterval_low(i) - c), fabsq(top - c));
    const __float128 grid = ldexpq(1, ilogbq(widest) - 52);
    const __float128 rounding = fabsq(clo - grid * roundq(clo / grid));
    return (rounding + fabsq(c - chi - clo)) * invc < static_cast<__float128>(0x1p-66);
}

Found search_entry(int i) {
    const Series s = series_of(i);
    Found best;
    std::vector<double> distance(kBlock);
    for (std::int64_t first = -kReach; first <= kReach; first += kBlock) {
        if (near_lattice(s, static_cast<double>(first), distance.data()) == 0) continue;
        for (int n = 0; n < kBlock && first + n <= kReach; ++n) {
            if (distance[n] >= kPrefilterTolerance) continue;
            const double invc = invc_of(i, first + n);
            const __float128 log_c_exact = log_c(invc);
            const double logc = static_cast<double>(log_c_exact);
            ++best.candidates;
            const bool exact_sum = (0x1.8p9 + logc) - 0x1.8p9 == logc;
            const __float128 error = fabsq(log_c_exact - logc);
            if (exact_sum && c_splits_finely(i, invc) && error < best.error) {
                best.offset = first + n;
                best.error = error;
            }
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: search OFFSETS_FILE\n");
        return 2;
    }
    std::vector<Found> found(kEntries);
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i; (i = next++) < kEntries;) {
            found[i] = search_entry(i);
            std::fprintf(stderr, "entry %3d: offset %+11lld, |logc - log c| = 2^%.2f, %ld candidates\n", i,
                         static_cast<long long>(found[i].offset), std::log2(static_cast<double>(found[i].error)),
                         found[i].candidates);
        }
    };
    std::thread other(work);
    work();
    other.join();
    bool complete = true;
    for (const Found& f : found) complete = complete && f.error < static_cast<__float128>(0x1p-66);
    if (!complete) {
        std::fprintf(stderr, "search: some entry has no candidate within 2^-66\n");
        return 1;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    for (const Found& f : found) std::fprintf(out, "%lld\n", static_cast<long long>(f.offset));
    return std::fclose(out) == 0 ? 0 : 1;
}
