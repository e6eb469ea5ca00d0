#include "DVModel/CSSColor.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <unordered_set>

namespace {

using dv::CSSColor;
using dv::RGBA;

struct ValidityCase {
    std::string text;
    bool expected;
};

TEST(CSSColor, GateChecksCharactersAndLengthsOnly) {
    const ValidityCase cases[] = {
        {std::string(128, 'a'), true},
        {std::string(129, 'a'), false},
        {"rgb(" + std::string(123, '1') + ")", true},  // 128 units
        {"rgb(" + std::string(124, '1') + ")", false}, // 129 units
        {"none", true},
        {"transparent", true},
        {"TRANSPARENT", true},
        {"Transparent", true},
        {"blurple", true},
        {"#12345", true},
        {"#fff", true},
        {"#ABCdef12", true},
        {"#ab", false},
        {"#abcdef123", false},
        {"#ggg", false},
        {"rgb(1)", true},
        {"hsl(,,,)", true},
        {"rgb(+5, 0, 0)", true},
        {"RGBA(1,2,3,.5)", true},
        {"rgb(1,\u00A02,3)", true},  // JavaScript white space passes the gate
        {"rgb(1\u30002\u30003)", true},
        {"rgb(1\v2\v3)", true},
        {" #fff ", false},
        {"rgb()", false},
        {"rgb(0 0 0 / 50%)", false},
        {"hsl(120deg, 50%, 50%)", false},
        {"rgb(1e2, 0, 0)", false},
        {"rgb(1,2,3", false},
        {"rgb (1,2,3)", false},
        {"rgb(1,\u200B2,3)", false},
        {"rgb(1,\xFF" "2,3)", false},
        {"red1", false},
        {"", false},
        {std::string("rgb(1,2\0,3)", 11), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CSSColor::isValid(c.text)) << '"' << c.text << '"';
    }
}

TEST(CSSColor, GateCountsUTF16CodeUnits) {
    // U+2000 is one code unit in three bytes, U+00A0 one in two: the limit is on units.
    std::string spaced = "rgb(";
    for (int i = 0; i < 122; ++i) spaced += (i % 2) ? "\u2000" : "\u00A0";
    EXPECT_TRUE(CSSColor::isValid(spaced + ")"));    // 127 units
    EXPECT_TRUE(CSSColor::isValid(spaced + "1)"));   // 128 units, 311 bytes
    EXPECT_FALSE(CSSColor::isValid(spaced + "12)")); // 129 units
    std::string wide = "rgb(";
    for (int i = 0; i < 123; ++i) wide += "\u3000";
    EXPECT_TRUE(CSSColor::isValid(wide + ")"));   // 128 units, 374 bytes
    EXPECT_FALSE(CSSColor::isValid(wide + "1)")); // 129 units, 375 bytes
}

struct ParseCase {
    std::string text;
    std::optional<RGBA> expected;
};

const RGBA red{1, 0, 0, 1};

TEST(CSSColor, ParsesHexNamedAndFunctionalColours) {
    const ParseCase cases[] = {
        {"none", std::nullopt},
        {"transparent", RGBA{0, 0, 0, 0}},
        {"TRANSPARENT", RGBA{0, 0, 0, 0}},
        {"blurple", std::nullopt},
        {"RebeccaPurple", RGBA{0x66 / 255.0, 0x33 / 255.0, 0x99 / 255.0, 1}},
        {"#abc", RGBA{0xAA / 255.0, 0xBB / 255.0, 0xCC / 255.0, 1}},
        {"#abcd", RGBA{0xAA / 255.0, 0xBB / 255.0, 0xCC / 255.0, 0xDD / 255.0}},
        {"#ABCDEF", RGBA{0xAB / 255.0, 0xCD / 255.0, 0xEF / 255.0, 1}},
        {"#ff000080", RGBA{1, 0, 0, 0x80 / 255.0}},
        {"#12345", std::nullopt},
        {"#1234567", std::nullopt},
        {"#", std::nullopt},
        {"#abg", std::nullopt},
        {" #fff ", RGBA{1, 1, 1, 1}},
        {"\t\n\f\rwhite ", RGBA{1, 1, 1, 1}},
        {"\vwhite", std::nullopt}, // the vertical tab is not CSS white space
        {"\u00A0white", std::nullopt},
        {"rgb(255, 0, 0)", red},
        {"rgba(255,0,0,1)", red},
        {"RGB(255 0 0)", red},
        {"rgb(100%, 0%, 0%)", red},
        {"rgb(100%, 0, 0)", std::nullopt},
        {"rgb(100% 0 0)", red},
        {"rgba(0,0,0,50%)", RGBA{0, 0, 0, 0.5}},
        {"rgba(0,0,0,.5)", RGBA{0, 0, 0, 0.5}},
        {"rgba(0,0,0,5.)", std::nullopt},
        {"rgba(0,0,0,2)", RGBA{0, 0, 0, 1}},
        {"rgba(0,0,0,-1)", RGBA{0, 0, 0, 0}},
        {"rgb(300, -20, 0)", red},
        {"rgb(1,2)", std::nullopt},
        {"rgb(1 2 3 4)", std::nullopt},
        {"rgb(1,2,3,4,5)", std::nullopt},
        {"rgb(1,,2)", std::nullopt},
        {"rgb(1,2,3,)", std::nullopt},
        {"rgb(1,2,3))", std::nullopt},
        {"rgb(1.2.3, 0, 0)", std::nullopt},
        {"rgb(--1, 0, 0)", std::nullopt},
        {"rgb(5%%, 0, 0)", std::nullopt},
        {"rgb(0 0 0 / 0.5)", std::nullopt},
        {"rgb(1e2, 0, 0)", std::nullopt},
        {"rgb(+5, 0, 0)", RGBA{5 / 255.0, 0, 0, 1}},
        {"rgb(-0, 0, 0)", RGBA{0, 0, 0, 1}},
        {"rgb(  51 ,  102,153  )", RGBA{51 / 255.0, 102 / 255.0, 153 / 255.0, 1}},
        {"rgb( 51\t102\n153 )", RGBA{51 / 255.0, 102 / 255.0, 153 / 255.0, 1}},
        {"rgb(1,\u00A02,3)", std::nullopt}, // passes the gate, but the parser splits on CSS white space only
        {"rgb(1\v2\v3)", std::nullopt},
        {"rgb (1,2,3)", std::nullopt},
        {"rgbx(1,2,3)", std::nullopt},
        {"rgb(1,2,3", std::nullopt},
        {"hsl(120, 100%, 50%)", RGBA{0, 1, 0, 1}},
        {"HSLA(120, 100%, 50%, 0.25)", RGBA{0, 1, 0, 0.25}},
        {"hsl(-120 100 50)", RGBA{0, 0, 1, 1}},
        {"hsl(0 100% 50%)", red},
        {"hsl(360, 100%, 50%)", red},
        {"hsl(120, 100, 50%)", std::nullopt},
        {"hsl(10%, 50%, 50%)", std::nullopt},
        {"hsl(0, 0%, 100%)", RGBA{1, 1, 1, 1}},
        {"hsl(0, 0%, 0%)", RGBA{0, 0, 0, 1}},
        {"hsl(240, 100%, 25%)", RGBA{0, 0, 0.5, 1}},
        {"hsl(,,,)", std::nullopt},
        {"hsl(1 2 3 4)", std::nullopt},
        {"", std::nullopt},
        {"()", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CSSColor(c.text).rgba()) << '"' << c.text << '"';
    }
}

TEST(CSSColor, HueIsReducedExactly) {
    // 10^20 is exact in binary64 and leaves 280 when divided by 360.
    std::optional<RGBA> far = CSSColor("hsl(100000000000000000000, 100%, 50%)").rgba();
    ASSERT_TRUE(far.has_value());
    EXPECT_EQ(CSSColor("hsl(280, 100%, 50%)").rgba(), far);
    EXPECT_EQ(CSSColor("hsl(-100000000000000000000 100 50)").rgba(), CSSColor("hsl(80 100 50)").rgba());
}

TEST(CSSColor, NumbersTooLongToBeFiniteNeverGiveNaN) {
    const std::string nines(400, '9');
    const std::string tiny = "0." + std::string(400, '0') + "1";
    const ParseCase cases[] = {
        // An infinite hue has no angle: no colour rather than NaN channels.
        {"hsl(" + nines + ", 50%, 50%)", std::nullopt},
        {"hsl(-" + nines + " 50 50)", std::nullopt},
        // Everything else that overflows still clamps.
        {"hsl(0, " + nines + "%, 50%)", red},
        {"hsl(0, 100%, -" + nines + "%)", RGBA{0, 0, 0, 1}},
        {"rgb(" + nines + ", 0, 0)", red},
        {"rgba(0, 0, 0, " + nines + ")", RGBA{0, 0, 0, 1}},
        {"rgba(0, 0, 0, -" + nines + "%)", RGBA{0, 0, 0, 0}},
        // Too small to be anything but zero.
        {"rgb(" + tiny + ", 0, 0)", RGBA{0, 0, 0, 1}},
        {"hsl(" + tiny + ", 100%, 50%)", red},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CSSColor(c.text).rgba()) << c.text.substr(0, 40);
    }
}

