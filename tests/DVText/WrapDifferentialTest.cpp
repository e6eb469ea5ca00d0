// The wrapper keeps running sums to stay linear; this checks it against a plain, quadratic
// reading of the wrapping rules on random texts, widths and font sizes.
#include "DVModel/UTF8.hpp"
#include "DVText/TextMetrics.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace dv {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        if (c == separator) {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    pieces.push_back(piece);
    return pieces;
}

std::vector<std::string> scalars(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        decodeUTF8(text, pos);
        out.push_back(text.substr(start, pos - start));
    }
    return out;
}

std::string join(const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) out += parts[i];
    return out;
}

Lines referenceWrap(const std::string& text, double maxWidth, double fontSize, const std::string& family,
                    bool bold, bool breakWords) {
    auto width = [&](const std::string& s) { return measureTextWidth(s, fontSize, family, bold); };
    Lines lines;
    for (const std::string& paragraph : split(text, '\n')) {
        if (paragraph.empty() || maxWidth >= width(paragraph)) {
            lines.push_back(paragraph);
            continue;
        }
        std::string current;
        for (const std::string& word : split(paragraph, ' ')) {
            if (!current.empty()) {
                std::string candidate = current + " " + word;
                if (maxWidth < width(candidate)) {
                    lines.push_back(current);
                    current = word;
                } else {
                    current = candidate;
                }
            }
            if (current.empty()) current = word;
            if (breakWords) {
                for (;;) {
                    std::vector<std::string> units = scalars(current);
                    if (units.size() < 2 || !(maxWidth < width(current))) break;
                    std::size_t length = 2;
                    while (length <= units.size() && maxWidth >= width(join(units, 0, length))) ++length;
                    std::size_t piece = length - 1;
                    lines.push_back(join(units, 0, piece));
                    current = join(units, piece, units.size());
                }
            }
        }
        if (!current.empty()) lines.push_back(current);
    }
    return lines;
}

TEST(WrapTextLines, MatchesPlainReadingOnRandomInput) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::string> alphabet = {
        "a", "i", "W", "m", " ", " ", " ", "  ", "\xC2\xAD", "\xE4\xB8\xAD", "\xCC\x81", "\n",
        "\xF0\x9F\x98\x80", "\xC3\xA9", "-", "\t"};
    const std::vector<double> specialWidths = {0, -1, -0.0, nan, inf, -inf, 0.1, 1e-300};
    const std::vector<double> fontSizes = {1, 10, 16, 0, -0.0, -12, nan, inf, 0.5, 1e-310};
    const std::vector<std::string> families = {"Arial", "Georgia", "Courier New"};
    std::mt19937_64 rng(20240611);
    for (int iteration = 0; iteration < 3000; ++iteration) {
        std::string text;
        std::size_t length = rng() % 40;
        for (std::size_t i = 0; i < length; ++i) text += alphabet[rng() % alphabet.size()];
        double fontSize = rng() % 3 == 0 ? fontSizes[rng() % fontSizes.size()] : 1 + double(rng() % 300) / 10;
        double maxWidth = rng() % 4 == 0 ? specialWidths[rng() % specialWidths.size()] : double(rng() % 4000) / 100;
        // With a negative font size widths shrink as text grows: widths below zero are the
        // interesting ones there.
        if (fontSize < 0 && rng() % 2 == 0) maxWidth = -maxWidth;
        const std::string& family = families[rng() % families.size()];
        bool bold = rng() % 2;
        bool breakWords = rng() % 4 != 0;
        const Lines expected = referenceWrap(text, maxWidth, fontSize, family, bold, breakWords);
        ASSERT_EQ(wrapTextLines(text, maxWidth, fontSize, family, bold, breakWords), expected)
            << "text '" << text << "' maxWidth " << maxWidth << " fontSize " << fontSize << " breakWords "
            << breakWords;
        // A wrap cut short gives the same first lines, whether it stops inside a paragraph,
        // inside a cut word or at a line feed.
        const std::size_t maxLines = rng() % (expected.size() + 2);
        const std::vector<std::string_view> views =
            wrapTextLineViews(text, maxWidth, fontSize, family, bold, breakWords, maxLines);
        ASSERT_EQ(Lines(views.begin(), views.end()),
                  Lines(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(std::min(maxLines, expected.size()))))
            << "text '" << text << "' maxWidth " << maxWidth << " maxLines " << maxLines;
    }
}

TEST(WrapTextLines, LongWordCutIntoSingleCharacters) {
    std::string word(10000, 'W');
    Lines lines = wrapTextLines(word, 1, 16, "Arial", false, true);
    ASSERT_EQ(lines.size(), 10000u);
    EXPECT_EQ(lines.front(), "W");
    EXPECT_EQ(lines.back(), "W");
}

} // namespace
} // namespace dv
