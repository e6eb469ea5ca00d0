#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "DVRender/Scene/RenderTheme.hpp"

namespace dv {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(ColourFunctions, IsLightColor) {
    struct Case { const char* color; std::optional<bool> light; };
    const Case cases[] = {
        {"#fff", true},
        {"  #FFFFFF \n", true},
        {"#808080", false},       // luminance 0.502
        {"#ffffff80", true},      // alpha pair ignored
        {"fff", true},
        {"#ff", std::nullopt},
        {"white", std::nullopt},
        {"rgb(255,255,255)", std::nullopt},
        {"#ggg", std::nullopt},
        {"ab#cdef", true},        // the first "#" is removed wherever it stands: abcdef
        {"12#3456", false},       // likewise: 123456 is dark
        {"#ffeb3b", true},
        {"#1e1e1e", false},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(isLightColor(c.color), c.light) << c.color;
}

TEST(ColourFunctions, ContrastColor) {
    struct Case { const char* background; const char* fallback; const char* expected; };
    const Case cases[] = {
        {"transparent", "#e2e2ef", "#e2e2ef"},
        {"none", "#123456", "#123456"},
        {"", "#123456", "#123456"},
        {"#fff", "#abcdef", "#abcdef"},       // three digits are not expanded here
        {"#ffeb3b", "#000000", "#111111"},
        {"#1e1e1e", "#000000", "#ffffff"},
        {"#zzzzzz", "#0000ff", "#0000ff"},    // a channel that is not a number
        {"Transparent", "#0000ff", "#0000ff"},  // unreadable, not the keyword
        {"blurple", "#000000", "#000000"},
        {"#ffffff", "x", "#111111"},
    };
    for (const auto& c : cases) EXPECT_EQ(contrastColor(c.background, c.fallback), c.expected) << c.background;
}

TEST(ColourFunctions, ResolveStrokeColorForTheme) {
    struct Case { const char* stroke; bool light; std::optional<std::string> fill; const char* expected; };
    const Case cases[] = {
        {"#000", false, std::nullopt, "#e2e2ef"},
        {"#000000", false, std::nullopt, "#e2e2ef"},
        {"#000", false, std::string("#ff0000"), "#000"},
        {"#000", false, std::string("transparent"), "#e2e2ef"},
        {"#000", false, std::string(""), "#e2e2ef"},
        {"#E2E2EF", true, std::nullopt, "#000000"},
        {"#000", true, std::nullopt, "#000"},
        {"#e2e2ef", false, std::nullopt, "#e2e2ef"},
        {"#ff0000", false, std::nullopt, "#ff0000"},
    };
    for (const auto& c : cases) {
        const RenderTheme& theme = c.light ? RenderTheme::light : RenderTheme::dark;
        std::optional<std::string_view> fill;
        if (c.fill) fill = *c.fill;
        EXPECT_EQ(resolveStrokeColorForTheme(c.stroke, theme, fill), c.expected) << c.stroke;
    }
}

TEST(ColourFunctions, ResolvedLabelColor) {
    EXPECT_EQ(resolvedLabelColor(std::nullopt, RenderTheme::dark, std::nullopt), std::nullopt);
    EXPECT_EQ(resolvedLabelColor(CSSColor(""), RenderTheme::dark, std::nullopt), std::nullopt);
    EXPECT_EQ(resolvedLabelColor(CSSColor("#000"), RenderTheme::dark, std::nullopt), "#e2e2ef");
    EXPECT_EQ(resolvedLabelColor(CSSColor("#000"), RenderTheme::dark, CSSColor("#ffeb3b")), "#000");
}

TEST(ColourFunctions, ShadowColorForTheme) {
    struct Case { const char* color; bool light; const char* expected; };
    const Case cases[] = {
        {"rgba(0,0,0,0.35)", false, "rgba(255,255,255,0.24)"},
        {"RGBA(0, 0, 0, 0.5)", false, "rgba(255,255,255,0.25)"},
        {"rgba(0,0,0,.2)", false, "rgba(255,255,255,0.14)"},
        {"#000", false, "rgba(255,255,255,0.15)"},
        {"#000000", false, "rgba(255,255,255,0.15)"},
        {"rgba(0,0,0,0.5", false, "rgba(255,255,255,0.15)"},   // alpha not closed
        {"#808080", false, "#808080"},
        {"rgba(1,0,0,0.5)", false, "rgba(1,0,0,0.5)"},
        {"rgba(0,0,0,0.35)", true, "rgba(0,0,0,0.35)"},
        {"#000", true, "#000"},
    };
    for (const auto& c : cases) EXPECT_EQ(shadowColorForTheme(c.color, c.light), c.expected) << c.color;
}

TEST(ColourFunctions, BlackRGBAAlpha) {
    struct Case { const char* text; std::optional<std::string_view> alpha; };
    const Case cases[] = {
        {"rgba(0,0,0,0.5)", "0.5"},
        {"rgba(0,0,0,)", std::nullopt},
        {"rgba(0,0,0,x) rgba(0,0,0,.25)", ".25"},   // the search resumes after a failed match
        {"RGBA(0,0,0,0.5)", std::nullopt},
        {"rgba(0,0,0,1", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(blackRGBAAlpha(c.text), c.alpha) << c.text;
}

TEST(TextHelpers, WhitespaceAndMarkup) {
    EXPECT_EQ(removingJSWhitespace("\t r g\xC2\xA0" "b\xE2\x80\xA8" "a\xEF\xBB\xBF(\xE3\x80\x80"), "rgba(");
    EXPECT_EQ(removingJSWhitespace("\xE2\x80\x8B" "x"), "\xE2\x80\x8B" "x");  // U+200B is not white space
    EXPECT_EQ(removingJSWhitespace(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_TRUE(containsMarkupSpecial("a<b"));
    EXPECT_TRUE(containsMarkupSpecial("\"q\""));
    EXPECT_TRUE(containsMarkupSpecial("&"));
    EXPECT_TRUE(containsMarkupSpecial(">"));
    EXPECT_FALSE(containsMarkupSpecial("plain 'text'"));
}

TEST(Seeds, HashIdAndIconWidth) {
    EXPECT_EQ(hashId(""), 0);
    EXPECT_EQ(hashId("a"), 97);
    EXPECT_EQ(hashId("ab"), 3105);
    EXPECT_EQ(hashId("node-1"), -1040172250);
    // A scalar beyond the basic plane counts as its two UTF-16 units.
    EXPECT_EQ(hashId("\xF0\x9F\x98\x80"), 0xD83D * 31 + 0xDE00);

    EXPECT_EQ(getIconStrokeWidth(0.5), 1.5);
    EXPECT_EQ(getIconStrokeWidth(1), 1.5);
    EXPECT_EQ(getIconStrokeWidth(4), 3);
    EXPECT_TRUE(std::isnan(getIconStrokeWidth(NaN)));
}

TEST(Themes, ConstantsAndInk) {
    EXPECT_TRUE(RenderTheme::light.isLight);
    EXPECT_EQ(RenderTheme::light.canvasBackground, "#ffffff");
    EXPECT_FALSE(RenderTheme::dark.isLight);
    EXPECT_EQ(RenderTheme::dark.canvasBackground, "#080808");
    EXPECT_EQ(RenderTheme::light.canvasInk(), "0,0,0");
    EXPECT_EQ(RenderTheme::dark.canvasInk(), "255,255,255");
    // A canvas colour that is no hexadecimal colour falls back to the flag.
    EXPECT_FALSE((RenderTheme{false, "black"}).isLightCanvas());
    EXPECT_TRUE((RenderTheme{false, "#fafafa"}).isLightCanvas());
    EXPECT_EQ(codeBlockColors(RenderTheme::light).fill, "rgba(0,0,0,0.05)");
    EXPECT_EQ(codeBlockColors(RenderTheme::light).border, "rgba(0,0,0,0.15)");
    EXPECT_EQ(codeBlockColors(RenderTheme::dark).fill, "rgba(0,0,0,0.55)");
    EXPECT_EQ(codeBlockColors(RenderTheme::dark).border, "rgba(255,255,255,0.15)");
    EXPECT_EQ(RenderTheme::light, (RenderTheme{true, "#ffffff"}));
    EXPECT_NE(RenderTheme::light, RenderTheme::dark);
    std::hash<RenderTheme> h;
    EXPECT_EQ(h(RenderTheme::dark), h(RenderTheme{false, "#080808"}));
}

}  // namespace
}  // namespace dv
