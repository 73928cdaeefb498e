#pragma once
// The reading form of a formula: sums flattened into signed term lists,
// products and quotients into one coefficient times powers of distinct
// bases, both in a fixed order, so that every assembly order of one formula
// gives the same form. It is for printing only; the engine evaluates the
// postfix terms themselves.
//
// Rules: equal bases of a product merge their powers (x*x**2 is x**3,
// sqrt(x)*x is x**(3/2), (x**3)**2 is x**6); a square root stays a root of
// its operand unless that operand is a single odd power (sqrt(x**3) is
// x**(3/2), sqrt(x**2) is not x); constants multiply into the coefficient
// and add into one constant term, exactly while they are exact; like terms
// of a sum are not collected; a sum of negative terms raised to an integer
// power gives its sign to the coefficient; zeros never cancel (0.0/0.0 stays).
// zyl(a, b) reads as exp(a) - log(b).
#include <cstdint>
#include <optional>
#include <vector>

#include "formula.hpp"
#include "tidy_key.hpp"

namespace zyl::regress::tidy {

using NodeId = std::uint32_t;

// p/q in lowest terms with q > 0, or a double when `inexact`; `value` is the
// double in both cases.
struct Number {
    bool inexact = false;
    double value = 1.0;
    std::int64_t p = 1;
    std::int64_t q = 1;
};

// base**(halves/2): square roots are the only fractional powers there are.
struct Factor {
    NodeId base;
    std::int64_t halves;
};

enum class Shape : std::uint8_t { Number, Constant, Variable, Call, Sum, Product };
enum class Irrational : std::uint8_t { Pi, E };

struct Node {
    Shape shape = Shape::Number;
    Fn fn = Fn::Exp;                // Call
    std::uint32_t index = 0;        // Variable column; Constant: an Irrational
    Number number;                  // Number; a Product's coefficient
    NodeId arg = 0;                 // Call
    std::vector<Factor> factors;    // Product: ordered bases, nonzero powers
    std::vector<NodeId> terms;      // Sum: ordered, its constant term last
    Key key;
};

// A number or product with a negative coefficient: what is written with a
// leading minus.
bool negative(const Node& n);

class Form {
public:
    // nullopt when the list is not a well-formed postfix formula.
    static std::optional<Form> of(const Formula& f);

    NodeId root() const { return root_; }
    const Node& operator[](NodeId id) const { return nodes_[id]; }

private:
    friend class Builder;
    std::vector<Node> nodes_;
    NodeId root_ = 0;
};

}  // namespace zyl::regress::tidy
