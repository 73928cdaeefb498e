#pragma once
// Candidate formulas of the discovery engine: flat postfix node lists, and
// their evaluation on one sample or on whole variable columns. Evaluation
// never raises; every structural or arithmetic failure is "nothing".
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace zyl::discover {

// The code is the position; codes below 8 are unary, the rest binary.
enum class Op : std::uint8_t { Neg, Inv, Exp, Ln, Sqrt, Sin, Cos, Abs, Zyl, Add, Sub, Mul, Div };

constexpr unsigned arity(Op op) { return static_cast<std::uint8_t>(op) < 8 ? 1u : 2u; }

enum class NodeKind : std::uint8_t { Const, Param, Var, Op };

struct Node {
    NodeKind kind;
    Op op;              // Op nodes
    std::size_t index;  // Param slot or variable number
    double value;       // Const value, or a Param's stored fallback

    static constexpr Node constant(double v) { return {NodeKind::Const, Op::Neg, 0, v}; }
    static constexpr Node param(std::size_t slot, double fallback) {
        return {NodeKind::Param, Op::Neg, slot, fallback};
    }
    static constexpr Node var(std::size_t i) { return {NodeKind::Var, Op::Neg, i, 0.0}; }
    static constexpr Node operation(Op o) { return {NodeKind::Op, o, 0, 0.0}; }
};

// Expressions are copied wholesale by the search; keep nodes flat and small.
static_assert(sizeof(Node) <= 24);
static_assert(std::is_trivially_copyable_v<Node>);

// Nothing is checked on construction: an ill-formed list is rejected when it
// is evaluated. Expressions are never changed once built.
struct Expr {
    std::vector<Node> nodes;

    std::size_t complexity() const { return nodes.size(); }
};

// The three forms the search composes.
Expr leaf(Node n);
Expr extended(const Expr& child, Op unary);
Expr combined(const Expr& first, const Expr& second, Op binary);

using Columns = std::vector<std::vector<double>>;

// One sample: x holds one value per variable.
std::optional<double> eval(const Expr& expr, std::span<const double> x, std::span<const double> params);

// All samples at once, column-wise. The sample count is the length of the
// first column; no columns at all, or a column shorter than the first, gives
// nothing rather than a read past its end.
std::optional<std::vector<double>> eval_batch(const Expr& expr, std::span<const std::vector<double>> columns,
                                              std::span<const double> params);

// The same result computed row by row through eval; the reference for the
// column-wise path.
std::optional<std::vector<double>> eval_batch_by_sample(const Expr& expr, std::span<const std::vector<double>> columns,
                                                        std::span<const double> params);

// Applies one operation element-wise: out[i] = op(a[i], b[i]) (b unused for
// unary operations, may be null then). Returns false when any element is
// rejected by the operation's guard or is not finite. out may alias a.
bool apply_column(Op op, const double* a, const double* b, double* out, std::size_t n);

// apply_column over n consecutive groups of `group` elements at once, with
// one verdict per group: ok[g] is 1 where apply_column would return true
// for group g alone, and out holds the same values. out may not alias a or
// b.
void apply_groups(Op op, const double* a, const double* b, double* out, std::size_t group, std::size_t n,
                  std::uint8_t* ok);

// Reusable scratch for column-wise evaluation, so repeated evaluations on one
// thread allocate nothing once warm.
class ColumnEvaluator {
public:
    // Evaluates every one of the n samples; each column pointer must hold at
    // least n values. False when some sample gives nothing.
    bool run(const Expr& expr, std::span<const double* const> columns, std::size_t n,
             std::span<const double> params);

    // The n values of the last successful run; they may live in an input
    // column and stay valid until the next run.
    std::span<const double> values() const { return {result_, n_}; }

private:
    std::vector<double> scratch_;  // one n-long slot per stack depth
    std::vector<const double*> stack_;
    const double* result_ = nullptr;
    std::size_t n_ = 0;
};

// Column pointers and sample count of the user's data, or nothing when the
// data breaks the batch precondition (no columns, a column shorter than the
// first).
struct ColumnView {
    std::vector<const double*> columns;
    std::size_t samples = 0;
};
std::optional<ColumnView> view_columns(std::span<const std::vector<double>> columns);

}  // namespace zyl::discover
