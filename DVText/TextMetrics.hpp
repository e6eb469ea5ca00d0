#pragma once
// Text measurement and wrapping from static per-font width tables: no font engine is consulted,
// so a board measures the same on every machine, in thumbnails and in export alike.

#include "DVModel/Hashing.hpp"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

/// Height of one line as a multiple of the font size.
inline constexpr double LINE_HEIGHT_RATIO = 1.2;

struct TextSize {
    double width = 0;
    double height = 0;
    bool operator==(const TextSize&) const = default;
};

/// The inner box of a rectangle after padding; `padding` is the padding actually applied.
struct TextContentBox {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double padding = 0;
    bool operator==(const TextContentBox&) const = default;
};

/// Width of `text` as one line (a line feed counts as an ordinary character).
double measureTextWidth(std::string_view text, double fontSize, std::string_view fontFamily, bool bold);

/// Widest line and total height of `lines`.
/// The lines of a text split at every line feed, empty lines kept; views into `text`.
std::vector<std::string_view> splitLines(std::string_view text);

TextSize measureTextBlock(const std::vector<std::string>& lines, double fontSize, std::string_view fontFamily,
                          bool bold);

/// Size of `text` split at line feeds, at least one font size each way, plus padding on every side.
TextSize measureTextBounds(std::string_view text, double fontSize, std::string_view fontFamily, bool bold,
                           double padding);

TextContentBox getTextContentBox(double x, double y, double width, double height, double padding);

/// Wraps `text` into lines no wider than `maxWidth` where the words allow; with `breakWords`
/// a word that is still too wide is cut between characters.
std::vector<std::string> wrapTextLines(std::string_view text, double maxWidth, double fontSize,
                                       std::string_view fontFamily, bool bold, bool breakWords);

/// The lines of wrapTextLines as views into `text`, only the first `maxLines` of them: a text
/// far taller than what it is drawn into needs neither its later lines nor a copy of each.
std::vector<std::string_view> wrapTextLineViews(std::string_view text, double maxWidth, double fontSize,
                                                std::string_view fontFamily, bool bold, bool breakWords,
                                                std::size_t maxLines = SIZE_MAX);

} // namespace dv

DV_HASH_MEMBERS(dv::TextSize, &dv::TextSize::width, &dv::TextSize::height);
DV_HASH_MEMBERS(dv::TextContentBox, &dv::TextContentBox::x, &dv::TextContentBox::y, &dv::TextContentBox::width,
                &dv::TextContentBox::height, &dv::TextContentBox::padding);
