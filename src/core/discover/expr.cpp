#include "expr.hpp"

#include <algorithm>
#include <memory>

#include "column_lanes.hpp"
#include "op_rules.hpp"
#include "vector_values.hpp"

namespace zyl::discover {

Expr leaf(Node n) { return Expr{{n}}; }

Expr extended(const Expr& child, Op unary) {
    Expr e;
    e.nodes.reserve(child.nodes.size() + 1);
    e.nodes.insert(e.nodes.end(), child.nodes.begin(), child.nodes.end());
    e.nodes.push_back(Node::operation(unary));
    return e;
}

Expr combined(const Expr& first, const Expr& second, Op binary) {
    Expr e;
    e.nodes.reserve(first.nodes.size() + second.nodes.size() + 1);
    e.nodes.insert(e.nodes.end(), first.nodes.begin(), first.nodes.end());
    e.nodes.insert(e.nodes.end(), second.nodes.begin(), second.nodes.end());
    e.nodes.push_back(Node::operation(binary));
    return e;
}

bool apply_column(Op op, const double* a, const double* b, double* out, std::size_t n) {
    if (!rules::known(op)) return false;
    return rules::dispatch(op, [&]<Op o>() {
        // Accumulating the verdict instead of branching keeps the cheap
        // operations vectorisable; the values are the same either way.
        bool ok = true;
        if constexpr (kHasVectorValues<o>) {
            if (n >= kVectorValuesMin) {
                // The guards read the inputs before out, which may be one
                // of them, is written.
                for (std::size_t i = 0; i < n; ++i) ok &= rules::accepts<o>(a[i], arity(o) == 2 ? b[i] : 0.0);
                vector_values<o>(a, b, out, n);
                for (std::size_t i = 0; i < n; ++i) ok &= rules::finite(out[i]);
                return ok;
            }
        }
        std::size_t i = 0;
        if constexpr (!kHasVectorValues<o>) {
            if (lanes::has_avx2()) {
                ok = lanes::values_four<o>(a, b, out, n);
                i = n - n % 4;
            }
        }
        for (; i < n; ++i) {
            double ai = a[i];
            double bi = arity(o) == 2 ? b[i] : 0.0;
            double r = rules::value<o>(ai, bi);
            ok &= rules::accepts<o>(ai, bi) & rules::finite(r);
            out[i] = r;
        }
        return ok;
    });
}

void apply_groups(Op op, const double* a, const double* b, double* out, std::size_t group, std::size_t n,
                  std::uint8_t* ok) {
    if (!rules::known(op)) {
        std::fill(ok, ok + n, std::uint8_t{0});
        return;
    }
    rules::dispatch(op, [&]<Op o>() {
        // The values element by element do not depend on how the elements
        // are cut into runs, so one run serves every group.
        const std::size_t total = group * n;
        if constexpr (kHasVectorValues<o>) {
            vector_values<o>(a, b, out, total);
        } else {
            std::size_t i = 0;
            if (lanes::has_avx2()) {
                lanes::values_four<o>(a, b, out, total);
                i = total - total % 4;
            }
            for (; i < total; ++i) out[i] = rules::value<o>(a[i], arity(o) == 2 ? b[i] : 0.0);
        }
        for (std::size_t g = 0; g < n; ++g) {
            bool fine = true;
            for (std::size_t i = g * group; i < (g + 1) * group; ++i)
                fine &= rules::accepts<o>(a[i], arity(o) == 2 ? b[i] : 0.0) & rules::finite(out[i]);
            ok[g] = fine;
        }
    });
}

namespace {

// Small expressions keep their stack in the frame; larger ones get one heap
// buffer sized to the node count (no node pushes more than one entry).
class ValueStack {
public:
    explicit ValueStack(std::size_t capacity) {
        if (capacity > kInline) {
            heap_ = std::make_unique<double[]>(capacity);
            data_ = heap_.get();
        }
    }
    double* data() { return data_; }

private:
    static constexpr std::size_t kInline = 32;
    double inline_[kInline];
    std::unique_ptr<double[]> heap_;
    double* data_ = inline_;
};

}  // namespace

std::optional<double> eval(const Expr& expr, std::span<const double> x, std::span<const double> params) {
    const std::size_t count = expr.nodes.size();
    if (count == 0) return std::nullopt;
    ValueStack buffer(count);
    double* stack = buffer.data();
    std::size_t depth = 0;
    for (const Node& node : expr.nodes) {
        switch (node.kind) {
            case NodeKind::Const:
                stack[depth++] = node.value;
                break;
            case NodeKind::Param:
                stack[depth++] = node.index < params.size() ? params[node.index] : node.value;
                break;
            case NodeKind::Var:
                if (node.index >= x.size()) return std::nullopt;
                stack[depth++] = x[node.index];
                break;
            case NodeKind::Op: {
                const unsigned k = arity(node.op);
                if (depth < k) return std::nullopt;
                double* a = stack + depth - k;
                if (!apply_column(node.op, a, a + 1, a, 1)) return std::nullopt;
                depth -= k - 1;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    if (depth != 1) return std::nullopt;
    return stack[0];
}

std::optional<ColumnView> view_columns(std::span<const std::vector<double>> columns) {
    if (columns.empty()) return std::nullopt;
    ColumnView view;
    view.samples = columns.front().size();
    view.columns.reserve(columns.size());
    for (const auto& column : columns) {
        if (column.size() < view.samples) return std::nullopt;
        view.columns.push_back(column.data());
    }
    return view;
}

std::optional<std::vector<double>> eval_batch(const Expr& expr, std::span<const std::vector<double>> columns,
                                              std::span<const double> params) {
    auto view = view_columns(columns);
    if (!view) return std::nullopt;
    ColumnEvaluator evaluator;
    if (!evaluator.run(expr, view->columns, view->samples, params)) return std::nullopt;
    auto values = evaluator.values();
    return std::vector<double>(values.begin(), values.end());
}

std::optional<std::vector<double>> eval_batch_by_sample(const Expr& expr, std::span<const std::vector<double>> columns,
                                                        std::span<const double> params) {
    auto view = view_columns(columns);
    if (!view) return std::nullopt;
    std::vector<double> out;
    out.reserve(view->samples);
    std::vector<double> row(view->columns.size());
    for (std::size_t i = 0; i < view->samples; ++i) {
        for (std::size_t j = 0; j < row.size(); ++j) row[j] = view->columns[j][i];
        auto v = eval(expr, row, params);
        if (!v) return std::nullopt;
        out.push_back(*v);
    }
    return out;
}

namespace {

// Stack depth the expression needs, or nothing when it is ill-formed for
// `n_columns` variables. Such an expression fails on every sample, so the
// column-wise pass can reject it before touching the data.
std::optional<std::size_t> required_depth(const Expr& expr, std::size_t n_columns) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (const Node& node : expr.nodes) {
        switch (node.kind) {
            case NodeKind::Var:
                if (node.index >= n_columns) return std::nullopt;
                [[fallthrough]];
            case NodeKind::Const:
            case NodeKind::Param:
                deepest = std::max(deepest, ++depth);
                break;
            case NodeKind::Op: {
                if (!rules::known(node.op)) return std::nullopt;
                const unsigned k = arity(node.op);
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

bool ColumnEvaluator::run(const Expr& expr, std::span<const double* const> columns, std::size_t n,
                          std::span<const double> params) {
    n_ = n;
    result_ = nullptr;
    // Row by row, no sample means no evaluation and an empty result, whatever
    // the expression.
    if (n == 0) return true;
    auto deepest = required_depth(expr, columns.size());
    if (!deepest) return false;
    if (scratch_.size() < *deepest * n) scratch_.resize(*deepest * n);
    stack_.clear();
    double* scratch = scratch_.data();
    for (const Node& node : expr.nodes) {
        double* slot = scratch + stack_.size() * n;
        switch (node.kind) {
            case NodeKind::Const:
            case NodeKind::Param: {
                double v = node.kind == NodeKind::Param && node.index < params.size() ? params[node.index] : node.value;
                std::fill(slot, slot + n, v);
                stack_.push_back(slot);
                break;
            }
            case NodeKind::Var:
                stack_.push_back(columns[node.index]);
                break;
            case NodeKind::Op: {
                const double* b = nullptr;
                if (arity(node.op) == 2) {
                    b = stack_.back();
                    stack_.pop_back();
                }
                // The result goes to the slot of the first operand's depth:
                // in place when that operand is already scratch, never over
                // the second operand or an input column.
                double* out = scratch + (stack_.size() - 1) * n;
                if (!apply_column(node.op, stack_.back(), b, out, n)) return false;
                stack_.back() = out;
                break;
            }
        }
    }
    result_ = stack_.front();
    return true;
}

}  // namespace zyl::discover
