// Column-wise against row-by-row batch evaluation: nanoseconds per node per
// sample, median over repeats.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "discover/expr.hpp"
#include "discover/render.hpp"

using namespace zyl::discover;

namespace {

Node C(double v) { return Node::constant(v); }
Node V(std::size_t i) { return Node::var(i); }
Node O(Op op) { return Node::operation(op); }

template <class F>
double median_ns(F&& f, int repeats, int inner) {
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < inner; ++i) f();
        auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() / inner);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    const std::vector<Expr> exprs{
        Expr{{V(0), C(1.0), O(Op::Add)}},
        Expr{{V(0), V(0), O(Op::Mul), V(1), O(Op::Sub), C(1.0), O(Op::Add), V(0), O(Op::Div)}},
        Expr{{V(0), V(0), O(Op::Mul), C(1.0), O(Op::Add), O(Op::Ln)}},
        Expr{{V(0), O(Op::Sin), V(1), O(Op::Cos), O(Op::Mul), O(Op::Exp)}},
        Expr{{V(0), V(1), O(Op::Zyl), O(Op::Sqrt)}},
    };
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> val(0.5, 3.0);
    std::printf("%-44s %7s %12s %12s %8s\n", "expression", "samples", "column ns", "row ns", "speedup");
    for (std::size_t n : {50u, 200u, 1000u}) {
        zyl::discover::Columns cols(2, std::vector<double>(n));
        for (auto& c : cols)
            for (double& v : c) v = val(rng);
        for (const Expr& e : exprs) {
            const int inner = static_cast<int>(200000 / n);
            volatile double sink = 0;
            double col = median_ns([&] { sink = sink + (*eval_batch(e, cols, {}))[0]; }, 15, inner);
            double row = median_ns([&] { sink = sink + (*eval_batch_by_sample(e, cols, {}))[0]; }, 15, inner);
            const double per = static_cast<double>(e.complexity() * n);
            std::printf("%-44s %7zu %12.2f %12.2f %7.2fx\n", to_string(e).c_str(), n, col / per, row / per, row / col);
        }
    }
}
