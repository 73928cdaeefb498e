// The search with default parameters on noisy data that never meets the
// precision goal, so every level runs: wall time, candidates scored per
// second and nanoseconds per sample per candidate.
//
//   bench_search              the built-in problems (1-3 variables, 200 to
//                             10,000 samples)
//   bench_search FILE         one problem read from FILE: two little-endian
//                             u64 (variables, samples), then each column,
//                             then the targets, as doubles; prints one line
//                             "generated scored wall_s formula error"
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "discover/search.hpp"

using namespace zyl::discover;

namespace {

struct Timed {
    SearchOutcome outcome;
    double wall;
};

Timed timed_search(const Columns& cols, const std::vector<double>& targets) {
    auto t0 = std::chrono::steady_clock::now();
    SearchOutcome out = search(cols, targets, cols.size(), SearchParams{});
    return {std::move(out), std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count()};
}

bool read_problem(const char* path, Columns& cols, std::vector<double>& targets) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::uint64_t head[2];
    bool ok = std::fread(head, sizeof head, 1, f) == 1;
    if (ok) {
        cols.assign(head[0], std::vector<double>(head[1]));
        targets.resize(head[1]);
        for (auto& c : cols) ok = ok && std::fread(c.data(), sizeof(double), c.size(), f) == c.size();
        ok = ok && std::fread(targets.data(), sizeof(double), targets.size(), f) == targets.size();
    }
    std::fclose(f);
    return ok;
}

double target(std::size_t vars, const double* v) {
    if (vars == 1) return v[0] * v[0] + std::sin(v[0]);
    if (vars == 2) return v[0] * v[1] + std::log(v[0]);
    return v[0] * v[1] - v[2] / v[0];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        Columns cols;
        std::vector<double> targets;
        if (!read_problem(argv[1], cols, targets)) {
            std::fprintf(stderr, "cannot read a problem from %s\n", argv[1]);
            return 1;
        }
        Timed t = timed_search(cols, targets);
        std::printf("%zu %zu %.6f %s %a\n", t.outcome.generated, t.outcome.scored, t.wall,
                    t.outcome.best ? t.outcome.best->formula.c_str() : "-", t.outcome.best ? t.outcome.best->error : 0.0);
        return 0;
    }
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> val(0.5, 3.0);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::printf("%4s %7s %9s %11s %10s %12s %14s  %s\n", "vars", "samples", "wall s", "generated", "scored",
                "scored/s", "ns/sample/cand", "best");
    for (std::size_t vars : {1u, 2u, 3u}) {
        for (std::size_t samples : {200u, 2000u, 10000u}) {
            Columns cols(vars, std::vector<double>(samples));
            std::vector<double> targets(samples);
            for (std::size_t i = 0; i < samples; ++i) {
                double row[3];
                for (std::size_t j = 0; j < vars; ++j) row[j] = cols[j][i] = val(rng);
                targets[i] = target(vars, row) + noise(rng);
            }
            Timed t = timed_search(cols, targets);
            const double scored = static_cast<double>(t.outcome.scored);
            std::printf("%4zu %7zu %9.3f %11zu %10zu %12.0f %14.3f  %s\n", vars, samples, t.wall,
                        t.outcome.generated, t.outcome.scored, scored / t.wall,
                        t.wall * 1e9 / (scored * static_cast<double>(samples)),
                        t.outcome.best ? t.outcome.best->formula.c_str() : "-");
        }
    }
}