TEST(CSSColor, NamedTableHoldsTheCSSKeywords) {
    auto table = CSSColor::namedColors();
    ASSERT_EQ(148u, table.size());
    std::unordered_set<std::string_view> names;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& entry = table[i];
        names.insert(entry.name);
        EXPECT_TRUE(std::none_of(entry.name.begin(), entry.name.end(), [](char c) { return c < 'a' || c > 'z'; }))
            << entry.name;
        if (i > 0) {
            EXPECT_LT(table[i - 1].name, entry.name);
        }
        // Every entry is found, whatever its case.
        std::string upper(entry.name);
        for (char& c : upper) c = static_cast<char>(c - 'a' + 'A');
        RGBA expected{((entry.value >> 16) & 0xFF) / 255.0, ((entry.value >> 8) & 0xFF) / 255.0,
                      (entry.value & 0xFF) / 255.0, 1};
        EXPECT_EQ(expected, CSSColor(upper).rgba()) << entry.name;
    }
    EXPECT_EQ(0u, names.count("transparent"));
    for (const char* grey : {"gray", "darkgray", "darkslategray", "dimgray", "lightgray", "lightslategray",
                             "slategray"}) {
        std::string g(grey);
        EXPECT_EQ(CSSColor(g).rgba(), CSSColor(g.replace(g.find("gray"), 4, "grey")).rgba()) << grey;
        EXPECT_EQ(1u, names.count(g)) << g;
    }
    // Where the web's keywords differ from older desktop colour lists.
    const ParseCase standard[] = {
        {"gray", RGBA{128 / 255.0, 128 / 255.0, 128 / 255.0, 1}},
        {"green", RGBA{0, 128 / 255.0, 0, 1}},
        {"maroon", RGBA{128 / 255.0, 0, 0, 1}},
        {"purple", RGBA{128 / 255.0, 0, 128 / 255.0, 1}},
        {"aliceblue", RGBA{240 / 255.0, 248 / 255.0, 1, 1}},
        {"yellowgreen", RGBA{154 / 255.0, 205 / 255.0, 50 / 255.0, 1}},
        {"lightgoldenrodyellow", RGBA{250 / 255.0, 250 / 255.0, 210 / 255.0, 1}},
        {"lightgoldenrodyellowx", std::nullopt},
    };
    for (const auto& c : standard) EXPECT_EQ(c.expected, CSSColor(c.text).rgba()) << c.text;
}

