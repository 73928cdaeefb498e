#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "regress/formula.hpp"
#include "regress/render.hpp"

namespace zyl::regress {
namespace {

// Postfix formulas in words: "x<j>" is a variable, an operation's name an
// operation, "#p/q:basis" an exact constant (q and basis optional), anything
// else a fitted constant's digits.
Formula postfix(std::string_view text) {
    Formula f;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(' '), text.size());
        const std::string word(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (word.empty()) continue;
        if (word[0] == 'x' && word.size() > 1 && std::isdigit(static_cast<unsigned char>(word[1]))) {
            f.push_back(Term::variable(static_cast<std::uint32_t>(std::stoul(word.substr(1)))));
        } else if (auto fn = fn_from_name(word)) {
            f.push_back(Term::operation(*fn));
        } else if (word[0] == '#') {
            const std::size_t colon = word.find(':');
            const std::string fraction = word.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
            const std::size_t slash = fraction.find('/');
            const int p = std::stoi(fraction.substr(0, slash));
            const int q = slash == std::string::npos ? 1 : std::stoi(fraction.substr(slash + 1));
            const Basis b = colon == std::string::npos ? Basis::One : *basis_from_name(word.substr(colon + 1));
            f.push_back(Term::exact_constant({p, q, b}, true));
        } else {
            f.push_back(Term::constant(std::stod(word), true));
        }
    }
    return f;
}

std::string text(std::string_view formula, std::vector<std::string> names = {}) {
    return to_text(postfix(formula), names);
}

struct Case {
    const char* formula;
    const char* want;
};

void expect_texts(std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(text(c.formula), c.want) << c.formula;
}

TEST(TidyText, SearchArtifactsAreWrittenPlainly) {
    expect_texts({
        {"x1 x2 mul x0 #-1 add div", "x1*x2/(x0 - 1)"},
        {"#9 #1 mul #3 x0 x1 mul sub div #2 sub", "9/(3 - x0*x1) - 2"},
        {"x0 #-2 x0 mul add", "x0 - 2*x0"},
        {"x2 cos x0 mul x1 mul neg", "-x0*x1*cos(x2)"},
        {"x0 x0 square mul square", "x0**6"},
        {"x0 -2.5 add", "x0 - 2.5"},
        {"x0 #-2/3:sqrt(2*pi) sub", "x0 + 2*sqrt(2*pi)/3"},
        {"x0 neg neg neg", "-x0"},
        {"x0 neg x1 neg sub", "x1 - x0"},
        {"x0 x1 neg mul x2 inv div", "-x0*x1*x2"},
    });
}

TEST(TidyText, ParenthesesOnlyWhereTheReadingNeedsThem) {
    expect_texts({
        {"x0 x1 add square", "(x0 + x1)**2"},
        {"x0 x1 x2 sub sub", "x0 - x1 + x2"},
        {"x0 x1 x2 add div", "x0/(x1 + x2)"},
        {"x0 x1 x2 mul div", "x0/(x1*x2)"},
        {"x0 x1 square div", "x0/x1**2"},
        {"x0 neg exp", "exp(-x0)"},
        {"x0 x1 add x2 mul log", "log(x2*(x0 + x1))"},
        {"x0 x1 sub neg x2 mul", "-x2*(x0 - x1)"},
        {"x0 inv", "1/x0"},
        {"x0 x1 add inv neg", "-1/(x0 + x1)"},
        {"x0 x1 add sqrt", "sqrt(x0 + x1)"},
        {"x0 x1 div sqrt #2:pi mul", "2*pi*sqrt(x0/x1)"},
        {"x0 x1 zyl", "exp(x0) - log(x1)"},
        // A factor whose terms are all negative gives its sign away.
        {"x0 -0.75 x0 sub mul", "-x0*(x0 + 0.75)"},
        {"x0 x1 add x0 neg x1 sub mul", "-(x0 + x1)**2"},
        {"x0 neg #1 sub inv", "-1/(x0 + 1)"},
        {"x0 neg x1 sub square", "(x0 + x1)**2"},
        {"x0 neg x1 sub sqrt", "sqrt(-x0 - x1)"},
    });
}

TEST(TidyText, PowersOfOneBaseMerge) {
    expect_texts({
        {"x0 x0 mul x0 mul", "x0**3"},
        {"x0 x0 square mul square", "x0**6"},
        {"x0 x0 x0 mul mul square", "x0**6"},
        {"x0 sqrt x0 mul", "x0**(3/2)"},
        {"x0 sqrt x0 sqrt mul", "x0"},
        {"x0 sqrt square", "x0"},
        {"x0 x0 sqrt div", "sqrt(x0)"},
        {"x0 sqrt inv", "1/sqrt(x0)"},
        {"x0 x0 div", "1"},
        {"x0 x1 mul x0 div", "x1"},
        {"x0 sin x0 sin mul", "sin(x0)**2"},
        {"x0 x1 add x1 x0 add mul", "(x0 + x1)**2"},
        {"x0 x1 add sqrt x0 x1 add mul", "(x0 + x1)**(3/2)"},
        // A root of an even power is |x|**k, not x**k: it stays a root.
        {"x0 square sqrt", "sqrt(x0**2)"},
        {"x0 x0 square mul sqrt", "x0**(3/2)"},
        {"x0 sqrt sqrt", "sqrt(sqrt(x0))"},
        {"x0 x1 mul sqrt x1 x0 mul sqrt mul", "x0*x1"},
        {"x0 x1 mul sqrt x0 mul x1 x0 mul sqrt mul", "x0**2*x1"},
    });
}

TEST(TidyText, OneTextWhateverTheAssemblyOrder) {
    const std::vector<std::string> names{"q1", "q2", "r"};
    const char* const coulomb[] = {
        "x1 x2 x0 div div #4:pi div",
        "x0 x1 mul x2 div #4:pi div",
        "x0 x1 mul #4:pi x2 mul div",
        "#4:pi x2 mul x1 div x0 div inv",
        "x2 #4:pi mul x0 x1 mul div inv",
    };
    for (const char* f : coulomb) EXPECT_EQ(text(f, names), "q1*q2/(4*pi*r)") << f;
    const char* const sums[] = {
        "x0 x1 x2 sub sub #3 add",
        "x0 x2 add x1 sub #3 add",
        "#3 x1 neg add x2 x0 add add",
        "x1 x0 #3 x2 add add sub neg",
    };
    for (const char* f : sums) EXPECT_EQ(text(f, names), "q1 - q2 + r + 3") << f;
    const char* const signs[] = {"x0 x1 sub neg x2 mul", "x0 x1 sub x2 mul neg", "x2 neg x0 x1 sub mul",
                                 "x0 x1 sub x2 neg mul"};
    for (const char* f : signs) EXPECT_EQ(text(f, names), "-r*(q1 - q2)") << f;
    // Fitted constants multiply and add in one order, so the rounding agrees.
    EXPECT_EQ(text("0.1 x0 mul 0.7 mul 0.3 mul"), text("0.3 0.7 mul 0.1 x0 mul mul"));
    EXPECT_EQ(text("0.1 x0 add 0.7 add 0.3 add"), text("0.3 0.7 add 0.1 x0 add add"));
}

TEST(TidyText, OrderIsConstantsVariablesThenCalls) {
    expect_texts({
        {"x2 cos x1 mul #2 mul x0 mul", "2*x0*x1*cos(x2)"},
        {"x1 sin x0 sin mul", "sin(x0)*sin(x1)"},
        {"x0 cos x0 exp mul", "exp(x0)*cos(x0)"},
        {"x1 x0 x0 x1 mul add add", "x0 + x1 + x0*x1"},
        {"#1 x0 add x0 square add", "x0**2 + x0 + 1"},
        {"x0 inv x0 add", "x0 + 1/x0"},
        {"x0 x1 add x0 x2 add mul", "(x0 + x1)*(x0 + x2)"},
    });
}

TEST(TidyText, ExactConstantsKeepTheirForm) {
    expect_texts({
        {"#3/5", "3/5"},
        {"#-3/5", "-3/5"},
        {"#1/4:pi", "pi/4"},
        {"#4:pi", "4*pi"},
        {"#1:sqrt(2*pi)", "sqrt(2*pi)"},
        {"#1/2:sqrt(2*pi) inv", "2/sqrt(2*pi)"},
        {"#3/4:pi**2", "3*pi**2/4"},
        {"#2:e x0 mul", "2*E*x0"},
        {"#1:sqrt(pi) #1:sqrt(2) mul", "sqrt(2*pi)"},
        {"#1:sqrt(2) #1:sqrt(2) mul", "2"},
        {"#1:sqrt(2) #3:sqrt(2) mul #1:sqrt(2) mul", "6*sqrt(2)"},
        {"#1:sqrt(2) #1:sqrt(2) mul #1:sqrt(2) mul inv", "1/(2*sqrt(2))"},
        {"#1:sqrt(pi) #1:pi mul", "pi**(3/2)"},
        {"#1:pi #1:pi mul", "pi**2"},
        {"#1/2 #4:pi mul", "2*pi"},
        {"#3/5 x0 square mul #1:sqrt(2*pi) add", "3*x0**2/5 + sqrt(2*pi)"},
        {"#1/2 x0 mul x1 square mul", "x0*x1**2/2"},
        {"#-1 x0 x1 div #2 div mul exp", "exp(-x0/(2*x1))"},
        {"#1/2 #1/3 add x0 add", "x0 + 5/6"},
        {"#4 sqrt", "2"},
        {"#2 sqrt", "sqrt(2)"},
        {"#4/9 sqrt x0 mul", "2*x0/3"},
    });
}

TEST(TidyText, FittedConstantsInShortestDigits) {
    expect_texts({
        {"0.1 x0 mul", "0.1*x0"},
        {"x0 -0.5 mul", "-0.5*x0"},
        {"-2.5", "-2.5"},
        {"8.314 x0 mul x1 div", "8.314*x0/x1"},
        {"2.5 x0 mul #2 mul", "5.0*x0"},
        {"x0 2.0 div", "0.5*x0"},
        {"x0 #1/2:pi mul 2.0 mul", "pi*x0"},
        {"x0 1.0 mul", "x0"},
        {"1e-20 x0 mul", "1e-20*x0"},
        {"x0 2.5 add 0.5 add", "x0 + 3.0"},
        {"x0 2.5 add -2.5 add", "x0"},
        {"2.5 sqrt", "sqrt(2.5)"},
        {"-2.5 sqrt", "sqrt(-2.5)"},
        {"2.5 x0 mul square", "6.25*x0**2"},
    });
}

TEST(TidyText, ZerosStayHonest) {
    expect_texts({
        {"#0 x0 mul", "0"},
        {"x0 #0 div", "x0/0"},
        {"x0 0.0 div", "x0/0.0"},
        {"x0 #0 add", "x0"},
        {"#0 inv inv", "0"},
        {"#0 #0 div", "0/0"},
        {"0.0 0.0 div x0 mul", "0.0*x0/0.0"},
        {"x0 0.0 add", "x0"},
    });
}

TEST(TidyText, IllFormedListsAreMarked) {
    EXPECT_EQ(text(""), "?");
    EXPECT_EQ(text("add"), "?");
    EXPECT_EQ(text("x0 x1"), "?");
    Formula bad{Term::variable(0), Term::operation(static_cast<Fn>(kFnCount))};
    EXPECT_EQ(to_text(bad, {}), "?");
}

TEST(TidyText, NamesAndUnnamedVariables) {
    EXPECT_EQ(text("x0 x3 mul", {"mass"}), "mass*x3");
}

// Deep and long formulas take no stack depth and no quadratic copying:
// these would overflow a recursive printer or take minutes with one.
TEST(TidyText, DeepFormulas) {
    constexpr std::size_t kDepth = 200000;
    auto chain = [](std::string_view first, std::string_view step) {
        Formula f = postfix(first);
        const Formula s = postfix(step);
        for (std::size_t i = 0; i < kDepth; ++i) f.insert(f.end(), s.begin(), s.end());
        return f;
    };
    const std::string sines = to_text(chain("x0", "sin"), {});
    EXPECT_EQ(sines.size(), kDepth * 5 + 2);
    EXPECT_EQ(sines.substr(0, 10), "sin(sin(si");
    EXPECT_EQ(to_text(chain("x0", "neg"), {}), "x0");
    EXPECT_EQ(to_text(chain("x0", "inv"), {}), "x0");
    EXPECT_EQ(to_text(chain("x0", "x0 mul"), {}), "x0**200001");
    EXPECT_EQ(to_text(chain("x0", "x1 add"), {}).size(), kDepth * 5 + 2);
    EXPECT_EQ(to_text(chain("x0", "sqrt"), {}).size(), kDepth * 6 + 2);
    EXPECT_EQ(to_text(chain("x0", "square"), {}).substr(0, 3), "(((");

    // x0 - (x1 - (x0 - (x1 - ...))): every second term changes sign.
    Formula nested;
    for (std::size_t i = 0; i < kDepth; ++i) nested.push_back(Term::variable(static_cast<std::uint32_t>(i % 2)));
    for (std::size_t i = 1; i < kDepth; ++i) nested.push_back(Term::operation(Fn::Sub));
    EXPECT_EQ(to_text(nested, {}).substr(0, 22), "x0 + x0 + x0 + x0 + x0");
}

}  // namespace
}  // namespace zyl::regress
