#include "DVText/TextMetrics.hpp"

#include "DVModel/JSNumber.hpp"
#include "DVText/detail/Advance.hpp"

#include <cmath>

namespace dv {

namespace detail {

const WidthTable& widthTableFor(std::string_view fontFamily, bool bold) {
    // Lower-casing only ASCII letters decides exactly as a full Unicode lower-casing would: the
    // only non-ASCII letters whose lower case contains ASCII letters are U+0130 (to "i" plus
    // U+0307) and U+212A (to "k"), and neither can complete "courier", "mono", "georgia",
    // "serif" or "sans". On valid UTF-8 a byte search for an ASCII needle finds the same
    // matches as a search over UTF-16 code units.
    std::string family(fontFamily);
    for (char& c : family)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    auto contains = [&](std::string_view needle) { return family.find(needle) != std::string::npos; };
    if (contains("courier") || contains("mono")) return bold ? MONO_BOLD : MONO_REGULAR;
    if (contains("georgia") || (contains("serif") && !contains("sans"))) return bold ? SERIF_BOLD : SERIF_REGULAR;
    return bold ? SANS_BOLD : SANS_REGULAR;
}

} // namespace detail

namespace {

using detail::emWidth;
using detail::scalarAdvance;
using detail::WidthTable;

std::vector<std::string_view> splitKeepingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t next = text.find(separator, start);
        if (next == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, next - start));
        start = next + 1;
    }
}

// Wraps one paragraph that does not fit. The current line is always a byte range of the
// paragraph ending at the end of the last word taken, and its em width is carried along as a
// running left-to-right sum, which is bit for bit the sum a fresh measurement would give.
class ParagraphWrapper {
public:
    ParagraphWrapper(const WidthTable& table, std::string_view paragraph, double maxWidth, double fontSize,
                     bool breakWords, std::size_t maxLines, std::vector<std::string_view>& lines)
        : table_(table), para_(paragraph), maxWidth_(maxWidth), fontSize_(fontSize), breakWords_(breakWords),
          // Widths only grow as characters are added when the font size is a positive number,
          // so a line that overflows is found, and cut, in one forward scan.
          monotone_(fontSize > 0 && std::isfinite(fontSize)), maxLines_(maxLines), lines_(lines) {}

    void run() {
        const double spaceEm = scalarAdvance(table_, U' ');
        std::size_t curStart = 0, curEnd = 0;
        double curEm = 0;
        std::size_t wordStart = 0;
        for (;;) {
            std::size_t wordEnd = para_.find(' ', wordStart);
            if (wordEnd == std::string_view::npos) wordEnd = para_.size();
            if (curEnd > curStart) {
                double candidateEm = curEm + spaceEm;
                std::size_t pos = wordStart;
                while (pos < wordEnd) candidateEm += scalarAdvance(table_, decodeUTF8(para_, pos));
                if (maxWidth_ < candidateEm * fontSize_) {
                    emit(curStart, curEnd);
                    curStart = wordStart;
                    curEm = emWidth(table_, para_.substr(wordStart, wordEnd - wordStart));
                } else {
                    curEm = candidateEm;
                }
            } else {
                curStart = wordStart;
                curEm = emWidth(table_, para_.substr(wordStart, wordEnd - wordStart));
            }
            curEnd = wordEnd;
            if (breakWords_) breakCurrent(curStart, curEnd, curEm);
            if (full()) return;
            if (wordEnd == para_.size()) break;
            wordStart = wordEnd + 1;
        }
        if (curEnd > curStart) emit(curStart, curEnd);
    }

private:
    void emit(std::size_t start, std::size_t end) { lines_.push_back(para_.substr(start, end - start)); }
    bool full() const { return lines_.size() >= maxLines_; }

