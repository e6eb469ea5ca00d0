#include "DVText/TextMetrics.hpp"
#include "DVText/detail/WidthTables.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace dv {
namespace {

using Lines = std::vector<std::string>;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(WidthTables, SumsAndSoftHyphen) {
    struct Case {
        const char* name;
        const detail::WidthTable* table;
        double sum;
    };
    const Case cases[] = {
        {"sans regular", &detail::SANS_REGULAR, 103.598}, {"sans bold", &detail::SANS_BOLD, 107.104},
        {"serif regular", &detail::SERIF_REGULAR, 107.687}, {"serif bold", &detail::SERIF_BOLD, 121.391},
        {"mono regular", &detail::MONO_REGULAR, 114.0},    {"mono bold", &detail::MONO_BOLD, 114.0},
    };
    for (const Case& c : cases) {
        double sum = 0;
        for (double v : *c.table) {
            sum += v;
            EXPECT_GE(v, 0) << c.name;
        }
        EXPECT_NEAR(sum, c.sum, 1e-9) << c.name;
        EXPECT_EQ((*c.table)[0xAD - 0xA0 + 95], 0.0) << c.name << ": soft hyphen";
    }
    EXPECT_EQ(detail::SANS_REGULAR['W' - 0x20], 0.944);
    EXPECT_EQ(detail::SANS_REGULAR['@' - 0x20], 1.015);
    EXPECT_EQ(detail::SERIF_BOLD['W' - 0x20], 1.126);
    EXPECT_EQ(detail::MONO_BOLD['W' - 0x20], 0.6);
}

TEST(MeasureTextWidth, FontClassFromFamily) {
    // 'W' is 0.944 in sans regular, 0.976 in serif regular, 0.6 in monospace; bold sans is 0.944,
    // bold serif 1.126.
    struct Case {
        const char* family;
        bool bold;
        double em;
    };
    const Case cases[] = {
        {"Arial, sans-serif", false, 0.944}, {"", false, 0.944},
        {"Comic Sans MS", false, 0.944},      {"Sans Serif", false, 0.944},
        {"Georgia", false, 0.976},            {"GEORGIA", false, 0.976},
        {"Times New Roman, serif", false, 0.976}, {"Noto Serif", false, 0.976},
        {"Courier New", false, 0.6},          {"ui-monospace", false, 0.6},
        {"Roboto Mono", false, 0.6},          {"COURIER", true, 0.6},
        {"Georgia", true, 1.126},             {"Helvetica", true, 0.944},
        // U+0130 lower-cases to "i" + U+0307 and must not complete "serif".
        {"ser\xC4\xB0" "f", false, 0.944},
    };
    for (const Case& c : cases) EXPECT_EQ(measureTextWidth("W", 1, c.family, c.bold), c.em) << c.family;
}

TEST(MeasureTextWidth, AdvanceRules) {
    const double n = 0.556;  // "n" in sans regular
    struct Case {
        const char* name;
        std::string text;
        double em;
    };
    const Case cases[] = {
        {"e acute is its Latin-1 entry", "\xC3\xA9", 0.556},
        {"e + combining acute", "e\xCC\x81", 0.556 + n},
        {"CJK ideograph", "\xE4\xB8\xAD", 1.0},
        {"Hangul syllable", "\xEA\xB0\x80", 1.0},
        {"Hangul jamo", "\xE1\x84\x80", 1.0},
        {"full-width A", "\xEF\xBC\xA1", 1.0},
        {"emoji", "\xF0\x9F\x98\x80", 1.0},
        {"first of U+1F300", "\xF0\x9F\x8C\x80", 1.0},
        {"just below U+1F300", "\xF0\x9F\x8B\xBF", n},
        {"em dash", "\xE2\x80\x94", n},
        {"line feed", "\n", n},
        {"tab", "\t", n},
        {"DEL", "\x7F", n},
        {"soft hyphen", "\xC2\xAD", 0.0},
        {"NUL", std::string(1, '\0'), n},
        {"ill-formed byte", "\xFF", n},
        {"empty", "", 0.0},
    };
    for (const Case& c : cases) EXPECT_EQ(measureTextWidth(c.text, 1, "Arial", false), c.em) << c.name;
    // The em sum is taken left to right, then multiplied once by the font size.
    EXPECT_EQ(measureTextWidth("Wa", 10, "Arial", false), (0.944 + 0.556) * 10);
    EXPECT_EQ(measureTextWidth("abc", 7, "Georgia", false), ((0.504 + 0.56) + 0.454) * 7);
}

TEST(MeasureTextBlockAndBounds, Sizes) {
    EXPECT_EQ(measureTextBlock({}, 16, "Arial", false), (TextSize{0, 0}));
    TextSize two = measureTextBlock({"a", "W"}, 10, "Arial", false);
    EXPECT_EQ(two.width, 0.944 * 10);
    EXPECT_EQ(two.height, (10.0 * 2) * 1.2);

    TextSize empty = measureTextBounds("", 16, "Arial", false, 3);
    EXPECT_EQ(empty.width, 16 + 2 * 3);
    EXPECT_EQ(empty.height, 16 * 1.0 * 1.2 + 2 * 3);
    // Only the width is rounded up; a trailing line feed adds an empty line.
    TextSize w = measureTextBounds("WWWW\n", 10, "Arial", false, 0);
    EXPECT_EQ(w.width, 38);
    EXPECT_EQ(w.height, (10.0 * 2) * 1.2);
}

TEST(GetTextContentBox, PaddingIsClamped) {
    struct Case {
        double x, y, w, h, padding;
        TextContentBox expected;
    };
    const Case cases[] = {
        {0, 0, 12, 8, 10, {4, 4, 4, 1, 4}},
        {5, 6, 100, 50, -3, {5, 6, 100, 50, 0}},
        {0, 0, 100, 50, 10, {10, 10, 80, 30, 10}},
        {0, 0, 0.5, 0.5, 1, {0.25, 0.25, 1, 1, 0.25}},
    };
    for (const Case& c : cases) EXPECT_EQ(getTextContentBox(c.x, c.y, c.w, c.h, c.padding), c.expected);
}

// Sans regular widths used below at font size 1: "a" 0.556, "i" 0.222, " " 0.278, "W" 0.944.
TEST(WrapTextLines, Paragraphs) {
    struct Case {
        const char* name;
        std::string text;
        double maxWidth;
        bool breakWords;
        Lines expected;
    };
    const Case cases[] = {
        {"empty text is one empty line", "", 5, false, {""}},
        {"fitting paragraphs keep an empty middle", "ab\n\ncd", 100, false, {"ab", "", "cd"}},
        {"trailing line feed", "ab\n", 100, false, {"ab", ""}},
        {"fitting paragraph keeps its spaces", "  a  b  ", 100, false, {"  a  b  "}},
        {"only spaces, too wide, gives no line", "      ", 1, false, {}},
        {"leading spaces dropped when too wide", "  aaa aaa", 2, false, {"aaa", "aaa"}},
        {"space at a break is dropped", "aa aa aa", 2.6, false, {"aa aa", "aa"}},
        {"runs of spaces between words survive when they fit", "a  a aaaaa", 2, false, {"a  a", "aaaaa"}},
        {"a wide word stands alone", "a WWWWW a", 2, false, {"a", "WWWWW", "a"}},
        {"a wide word is cut", "WWWWW", 2, true, {"WW", "WW", "W"}},
        {"a character wider than the line stays alone", "WWW", 0.5, true, {"W", "W", "W"}},
        {"cuts keep the longest fitting run", "aiiiiia", 1.2, true, {"aii", "iii", "a"}},
        {"NaN width rebuilds word by word", "  a  b", NaN, true, {"a  b"}},
        {"soft hyphens cost nothing", "a\xC2\xAD\xC2\xAD" "a\xC2\xAD" "a", 1.2, true,
         {"a\xC2\xAD\xC2\xAD" "a\xC2\xAD", "a"}},
        {"cut between scalars of one cluster", "e\xCC\x81" "e\xCC\x81", 1.2, true, {"e\xCC\x81", "e\xCC\x81"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wrapTextLines(c.text, c.maxWidth, 1, "Arial", false, c.breakWords), c.expected) << c.name;
}

} // namespace
} // namespace dv
