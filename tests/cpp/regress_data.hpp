#pragma once
// Deterministic sample data for the regression engine's tests.
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "regress/formula.hpp"

namespace zyl::test {

// n samples of d variables in [lo, hi), from a fixed linear congruential
// sequence, and the targets of `law` on them.
struct LawData {
    std::vector<std::vector<double>> cols;
    std::vector<const double*> ptrs;
    std::vector<double> y;

    LawData(std::size_t d, std::size_t n, double lo, double hi,
            const std::function<double(const std::vector<double>&)>& law) {
        std::uint64_t state = 12345;
        cols.assign(d, std::vector<double>(n));
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < d; ++j) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                cols[j][i] = lo + (hi - lo) * static_cast<double>(state >> 11) / 9007199254740992.0;
            }
        for (auto& c : cols) ptrs.push_back(c.data());
        std::vector<double> row(d);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < d; ++j) row[j] = cols[j][i];
            y.push_back(law(row));
        }
    }
    regress::Columns view() const { return {ptrs, y.size()}; }
};

// The total sum of squares of y about its mean: the scale errors are
// judged against.
inline double total_ss(const std::vector<double>& y) {
    double mean = 0.0, ss = 0.0;
    for (double v : y) mean += v / static_cast<double>(y.size());
    for (double v : y) ss += (v - mean) * (v - mean);
    return ss;
}

}  // namespace zyl::test