    // Cuts the current line [start, end) while it has two or more characters and is too wide:
    // each piece is the longest prefix that fits, at least one character.
    void breakCurrent(std::size_t& start, std::size_t end, double& em) {
        if (!(maxWidth_ < em * fontSize_)) return;
        for (;;) {
            // Here [start, end) is too wide.
            std::size_t pos = start;
            double prefix = scalarAdvance(table_, decodeUTF8(para_, pos));
            if (pos >= end) {
                em = prefix;
                return;
            }
            // Try prefixes of 2, 3, ... characters; the first that does not fit ends the piece
            // one character earlier. The whole line does not fit, so the search stops in range.
            std::size_t pieceEnd = pos;
            for (;;) {
                prefix += scalarAdvance(table_, decodeUTF8(para_, pos));
                if (!(maxWidth_ >= prefix * fontSize_)) break;
                pieceEnd = pos;
            }
            emit(start, pieceEnd);
            start = pieceEnd;
            if (full()) return;

            double restEm = 0;
            bool overflows = false;
            if (monotone_) {
                // The rest is too wide exactly when one of its prefixes is.
                std::size_t p = start;
                while (p < end) {
                    restEm += scalarAdvance(table_, decodeUTF8(para_, p));
                    if (maxWidth_ < restEm * fontSize_) {
                        overflows = true;
                        break;
                    }
                }
            } else {
                restEm = emWidth(table_, para_.substr(start, end - start));
                overflows = maxWidth_ < restEm * fontSize_;
            }
            if (!overflows) {
                em = restEm;
                return;
            }
        }
    }

    const WidthTable& table_;
    std::string_view para_;
    double maxWidth_;
    double fontSize_;
    bool breakWords_;
    bool monotone_;
    std::size_t maxLines_;
    std::vector<std::string_view>& lines_;
};

// Whether `paragraph` is no wider than maxWidth, as a whole measurement decides. Advances are
// never negative, so with a positive font size the running sum only grows, and once a prefix
// overflows the rest need not be read: a long text in a narrow box is not measured whole.
bool fitsOneLine(const WidthTable& table, std::string_view paragraph, double maxWidth, double fontSize) {
    if (!(fontSize > 0 && std::isfinite(fontSize))) return maxWidth >= emWidth(table, paragraph) * fontSize;
    double em = 0;
    std::size_t pos = 0;
    while (pos < paragraph.size()) {
        em += scalarAdvance(table, decodeUTF8(paragraph, pos));
        if (maxWidth < em * fontSize) return false;
    }
    return maxWidth >= em * fontSize;
}

} // namespace

double measureTextWidth(std::string_view text, double fontSize, std::string_view fontFamily, bool bold) {
    return emWidth(detail::widthTableFor(fontFamily, bold), text) * fontSize;
}

TextSize measureTextBlock(const std::vector<std::string>& lines, double fontSize, std::string_view fontFamily,
                          bool bold) {
    const WidthTable& table = detail::widthTableFor(fontFamily, bold);
    double width = 0;
    for (const std::string& line : lines) width = jsMax(width, emWidth(table, line) * fontSize);
    double height = (fontSize * static_cast<double>(lines.size())) * LINE_HEIGHT_RATIO;
    return {width, height};
}

TextSize measureTextBounds(std::string_view text, double fontSize, std::string_view fontFamily, bool bold,
                           double padding) {
    std::vector<std::string> lines;
    for (std::string_view piece : splitKeepingEmpty(text, '\n')) lines.emplace_back(piece);
    TextSize block = measureTextBlock(lines, fontSize, fontFamily, bold);
    return {jsMax(std::ceil(block.width), fontSize) + 2 * padding, jsMax(block.height, fontSize) + 2 * padding};
}

TextContentBox getTextContentBox(double x, double y, double width, double height, double padding) {
    double p = jsMax(0.0, jsMin(jsMin(padding, width * 0.5), height * 0.5));
    return {x + p, y + p, jsMax(1.0, width - 2 * p), jsMax(1.0, height - 2 * p), p};
}

std::vector<std::string_view> wrapTextLineViews(std::string_view text, double maxWidth, double fontSize,
                                                std::string_view fontFamily, bool bold, bool breakWords,
                                                std::size_t maxLines) {
    const WidthTable& table = detail::widthTableFor(fontFamily, bold);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (lines.size() < maxLines) {
        const std::size_t next = text.find('\n', start);
        const std::string_view paragraph =
            text.substr(start, next == std::string_view::npos ? std::string_view::npos : next - start);
        if (paragraph.empty() || fitsOneLine(table, paragraph, maxWidth, fontSize))
            lines.push_back(paragraph);
        else
            ParagraphWrapper(table, paragraph, maxWidth, fontSize, breakWords, maxLines, lines).run();
        if (next == std::string_view::npos) break;
        start = next + 1;
    }
    if (lines.size() > maxLines) lines.resize(maxLines);
    return lines;
}

std::vector<std::string> wrapTextLines(std::string_view text, double maxWidth, double fontSize,
                                       std::string_view fontFamily, bool bold, bool breakWords) {
    const std::vector<std::string_view> views =
        wrapTextLineViews(text, maxWidth, fontSize, fontFamily, bold, breakWords);
    return {views.begin(), views.end()};
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace dv
