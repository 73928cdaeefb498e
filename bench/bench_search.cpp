// The search with default parameters on noisy data that never meets the
// precision goal, so every level runs.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "discover/search.hpp"

using namespace zyl::discover;

namespace {

struct Problem {
    const char* name;
    std::size_t vars;
    std::size_t samples;
    double (*f)(const double*);
};

}  // namespace

int main() {
    const Problem problems[] = {
        {"x*x + sin(x) + noise", 1, 50, [](const double* v) { return v[0] * v[0] + std::sin(v[0]); }},
        {"x*y + ln(x) + noise", 2, 100, [](const double* v) { return v[0] * v[1] + std::log(v[0]); }},
        {"x*y - z/x + noise", 3, 200, [](const double* v) { return v[0] * v[1] - v[2] / v[0]; }},
    };
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> val(0.5, 3.0);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::printf("%-24s %4s %7s %9s %11s %10s %12s  %s\n", "problem", "vars", "samples", "wall s", "generated",
                "scored", "scored/s", "best");
    for (const Problem& p : problems) {
        Columns cols(p.vars, std::vector<double>(p.samples));
        std::vector<double> targets(p.samples);
        for (std::size_t i = 0; i < p.samples; ++i) {
            double row[3];
            for (std::size_t j = 0; j < p.vars; ++j) row[j] = cols[j][i] = val(rng);
            targets[i] = p.f(row) + noise(rng);
        }
        auto t0 = std::chrono::steady_clock::now();
        SearchOutcome out = search(cols, targets, p.vars, SearchParams{});
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%-24s %4zu %7zu %9.3f %11zu %10zu %12.0f  %s (error %.3g)\n", p.name, p.vars, p.samples, wall,
                    out.generated, out.scored, static_cast<double>(out.scored) / wall,
                    out.best ? out.best->formula.c_str() : "-", out.best ? out.best->error : 0.0);
    }
}