// Whatever a file can carry through the gate, a parsed colour stays within 0…1 in every channel.
TEST(CSSColor, GatePassingFunctionalColoursStayInRange) {
    std::mt19937 random(20261209u);
    const char* prefixes[] = {"rgb(", "RGBA(", "hsl(", "Hsla("};
    const char* pieces[] = {"0", "255", "-7", "+12.5", ".5", "100%", "50%", "-3%", "360", "-720.25",
                            "99999999999999999999999", "0.000001", "1%"};
    int parsed = 0;
    for (int i = 0; i < 100000; ++i) {
        std::string text = prefixes[random() % 4];
        const bool comma = random() % 2;
        const int count = 3 + static_cast<int>(random() % 2);
        for (int p = 0; p < count; ++p) {
            if (p > 0) text += comma ? ", " : " ";
            text += pieces[random() % std::size(pieces)];
        }
        text += ')';
        ASSERT_TRUE(CSSColor::isValid(text)) << text;
        std::optional<RGBA> color = CSSColor(text).rgba();
        if (!color) continue;
        ++parsed;
        for (double channel : {color->red, color->green, color->blue, color->alpha}) {
            ASSERT_TRUE(channel >= 0 && channel <= 1) << text << " gave " << channel;
        }
    }
    EXPECT_GT(parsed, 10000);
}

TEST(CSSColor, TextIsKeptAsGiven) {
    CSSColor color(" RGB(1, 2, 3) ");
    EXPECT_EQ(" RGB(1, 2, 3) ", color.rawValue);
    EXPECT_EQ(" RGB(1, 2, 3) ", color.description());
    EXPECT_EQ("transparent", CSSColor::transparent().rawValue);
    EXPECT_NE(CSSColor("red"), CSSColor("Red"));
    EXPECT_EQ(std::hash<CSSColor>{}(CSSColor("red")), std::hash<CSSColor>{}(CSSColor(std::string("red"))));
    EXPECT_EQ(std::hash<RGBA>{}(RGBA{0, 0, 0, 1}), std::hash<RGBA>{}(RGBA{-0.0, 0, -0.0, 1}));
}

} // namespace
