#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "discover/render.hpp"

namespace zyl::discover {
namespace {

Node C(double v) { return Node::constant(v); }
Node V(std::size_t i) { return Node::var(i); }
Node O(Op op) { return Node::operation(op); }

TEST(RenderPlain, Examples) {
    struct Case {
        std::vector<Node> nodes;
        const char* want;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {{}, "?"},
        {{C(3.141592653589793)}, "\u03C0"},
        {{C(std::nextafter(3.141592653589793, 4.0))}, "3.1416"},
        {{C(2.718281828459045)}, "e"},
        {{C(3.1416)}, "3.1416"},
        {{C(0.0)}, "0.0000"},
        {{C(-0.0)}, "-0.0000"},
        {{C(0.03125)}, "0.0312"},
        {{C(0.09375)}, "0.0938"},
        {{C(1e20)}, "100000000000000000000.0000"},
        {{C(std::nan(""))}, "NaN"},
        {{C(-inf)}, "-inf"},
        {{Node::param(0, 1.23456)}, "c0(1.2346)"},
        {{Node::param(12, -0.5)}, "c12(-0.5000)"},
        {{V(1)}, "y"},
        {{V(2)}, "z"},
        {{V(3)}, "{"},
        {{V(8)}, "\u0080"},
        {{V(135)}, "\u00FF"},
        {{V(256)}, "x"},
        {{C(1.0), C(2.0)}, "2.0000"},
        {{O(Op::Add)}, "( + )"},
        {{O(Op::Zyl)}, "zyl(, )"},
        {{C(1.0), O(Op::Div)}, "( / 1.0000)"},
        {{V(0), V(0), O(Op::Sub)}, "(x - x)"},
        {{V(0), C(1.0), O(Op::Add), O(Op::Ln)}, "ln((x + 1.0000))"},
        {{V(0), V(0), O(Op::Mul), O(Op::Exp)}, "exp((x * x))"},
        {{C(0.0), V(0), O(Op::Zyl)}, "zyl(0.0000, x)"},
        {{V(0), O(Op::Neg), O(Op::Inv), O(Op::Sqrt), O(Op::Sin), O(Op::Cos), O(Op::Abs)},
         "abs(cos(sin(sqrt((1/(-x))))))"},
        {{V(1), V(0), O(Op::Div)}, "(y / x)"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_string(Expr{c.nodes}), c.want);
}

TEST(RenderLatex, Rewrites) {
    const std::pair<const char*, const char*> cases[] = {
        {"?", "?"},
        {"x", "x"},
        {"sqrt((x + 1.0000))", "\\sqrt{(x + 1.0000)}"},
        {"sqrt(sqrt(x))", "\\sqrt{\\sqrt{x}}"},
        {"(sqrt(exp(x)) * sqrt((1/sqrt(x))))", "(\\sqrt{\\exp(x)} * \\sqrt{(1/\\sqrt{x})})"},
        {"exp(ln(x))", "\\exp(\\ln(x))"},
        {"zyl(exp(x), 1.0000)", "\\mathrm{zyl}(\\exp(x), 1.0000)"},
        {"sin(cos(abs((-x))))", "\\sin(\\cos(abs((-x))))"},
        {"\u03C0", "\u03C0"},
        // Ill-formed text: an unclosed root keeps its brace open, stray
        // closers stay parentheses.
        {"sqrt(x", "\\sqrt{x"},
        {")sqrt(x))", ")\\sqrt{x})"},
    };
    for (auto [in, want] : cases) EXPECT_EQ(to_latex(in), want) << in;
}

TEST(RenderPython, Rewrites) {
    const std::pair<const char*, const char*> cases[] = {
        {"?", "?"},
        {"x", "x"},
        {"ln((x + 1.0000))", "math.log((x + 1.0000))"},
        {"(x / zyl(x, 1.0000))", "(x / zyl(x, 1.0000))"},
        {"sqrt(sqrt(exp(sin(cos(x)))))", "math.sqrt(math.sqrt(math.exp(math.sin(math.cos(x)))))"},
        {"abs(y)", "abs(y)"},
    };
    for (auto [in, want] : cases) EXPECT_EQ(to_python(in), std::string("import math\nf = lambda x: ") + want) << in;
}

}  // namespace
}  // namespace zyl::discover
