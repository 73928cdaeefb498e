#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "format/number_format.hpp"

namespace zyl {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();

struct Case {
    double in;
    const char* want;
};

TEST(NumberFormat, FixedSixDecimals) {
    const Case cases[] = {
        {1.0, "1.000000"},
        {-0.0, "-0.000000"},
        {0.0078125, "0.007812"},  // exact tie, to even
        {0.0078135, "0.007813"},  // just above the tie in binary
        {1e20, "100000000000000000000.000000"},
        {-2.5e-7, "-0.000000"},
        {kNaN, "NaN"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, format_fixed(c.in, 6)) << c.in;
    EXPECT_EQ(1u + 309u + 1u + 6u, format_fixed(-kMax, 6).size());
}

TEST(NumberFormat, FixedFourDecimals) {
    const Case cases[] = {
        {0.0, "0.0000"},
        {-0.125, "-0.1250"},
        {1.23456, "1.2346"},
        {0.03125, "0.0312"},
        {0.09375, "0.0938"},
        {1e20, "100000000000000000000.0000"},
        {-0.0, "-0.0000"},
        {kNaN, "NaN"},
        {-kInf, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, format_fixed(c.in, 4)) << c.in;
}

TEST(NumberFormat, FixedAppendsAndHandlesLongOutput) {
    std::string out = "x=";
    append_fixed(out, 0.5, 6);
    EXPECT_EQ("x=0.500000", out);
    // The smallest subnormal needs 1074 decimals: longer than any stack buffer.
    out = "v=";
    append_fixed(out, 5e-324, 1074);
    ASSERT_EQ(2u + 2u + 1074u, out.size());
    EXPECT_EQ("v=0.000", out.substr(0, 7));
    EXPECT_EQ("4940656458412465441765687928682213723650", out.substr(2 + 2 + 323, 40));
    EXPECT_EQ('5', out.back());
}

TEST(NumberFormat, ExponentTwoDecimals) {
    const Case cases[] = {
        {0.0, "0.00e0"},
        {1.0, "1.00e0"},
        {0.00123456, "1.23e-3"},
        {1234.5, "1.23e3"},
        {-1234.5, "-1.23e3"},
        {9.999, "1.00e1"},  // carry into the exponent
        {1.125, "1.12e0"},  // exact ties to even
        {1.375, "1.38e0"},
        {1e300, "1.00e300"},
        {5e-324, "4.94e-324"},
        {kNaN, "NaN"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, format_exp2(c.in)) << c.in;
}

TEST(NumberFormat, ShortestSwitchesToExponentOutsideRange) {
    const Case cases[] = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1.0, "1.0"},
        {-0.5, "-0.5"},
        {0.1, "0.1"},
        {1234.5, "1234.5"},
        {1e-4, "0.0001"},
        {9.999999999999999e-5, "9.999999999999999e-5"},
        {1e-5, "1e-5"},
        {1.5e-10, "1.5e-10"},
        {1e15, "1000000000000000.0"},
        {9999999999999998.0, "9999999999999998.0"},
        {1e16, "1e16"},
        {-1e16, "-1e16"},
        {1.2345678901234567e19, "1.2345678901234567e19"},
        {5e-324, "5e-324"},
        {kMax, "1.7976931348623157e308"},
        {kNaN, "NaN"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, format_shortest(c.in)) << c.in;
}

}  // namespace
}  // namespace zyl
