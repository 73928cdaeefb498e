#include "formula.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "discover/op_rules.hpp"
#include "discover/vector_values.hpp"
#include "rule_lanes.hpp"

namespace zyl::regress {
namespace {

constexpr std::array<std::string_view, kFnCount> kFnNames{"neg", "inv", "exp", "log",  "sqrt", "sin", "cos",
                                                          "abs", "square", "zyl", "add", "sub", "mul", "div"};
constexpr std::array<std::string_view, kBasisCount> kBasisNames{"1", "pi", "pi**2", "e", "sqrt(2*pi)", "sqrt(2)",
                                                                "sqrt(pi)"};
// Bases to 64-bit precision, so that p/q * basis rounds once more to the
// nearest double in all but the rarest ties.
constexpr std::array<long double, kBasisCount> kBasisValues{
    1.0L,
    3.14159265358979323846264338327950288L,
    9.86960440108935861883449099987615114L,
    2.71828182845904523536028747135266250L,
    2.50662827463100050241576528481104525L,
    1.41421356237309504880168872420969808L,
    1.77245385090551602729816748334114518L,
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Operations with vector kernels take their values a piece at a time, the
// piece's inputs copied first since out may be one of them.
template <discover::Op op>
bool map_vector_rule(const double* a, const double* b, double* out, std::size_t n) {
    constexpr std::size_t kPiece = 256;
    bool ok = true;
    for (std::size_t begin = 0; begin < n; begin += kPiece) {
        const std::size_t len = std::min(kPiece, n - begin);
        double as[kPiece], bs[kPiece], values[kPiece];
        std::copy_n(a + begin, len, as);
        if (b != nullptr) std::copy_n(b + begin, len, bs);
        discover::vector_values<op>(as, bs, values, len);
        for (std::size_t i = 0; i < len; ++i) {
            const bool good = discover::rules::accepts<op>(as[i], b != nullptr ? bs[i] : 0.0) &&
                              discover::rules::finite(values[i]);
            out[begin + i] = good ? values[i] : kNaN;
            ok = ok && good;
        }
    }
    return ok;
}

// The shared guards and values of the discovery rules, with a failing
// element written as NaN so that lenient callers keep the other samples.
// The one-operation rules take four samples at a time where the processor
// has AVX2 (rule_lanes.hpp), the rest of the samples one by one.
template <discover::Op op, Fn f>
bool map_rule(const double* a, const double* b, double* out, std::size_t n) {
    if constexpr (discover::kHasVectorValues<op>) return map_vector_rule<op>(a, b, out, n);
    bool ok = true;
    std::size_t i = 0;
    if constexpr (lanes::kHasLanes<f>) {
        if (lanes::has_avx2()) {
            ok = lanes::map_four<f>(a, b, out, n);
            i = n - n % 4;
        }
    }
    for (; i < n; ++i) {
        const double x = a[i];
        const double y = b != nullptr ? b[i] : 0.0;
        const double r = discover::rules::value<op>(x, y);
        const bool good = discover::rules::accepts<op>(x, y) && discover::rules::finite(r);
        out[i] = good ? r : kNaN;
        ok = ok && good;
    }
    return ok;
}

bool map_square(const double* a, double* out, std::size_t n) {
    bool ok = true;
    std::size_t i = 0;
    if (lanes::has_avx2()) {
        ok = lanes::map_four<Fn::Square>(a, nullptr, out, n);
        i = n - n % 4;
    }
    for (; i < n; ++i) {
        const double r = a[i] * a[i];
        const bool good = discover::rules::finite(r);
        out[i] = good ? r : kNaN;
        ok = ok && good;
    }
    return ok;
}

}  // namespace

std::string_view fn_name(Fn f) { return kFnNames[static_cast<std::uint8_t>(f)]; }

std::optional<Fn> fn_from_name(std::string_view name) {
    for (std::uint8_t i = 0; i < kFnCount; ++i)
        if (kFnNames[i] == name) return static_cast<Fn>(i);
    return std::nullopt;
}

std::string_view basis_name(Basis b) { return kBasisNames[static_cast<std::uint8_t>(b)]; }

std::optional<Basis> basis_from_name(std::string_view name) {
    for (std::uint8_t i = 0; i < kBasisCount; ++i)
        if (kBasisNames[i] == name) return static_cast<Basis>(i);
    return std::nullopt;
}

double exact_value(const Exact& x) {
    // p and q are exact doubles, so one division rounds p/q correctly.
    if (x.basis == Basis::One) return static_cast<double>(x.p) / static_cast<double>(x.q);
    const long double v = static_cast<long double>(x.p) * kBasisValues[static_cast<std::uint8_t>(x.basis)] /
                          static_cast<long double>(x.q);
    return static_cast<double>(v);
}

bool apply(Fn f, const double* a, const double* b, double* out, std::size_t n) {
    using discover::Op;
    switch (f) {
        case Fn::Neg: return map_rule<Op::Neg, Fn::Neg>(a, nullptr, out, n);
        case Fn::Inv: return map_rule<Op::Inv, Fn::Inv>(a, nullptr, out, n);
        case Fn::Exp: return map_rule<Op::Exp, Fn::Exp>(a, nullptr, out, n);
        case Fn::Log: return map_rule<Op::Ln, Fn::Log>(a, nullptr, out, n);
        case Fn::Sqrt: return map_rule<Op::Sqrt, Fn::Sqrt>(a, nullptr, out, n);
        case Fn::Sin: return map_rule<Op::Sin, Fn::Sin>(a, nullptr, out, n);
        case Fn::Cos: return map_rule<Op::Cos, Fn::Cos>(a, nullptr, out, n);
        case Fn::Abs: return map_rule<Op::Abs, Fn::Abs>(a, nullptr, out, n);
        case Fn::Square: return map_square(a, out, n);
        case Fn::Zyl: return map_rule<Op::Zyl, Fn::Zyl>(a, b, out, n);
        case Fn::Add: return map_rule<Op::Add, Fn::Add>(a, b, out, n);
        case Fn::Sub: return map_rule<Op::Sub, Fn::Sub>(a, b, out, n);
        case Fn::Mul: return map_rule<Op::Mul, Fn::Mul>(a, b, out, n);
        case Fn::Div: return map_rule<Op::Div, Fn::Div>(a, b, out, n);
    }
    return false;
}

namespace {

std::optional<std::size_t> required_depth(const Formula& f, std::size_t n_vars) {
    if (f.size() > kMaxTerms) return std::nullopt;
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (const Term& t : f) {
        switch (t.kind) {
            case Kind::Var:
                if (t.var >= n_vars) return std::nullopt;
                deepest = std::max(deepest, ++depth);
                break;
            case Kind::Const:
                deepest = std::max(deepest, ++depth);
                break;
            case Kind::Op: {
                if (static_cast<std::uint8_t>(t.fn) >= kFnCount) return std::nullopt;
                const unsigned k = arity(t.fn);
                if (depth < k) return std::nullopt;
                depth -= k - 1;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    if (depth != 1) return std::nullopt;
    return deepest;
}

}  // namespace

bool well_formed(const Formula& f, std::size_t n_vars) { return required_depth(f, n_vars).has_value(); }

bool Evaluator::run(const Formula& f, const Columns& data) {
    const std::size_t n = data.samples;
    n_ = n;
    result_ = nullptr;
    formed_ = false;
    auto deepest = required_depth(f, data.columns.size());
    if (!deepest) return false;
    if (scratch_.size() < *deepest * n) scratch_.resize(*deepest * n);
    stack_.clear();
    double* scratch = scratch_.data();
    bool ok = true;
    for (const Term& t : f) {
        double* slot = scratch + stack_.size() * n;
        switch (t.kind) {
            case Kind::Const:
                std::fill(slot, slot + n, t.value);
                stack_.push_back(slot);
                break;
            case Kind::Var:
                stack_.push_back(data.columns[t.var]);
                break;
            case Kind::Op: {
                const double* b = nullptr;
                if (arity(t.fn) == 2) {
                    b = stack_.back();
                    stack_.pop_back();
                }
                double* out = scratch + (stack_.size() - 1) * n;
                ok = apply(t.fn, stack_.back(), b, out, n) && ok;
                stack_.back() = out;
                break;
            }
        }
    }
    result_ = stack_.front();
    // Leaves are not checked by the operations: a non-finite input value
    // or constant that reaches the result unchanged is a failure too.
    for (std::size_t i = 0; i < n && ok; ++i) ok = discover::rules::finite(result_[i]);
    formed_ = true;
    return ok;
}

double SampleTable::at(std::size_t variable, std::size_t sample) const {
    double v;
    std::memcpy(&v,
                base + static_cast<std::ptrdiff_t>(variable) * variable_stride +
                    static_cast<std::ptrdiff_t>(sample) * sample_stride,
                sizeof v);
    return v;
}

namespace {

// A block's scratch holds (depth + variables used) x rows doubles: about
// this many, so that it stays in the cache, with rows between the bounds
// below.
constexpr std::size_t kBlockScratchDoubles = std::size_t{1} << 16;
constexpr std::size_t kMinBlockRows = 16;
constexpr std::size_t kMaxBlockRows = 4096;
// Estimated nanoseconds per term and sample, for the pool's hand-off.
constexpr double kTermSampleNs = 3.0;

// One worker's copy of a block's variables, as the columns the evaluator
// reads (variables the formula does not use stay null).
struct BlockColumns {
    std::vector<double> values;
    std::vector<const double*> columns;
    Evaluator evaluator;
};

}  // namespace

bool evaluate_samples(const Formula& f, const SampleTable& data, double* out, const MapControl& control) {
    const std::size_t n = data.samples;
    const auto depth = required_depth(f, data.variables);
    if (!depth) {
        std::fill(out, out + n, kNaN);
        return true;
    }
    std::vector<std::uint32_t> used;
    for (const Term& t : f)
        if (t.kind == Kind::Var && std::find(used.begin(), used.end(), t.var) == used.end()) used.push_back(t.var);
    const std::size_t rows =
        std::clamp(kBlockScratchDoubles / (*depth + used.size()), kMinBlockRows, kMaxBlockRows);
    std::vector<BlockColumns> blocks(WorkerPool::instance().worker_slots());
    for (BlockColumns& b : blocks) {
        b.values.resize(used.size() * rows);
        b.columns.assign(data.variables, nullptr);
        for (std::size_t q = 0; q < used.size(); ++q) b.columns[used[q]] = b.values.data() + q * rows;
    }
    MapControl block_control = control;
    block_control.element_cost_ns = kTermSampleNs * static_cast<double>(f.size() * rows);
    const std::size_t n_blocks = (n + rows - 1) / rows;
    const std::size_t done = parallel_for_workers(n_blocks, [&](std::size_t worker, std::size_t k) {
        const std::size_t first = k * rows;
        const std::size_t count = std::min(rows, n - first);
        BlockColumns& b = blocks[worker];
        for (std::size_t q = 0; q < used.size(); ++q)
            for (std::size_t i = 0; i < count; ++i) b.values[q * rows + i] = data.at(used[q], first + i);
        b.evaluator.run(f, {b.columns, count});
        const std::span<const double> values = b.evaluator.values();
        std::copy(values.begin(), values.end(), out + first);
    }, block_control);
    return done == n_blocks;
}

}  // namespace zyl::regress
