#include "render.hpp"

#include <array>
#include <cstdint>
#include <vector>

#include "format/number_format.hpp"

namespace zyl::discover {
namespace {

struct OpText {
    std::string_view before;
    std::string_view between;  // binary operations only
    std::string_view after;
};

constexpr std::array<OpText, 13> kOpText{{
    {"(-", "", ")"},        // Neg
    {"(1/", "", ")"},       // Inv
    {"exp(", "", ")"},      // Exp
    {"ln(", "", ")"},       // Ln
    {"sqrt(", "", ")"},     // Sqrt
    {"sin(", "", ")"},      // Sin
    {"cos(", "", ")"},      // Cos
    {"abs(", "", ")"},      // Abs
    {"zyl(", ", ", ")"},    // Zyl
    {"(", " + ", ")"},      // Add
    {"(", " - ", ")"},      // Sub
    {"(", " * ", ")"},      // Mul
    {"(", " / ", ")"},      // Div
}};
// A code outside the enumeration cannot be evaluated; it still renders, as
// an unnamed binary operation.
constexpr OpText kUnknownOp{"?(", ", ", ")"};

constexpr double kPi = 3.141592653589793;
constexpr double kE = 2.718281828459045;

void append_constant(std::string& out, double v) {
    if (v == kPi)
        out += "\xCF\x80";  // U+03C0
    else if (v == kE)
        out += 'e';
    else
        append_fixed(out, v, 4);
}

// Character code (120 + i) mod 256 as a Unicode code point, in UTF-8.
void append_variable(std::string& out, std::size_t index) {
    auto code = static_cast<std::uint8_t>(120 + index);
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string pop_or_empty(std::vector<std::string>& stack) {
    if (stack.empty()) return {};
    std::string s = std::move(stack.back());
    stack.pop_back();
    return s;
}

}  // namespace

std::string to_string(const Expr& expr) {
    std::vector<std::string> stack;
    stack.reserve(expr.nodes.size());
    for (const Node& node : expr.nodes) {
        std::string text;
        switch (node.kind) {
            case NodeKind::Const:
                append_constant(text, node.value);
                break;
            case NodeKind::Param:
                text += 'c';
                text += std::to_string(node.index);
                text += '(';
                append_fixed(text, node.value, 4);
                text += ')';
                break;
            case NodeKind::Var:
                append_variable(text, node.index);
                break;
            case NodeKind::Op: {
                auto code = static_cast<std::uint8_t>(node.op);
                const OpText& t = code < kOpText.size() ? kOpText[code] : kUnknownOp;
                std::string b = arity(node.op) == 2 ? pop_or_empty(stack) : std::string();
                std::string a = pop_or_empty(stack);
                text.reserve(t.before.size() + a.size() + t.between.size() + b.size() + t.after.size());
                text += t.before;
                text += a;
                text += t.between;
                text += b;
                text += t.after;
                break;
            }
        }
        stack.push_back(std::move(text));
    }
    return stack.empty() ? std::string("?") : std::move(stack.back());
}

namespace {

struct Rewrite {
    std::string_view from;
    std::string_view to;
    // The ")" matching the "(" that ends `from` becomes "}".
    bool brace_close = false;
};

// Every non-overlapping occurrence, scanning left to right.
std::string replace_all(std::string_view text, const Rewrite& rw) {
    std::string out;
    out.reserve(text.size());
    std::vector<bool> open;  // per unclosed "(": whether it came from `from`
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.substr(i, rw.from.size()) == rw.from) {
            out += rw.to;
            i += rw.from.size();
            if (rw.brace_close) open.push_back(true);
            continue;
        }
        char c = text[i++];
        if (rw.brace_close && c == '(') {
            open.push_back(false);
        } else if (rw.brace_close && c == ')' && !open.empty()) {
            bool brace = open.back();
            open.pop_back();
            if (brace) {
                out += '}';
                continue;
            }
        }
        out += c;
    }
    return out;
}

template <std::size_t N>
std::string rewrite(std::string_view formula, const std::array<Rewrite, N>& chain) {
    std::string text(formula);
    for (const Rewrite& rw : chain) text = replace_all(text, rw);
    return text;
}

constexpr std::array<Rewrite, 6> kLatex{{
    {"exp(", "\\exp("},
    {"ln(", "\\ln("},
    {"sqrt(", "\\sqrt{", true},
    {"sin(", "\\sin("},
    {"cos(", "\\cos("},
    {"zyl(", "\\mathrm{zyl}("},
}};

constexpr std::array<Rewrite, 5> kPython{{
    {"exp(", "math.exp("},
    {"ln(", "math.log("},
    {"sqrt(", "math.sqrt("},
    {"sin(", "math.sin("},
    {"cos(", "math.cos("},
}};

}  // namespace

std::string to_latex(std::string_view formula) { return rewrite(formula, kLatex); }

std::string to_python(std::string_view formula) {
    return "import math\nf = lambda x: " + rewrite(formula, kPython);
}

}  // namespace zyl::discover
