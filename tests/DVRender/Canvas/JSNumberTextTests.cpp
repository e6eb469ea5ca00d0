#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "DVRender/Canvas/JSNumberText.hpp"

namespace dv {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

void expectSame(double actual, double expected) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << actual;
    } else {
        EXPECT_EQ(actual, expected);
        EXPECT_EQ(std::signbit(actual), std::signbit(expected));
    }
}

TEST(JSNumberText, ParseHexInt) {
    const struct {
        std::u16string text;
        double expected;
    } rows[] = {
        {u"ff", 255},      {u"FF", 255},     {u"0F", 15},     {u"  a", 10},
        {u"\ta", 10},      {u"-10", -16},    {u"0xff", 255},  {u"0XFF", 255},
        {u"1g", 1},        {u"+a", 10},      {u"\u00a0a", 10}, {u"\ufeffa", 10},
        {u"\u3000a", 10},  {u"-0", -0.0},    {u"0x", NaN},    {u"g1", NaN},
        {u"", NaN},        {u"   ", NaN},    {u"+-1", NaN},   {u"\u180ea", NaN},
        {u"- 1", NaN},     {u"x1", NaN},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.text.begin(), row.text.end()));
        expectSame(jsParseHexInt(row.text), row.expected);
    }
}

TEST(JSNumberText, ParseHexIntReadsOnlyTheGivenSlice) {
    std::u16string colour = u"#12ab34";
    EXPECT_EQ(jsParseHexInt(std::u16string_view(colour).substr(3, 2)), 0xab);
}

TEST(JSNumberText, ParseDecimalNumber) {
    const struct {
        std::string text;
        double expected;
    } rows[] = {
        {"12.5abc", 12.5}, {".5", 0.5},   {"5.", 5},   {"1.2.3", 1.2}, {"007", 7},
        {"0.1", 0.1},      {"", NaN},     {"abc", NaN}, {"-1", NaN},   {".", NaN},
        {" 1", NaN},       {"\u0661", NaN}, {"3\u0661", 3},
        {std::string(400, '9'), std::numeric_limits<double>::infinity()},
        {"." + std::string(400, '0') + "1", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        expectSame(parseDecimalNumber(row.text), row.expected);
    }
}

TEST(JSNumberText, ToFixed) {
    const struct {
        int digits;
        double value;
        const char* expected;
    } rows[] = {
        {2, 0.125, "0.13"},     // exact tie rounds up
        {2, 0.615, "0.61"},     // the double lies below 0.615
        {2, 1, "1.00"},
        {2, 9.999, "10.00"},
        {2, 0.995, "0.99"},     // 0.99499999...
        {2, 99.995, "100.00"},  // 99.99500000000000454...
        {0, 2.5, "3"},
        {0, 0.5, "1"},
        {0, 0.4, "0"},
        {2, -0.001, "-0.00"},
        {2, -0.0, "0.00"},
        {2, -1.005, "-1.00"},   // -1.00499999...
        {2, -2.345, "-2.35"},   // -2.34500000000000019...
        {2, NaN, "NaN"},
        {2, std::numeric_limits<double>::infinity(), "Infinity"},
        {2, -std::numeric_limits<double>::infinity(), "-Infinity"},
        {2, 1e21, "1000000000000000000000"},
        {2, -1e21, "-1000000000000000000000"},
        {2, 123.456, "123.46"},
        {3, 5e-324, "0.000"},
        {1, 0.05, "0.1"},        // 0.05000000000000000277...
        {1, 0.25, "0.3"},
        {-1, 2.5, "3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.digits) + " " + std::to_string(row.value));
        EXPECT_EQ(jsToFixed(row.digits, row.value), row.expected);
    }
}

} // namespace
} // namespace dv
