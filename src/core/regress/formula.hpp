#pragma once
// Formulas of the regression engine: postfix term lists whose constants may
// be fitted to data and may carry an exact form p/q * basis. Evaluation is
// column-wise over all samples and never raises; a guard failure or a
// non-finite value anywhere makes the whole evaluation fail.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "pool/worker_pool.hpp"

namespace zyl::regress {

// Unary operations first (codes below kFirstBinary), then binary ones.
enum class Fn : std::uint8_t { Neg, Inv, Exp, Log, Sqrt, Sin, Cos, Abs, Square, Zyl, Add, Sub, Mul, Div };
inline constexpr std::uint8_t kFirstBinary = 9;
inline constexpr std::uint8_t kFnCount = 14;

constexpr unsigned arity(Fn f) { return static_cast<std::uint8_t>(f) < kFirstBinary ? 1u : 2u; }
std::string_view fn_name(Fn f);
std::optional<Fn> fn_from_name(std::string_view name);

// The irrational factors an exact constant may carry.
enum class Basis : std::uint8_t { One, Pi, PiSquared, E, SqrtTwoPi, SqrtTwo, SqrtPi };
inline constexpr std::uint8_t kBasisCount = 7;
std::string_view basis_name(Basis b);
std::optional<Basis> basis_from_name(std::string_view name);

struct Exact {
    std::int32_t p;
    std::int32_t q;  // positive, and p/q in lowest terms
    Basis basis;
};
// The double nearest p/q * basis.
double exact_value(const Exact& x);

enum class Kind : std::uint8_t { Var, Const, Op };

struct Term {
    Kind kind;
    Fn fn;
    bool fitted;     // a constant that came from fitting (its value is a result)
    bool has_exact;  // value is exact_value(exact)
    std::uint32_t var;
    Exact exact;
    double value;

    static Term variable(std::uint32_t j) { return {Kind::Var, Fn::Neg, false, false, j, {0, 1, Basis::One}, 0.0}; }
    static Term constant(double v, bool fitted) {
        return {Kind::Const, Fn::Neg, fitted, false, 0, {0, 1, Basis::One}, v};
    }
    static Term exact_constant(const Exact& x, bool fitted) {
        return {Kind::Const, Fn::Neg, fitted, true, 0, x, exact_value(x)};
    }
    static Term operation(Fn f) { return {Kind::Op, f, false, false, 0, {0, 1, Basis::One}, 0.0}; }

    // A constant the fitter may still move.
    bool free() const { return kind == Kind::Const && fitted && !has_exact; }
};

using Formula = std::vector<Term>;

// Element-wise out[i] = f(a[i], b[i]) for the n samples (b unused by unary
// operations); false when a guard rejects an element or a result is not
// finite. out may alias a or b.
bool apply(Fn f, const double* a, const double* b, double* out, std::size_t n);

// Column pointers of the input data (one per variable), the sample count,
// and the step from one sample to the next within a column, in doubles: 1
// for columns stored on their own, the row length for the rows of a
// row-major table. Only the stages that read every row (row samples, row
// blocks, the noise estimate) take a step other than 1: they read such a
// table where it lies, without a copy of it, and hand the rest columns of
// their own.
struct Columns {
    std::span<const double* const> columns;
    std::size_t samples = 0;
    std::ptrdiff_t stride = 1;

    double at(std::size_t variable, std::size_t sample) const {
        return columns[variable][static_cast<std::ptrdiff_t>(sample) * stride];
    }
};

// The most terms a formula may have. The search builds formulas of a few
// dozen terms; the bound caps what a formula made by hand or read back from
// storage can cost to evaluate, render or export.
inline constexpr std::size_t kMaxTerms = 256;

// True when the list is a well-formed postfix formula of at most kMaxTerms
// terms over `n_vars` variables with known operations.
bool well_formed(const Formula& f, std::size_t n_vars);

// Reusable scratch for evaluating whole formulas on one thread.
class Evaluator {
public:
    // False when the formula is ill-formed or some sample fails.
    bool run(const Formula& f, const Columns& data);
    // After a run on a well-formed formula: one value per sample, NaN where
    // the sample failed. They may live in an input column and stay valid
    // until the next run.
    bool formed() const { return formed_; }
    std::span<const double> values() const { return {result_, n_}; }

private:
    std::vector<double> scratch_;
    std::vector<const double*> stack_;
    const double* result_ = nullptr;
    std::size_t n_ = 0;
    bool formed_ = false;
};

// Input data in any layout: the value of variable j in sample i is the
// double at base + j * variable_stride + i * sample_stride (strides in
// bytes, of any sign, the address not necessarily aligned).
struct SampleTable {
    const std::byte* base;
    std::size_t variables;
    std::size_t samples;
    std::ptrdiff_t variable_stride;
    std::ptrdiff_t sample_stride;

    double at(std::size_t variable, std::size_t sample) const;
};

// out[i] = the value of `f` on sample i, NaN where the sample fails and
// everywhere when the formula is ill-formed. The samples are taken in blocks
// on the worker pool, each block's variables copied into columns first, so
// the scratch space depends on the formula only, never on the sample count.
// False when the work stopped early (`control` cancelled it): out is then
// incomplete.
bool evaluate_samples(const Formula& f, const SampleTable& data, double* out, const MapControl& control = {});

}  // namespace zyl::regress
