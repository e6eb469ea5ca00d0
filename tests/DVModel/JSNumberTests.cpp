#include "DVModel/JSNumber.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

// Same value and, for zeros, the same sign; NaN matches NaN.
::testing::AssertionResult sameNumber(double expected, double actual) {
    if (std::isnan(expected) && std::isnan(actual)) return ::testing::AssertionSuccess();
    if (expected == actual && std::signbit(expected) == std::signbit(actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << dv::jsNumberString(expected)
                                         << (std::signbit(expected) ? " (negative)" : "")
                                         << ", got " << dv::jsNumberString(actual)
                                         << (std::signbit(actual) ? " (negative)" : "");
}

struct ListCase {
    const char* name;
    std::vector<double> values;
    double expected;
};

TEST(JSNumber, MinOfListsFollowsJavaScript) {
    const ListCase cases[] = {
        {"empty", {}, inf},
        {"nan in the middle", {1, nan, -5}, nan},
        {"nan first", {nan, -inf}, nan},
        {"+0 then -0", {0.0, -0.0}, -0.0},
        {"-0 then +0", {-0.0, 0.0}, -0.0},
        {"-inf", {-inf, 3}, -inf},
        {"plain", {4, -2, 7}, -2},
        {"one value", {inf}, inf},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(sameNumber(c.expected, dv::jsMin(c.values))) << c.name;
    }
}

TEST(JSNumber, MaxOfListsFollowsJavaScript) {
    const ListCase cases[] = {
        {"empty", {}, -inf},
        {"nan alone", {nan}, nan},
        {"nan last", {inf, nan}, nan},
        {"-0 then +0", {-0.0, 0.0}, 0.0},
        {"+0 then -0", {0.0, -0.0}, 0.0},
        {"-0 alone", {-0.0}, -0.0},
        {"plain", {4, -2, 7}, 7},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(sameNumber(c.expected, dv::jsMax(c.values))) << c.name;
    }
}

TEST(JSNumber, VariadicFormsAgreeWithLists) {
    EXPECT_TRUE(sameNumber(inf, dv::jsMin()));
    EXPECT_TRUE(sameNumber(-inf, dv::jsMax()));
    EXPECT_TRUE(sameNumber(-0.0, dv::jsMin(0.0, -0.0)));
    EXPECT_TRUE(sameNumber(0.0, dv::jsMax(-0.0, 0.0)));
    EXPECT_TRUE(sameNumber(nan, dv::jsMin(1.0, nan, -5.0)));
    EXPECT_TRUE(sameNumber(nan, dv::jsMax(nan, 1.0)));
    EXPECT_TRUE(sameNumber(-2, dv::jsMin(3, -2.0, 1.5f)));
    EXPECT_TRUE(sameNumber(3, dv::jsMax({1.0, 3.0, 2.0})));
}

struct UnaryCase {
    double input;
    double expected;
};

TEST(JSNumber, RoundGoesHalfUpAndKeepsZeroSigns) {
    const UnaryCase cases[] = {
        {0.49999999999999994, 0.0},
        {-0.2, -0.0},
        {-0.5, -0.0},
        {-0.51, -1},
        {2.5, 3},
        {-2.5, -2},
        {-1.5, -1},
        {0.5, 1},
        {1.4999999999999998, 1},
        {4503599627370495.5, 4503599627370496},
        {9007199254740993.0, 9007199254740993.0},
        {-4503599627370497.0, -4503599627370497.0},
        {0.0, 0.0},
        {-0.0, -0.0},
        {inf, inf},
        {-inf, -inf},
        {nan, nan},
        {1e-320, 0.0},
        {-1e-320, -0.0},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(sameNumber(c.expected, dv::jsRound(c.input))) << "round " << dv::jsNumberString(c.input);
    }
}

TEST(JSNumber, SignKeepsZerosAndNaN) {
    const UnaryCase cases[] = {
        {-0.0, -0.0}, {0.0, 0.0}, {nan, nan}, {-inf, -1}, {inf, 1}, {-5e-324, -1}, {42, 1},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(sameNumber(c.expected, dv::jsSign(c.input))) << "sign " << dv::jsNumberString(c.input);
    }
}

struct BinaryCase {
    double a;
    double b;
    double expected;
};

TEST(JSNumber, HypotPrefersInfinityOverNaNAndAvoidsOverflow) {
    const BinaryCase cases[] = {
        {inf, nan, inf},
        {nan, -inf, inf},
        {-inf, 0, inf},
        {nan, 0, nan},
        {0, nan, nan},
        {0, -0.0, 0.0},
        {-0.0, -0.0, 0.0},
        {3, 4, 5},
        {-3, -4, 5},
        {0, -7, 7},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(sameNumber(c.expected, dv::jsHypot(c.a, c.b)))
            << "hypot " << dv::jsNumberString(c.a) << ", " << dv::jsNumberString(c.b);
    }
    double big = dv::jsHypot(1e300, 1e300);
    EXPECT_TRUE(std::isfinite(big));
    EXPECT_NEAR(big / 1e300, 1.4142135623730952, 1e-15);
    EXPECT_GT(dv::jsHypot(1e-300, 1e-300), 0.0); // no underflow to zero either
}

TEST(JSNumber, OrFallsBackOnFalsyNumbers) {
    const BinaryCase cases[] = {
        {nan, 7, 7}, {0.0, 7, 7}, {-0.0, 7, 7}, {-inf, 7, -inf}, {inf, 7, inf}, {5e-324, 7, 5e-324}, {-1, 7, -1},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(sameNumber(c.expected, dv::jsOr(c.a, c.b))) << "or " << dv::jsNumberString(c.a);
    }
}

struct TextCase {
    double input;
    const char* expected;
};

TEST(JSNumber, NumberStringLaysDigitsOutLikeJavaScript) {
    const TextCase cases[] = {
        {nan, "NaN"},
        {inf, "Infinity"},
        {-inf, "-Infinity"},
        {0.0, "0"},
        {-0.0, "0"},
        {1e21, "1e+21"},
        {1e20, "100000000000000000000"},
        {123e18, "123000000000000000000"},
        {999999999999999900000.0, "999999999999999900000"},
        {0.000001, "0.000001"},
        {0.0000015, "0.0000015"},
        {1e-7, "1e-7"},
        {1.2345e-7, "1.2345e-7"},
        {0.1 + 0.2, "0.30000000000000004"},
        {-1.5, "-1.5"},
        {123.456, "123.456"},
        {0.5, "0.5"},
        {0.001, "0.001"},
        {-0.001, "-0.001"},
        {5e-324, "5e-324"},
        {-5e-324, "-5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {100, "100"},
        {9007199254740992.0, "9007199254740992"},
        {1, "1"},
        {-7, "-7"},
        {1.5e300, "1.5e+300"},
        {2.5e-10, "2.5e-10"},
        {1.2345e20, "123450000000000000000"},
        {1.2345e21, "1.2345e+21"},
        {12345678.9, "12345678.9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, dv::jsNumberString(c.input));
    }
}

// Whole numbers below 2^53 print as their integer's digits, above it as the general layout.
TEST(JSNumber, WholeNumbersPrintTheirDigits) {
    const TextCase cases[] = {
        {9007199254740991.0, "9007199254740991"},   {-9007199254740991.0, "-9007199254740991"},
        {4503599627370497.0, "4503599627370497"},   {9007199254740994.0, "9007199254740994"},
        {-9007199254740994.0, "-9007199254740994"}, {18014398509481984.0, "18014398509481984"},
        {-1, "-1"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, dv::jsNumberString(c.input));
    std::mt19937_64 random(53);
    for (int i = 0; i < 100000; ++i) {
        const auto n = static_cast<std::int64_t>(random() % (std::uint64_t{1} << 54)) - (std::int64_t{1} << 53);
        ASSERT_EQ(std::to_string(n), dv::jsNumberString(static_cast<double>(n)));
    }
}

// Math.round(x * 100) / 100 printed: the product is rounded, not x.
TEST(JSNumber, HundredthsStringRoundsTheProduct) {
    const TextCase cases[] = {
        {1.005, "1"},  // 100.49999999999999
        {0.125, "0.13"},
        {-0.125, "-0.12"},  // halves go up
        {-0.005, "0"},      // -0
        {-0.006, "-0.01"},
        {0.004999, "0"},
        {2.5, "2.5"},
        {99.999, "100"},
        {-1234.5678, "-1234.57"},
        {0.1 + 0.2, "0.3"},
        {1e13, "10000000000000"},
        {-1e13, "-10000000000000"},
        {1e21, "999999999999999900000"},  // 1e23 / 100
        {nan, "NaN"},
        {inf, "Infinity"},
        {-inf, "-Infinity"},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        dv::appendJsHundredthsString(out, c.input);
        EXPECT_EQ(std::string("x") + c.expected, out) << c.expected;
    }
}

TEST(JSNumber, AppendingVariantKeepsWhatIsThere) {
    std::string out = "M";
    dv::appendJsNumberString(out, -0.5);
    out += ' ';
    dv::appendJsNumberString(out, 1e-7);
    EXPECT_EQ("M-0.5 1e-7", out);
}

// Every finite number prints as text that reads back to the very same bits, so numbers survive
// a save and reload untouched; the non-finite ones and -0 print as JavaScript prints them.
TEST(JSNumber, NumberStringRoundTripsRandomBitPatterns) {
    std::mt19937_64 random(0x5eed1234u);
    int failures = 0;
    for (int i = 0; i < 1000000 && failures < 10; ++i) {
        const std::uint64_t bits = random();
        const double x = std::bit_cast<double>(bits);
        const std::string text = dv::jsNumberString(x);
        if (std::isnan(x)) {
            if (text != "NaN") ++failures, ADD_FAILURE() << "NaN pattern printed " << text;
            continue;
        }
        if (std::isinf(x)) {
            if (text != (x > 0 ? "Infinity" : "-Infinity")) ++failures, ADD_FAILURE() << text;
            continue;
        }
        if (x == 0 && std::signbit(x)) {
            if (text != "0") ++failures, ADD_FAILURE() << "-0 printed " << text;
            continue;
        }
        double back = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
        if (ec != std::errc() || end != text.data() + text.size() || std::bit_cast<std::uint64_t>(back) != bits) {
            ++failures;
            ADD_FAILURE() << "pattern " << std::hex << bits << " printed " << text;
        }
    }
}

TEST(JSNumber, NumberStringOfSpecialPatterns) {
    EXPECT_EQ("NaN", dv::jsNumberString(std::bit_cast<double>(std::uint64_t{0xfff8000000000001})));
    EXPECT_EQ("NaN", dv::jsNumberString(std::bit_cast<double>(std::uint64_t{0x7ff0000000000001})));
    EXPECT_EQ("2.2250738585072014e-308", dv::jsNumberString(std::numeric_limits<double>::min()));
}

} // namespace
