#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "DVRender/Canvas/CanvasFont.hpp"

namespace dv {
namespace {

struct FontRow {
    std::string text;
    std::optional<CanvasFont> expected;
};

const double inf = std::numeric_limits<double>::infinity();

const std::vector<FontRow>& acceptedRows() {
    static const std::vector<FontRow> rows = {
        {"10px sans-serif", CanvasFont{false, false, 10, "sans-serif"}},
        {"italic bold 12px Arial, sans-serif", CanvasFont{true, true, 12, "Arial, sans-serif"}},
        {"italic 12px x", CanvasFont{true, false, 12, "x"}},
        {"bold 12px x", CanvasFont{false, true, 12, "x"}},
        {"12px ", CanvasFont{false, false, 12, ""}},
        {"12px  two  spaces ", CanvasFont{false, false, 12, " two  spaces "}},
        {"12px \"Quoted Family\", serif", CanvasFont{false, false, 12, "\"Quoted Family\", serif"}},
        {".5px x", CanvasFont{false, false, 0.5, "x"}},
        {"5.px x", CanvasFont{false, false, 5, "x"}},
        {"+3px x", CanvasFont{false, false, 3, "x"}},
        {"1e1px x", CanvasFont{false, false, 10, "x"}},
        {"1E+1px x", CanvasFont{false, false, 10, "x"}},
        {"-1px x", CanvasFont{false, false, -1, "x"}},
        {"Infinitypx x", CanvasFont{false, false, inf, "x"}},
        {"-Infinitypx x", CanvasFont{false, false, -inf, "x"}},
        {"1e-400px x", CanvasFont{false, false, 0, "x"}},
        // A family may hold a NUL and other characters; only line terminators are refused.
        {std::string("12px a\0b", 8), CanvasFont{false, false, 12, std::string("a\0b", 3)}},
        {"12px \u00e9\u0301", CanvasFont{false, false, 12, "\u00e9\u0301"}},
        // Long families, alike but for their last character.
        {"12px " + std::string(200, 'f') + "a", CanvasFont{false, false, 12, std::string(200, 'f') + "a"}},
        {"12px " + std::string(200, 'f') + "b", CanvasFont{false, false, 12, std::string(200, 'f') + "b"}},
    };
    return rows;
}

const std::vector<std::string>& refusedTexts() {
    static const std::vector<std::string> refused = {
        "bold italic 12px x",   // the order is fixed
        "Bold 12px x",
        "Italic 12px x",
        "12px",                 // no separator
        "12pt x",
        "1em x",
        "px x",                 // too short
        "12px\tx",              // only a plain space separates
        "12px\u00a0x",
        "12px\ufeffx",
        " 12px x",              // the separator comes before any size
        "italic  12px x",
        "1epx x",
        "--1px x",
        "+-1px x",
        "1-2px x",
        "0x10px x",
        "1,5px x",
        "\u0661\u0662px x",     // non-ASCII digits
        "1e999px x",            // out of range
        "12px a\nb",
        "12px a\rb",
        "12px a\r\nb",
        "12px a\u2028b",
        "12px a\u2029b",
        // A space followed by a combining mark is one character, and no space.
        "italic \u0301" "12px x",
        "12px\u0301 x",
        // CR LF is one character: no separator.
        "12px\r\nx",
        "",
        "12px " + std::string(200, 'f') + "\n",
    };
    return refused;
}

TEST(CanvasFont, ParsesTheAcceptedShape) {
    for (const auto& row : acceptedRows()) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(CanvasFont::parse(row.text), row.expected);
    }
}

TEST(CanvasFont, RefusesEverythingElse) {
    for (const auto& text : refusedTexts()) {
        SCOPED_TRACE(text);
        EXPECT_EQ(CanvasFont::parse(text), std::nullopt);
    }
}

// Drawing sets the same fonts over and over, mixed with others: every text keeps its own
// answer whatever was parsed before it, in rounds both ways over more texts than are kept.
TEST(CanvasFont, RepeatedAndInterleavedTextsKeepTheirAnswers) {
    std::vector<FontRow> rows = acceptedRows();
    for (const std::string& text : refusedTexts()) rows.push_back({text, std::nullopt});
    for (int round = 0; round < 3; ++round) {
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const FontRow& row = rows[round == 1 ? rows.size() - 1 - k : k];
            SCOPED_TRACE(row.text);
            EXPECT_EQ(CanvasFont::parse(row.text), row.expected);
            EXPECT_EQ(CanvasFont::parse(row.text), row.expected);
            // Right after it, its own beginnings: shorter families or no font at all.
            if (row.expected) {
                for (std::size_t cut : {row.text.size() / 2, row.text.size() - 1}) {
                    EXPECT_NE(CanvasFont::parse(row.text.substr(0, cut)), row.expected);
                }
            }
        }
    }
}

TEST(CanvasFont, CombiningMarkAfterThePrefixSpaceIsPartOfTheSizeToken) {
    // "italic " + U+0301 + "12px x": the prefix does not match, so the size token is
    // "italic" and the text is refused at the "px" test rather than read as italic.
    EXPECT_EQ(CanvasFont::parse("italic \u0301 12px x"), std::nullopt);
    EXPECT_EQ(CanvasFont::parse("bold \u0301 12px x"), std::nullopt);
}

TEST(CanvasFont, EqualFontsHashEqual) {
    CanvasFont a{false, true, 0.0, "x"};
    CanvasFont b{false, true, -0.0, "x"};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<CanvasFont>{}(a), std::hash<CanvasFont>{}(b));
}

} // namespace
} // namespace dv
