#include "DVRender/Canvas/CanvasFont.hpp"
#include "DVRender/Canvas/RecentParses.hpp"

#include <charconv>
#include <limits>
#include <system_error>
#include <vector>

#include "DVModel/Hashing.hpp"
#include "Platform/Unicode/Unicode.hpp"

namespace dv {

namespace {

bool isSizeChar(char ch) {
    return (ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch == '.' || ch == 'e' ||
           ch == 'E';
}

// Decimal exponent of the leading significant digit of a decimal number text (sign
// already removed): positive means the magnitude is at least 1. Used only to tell an
// overflow from an underflow when the conversion reports the value out of range.
long long leadingExponent(std::string_view text) {
    long long exponent = 0;
    std::size_t ePos = text.find_first_of("eE");
    if (ePos != std::string_view::npos) {
        std::string_view expText = text.substr(ePos + 1);
        bool negative = !expText.empty() && expText.front() == '-';
        if (!expText.empty() && (expText.front() == '-' || expText.front() == '+'))
            expText.remove_prefix(1);
        for (char ch : expText) {
            if (exponent < 100000) exponent = exponent * 10 + (ch - '0');
        }
        if (negative) exponent = -exponent;
        text = text.substr(0, ePos);
    }
    std::size_t point = text.find('.');
    std::string_view integer = text.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    std::size_t firstNonZero = integer.find_first_not_of('0');
    if (firstNonZero != std::string_view::npos)
        return exponent + static_cast<long long>(integer.size() - firstNonZero);
    std::size_t fracNonZero = fraction.find_first_not_of('0');
    if (fracNonZero == std::string_view::npos) return -1;   // zero
    return exponent - static_cast<long long>(fracNonZero);
}

// The font size reader: "Infinity", "-Infinity", or a whole decimal floating-point
// number (optional sign, digits with an optional point, optional exponent).
std::optional<double> parseSize(std::string_view text) {
    if (text == "Infinity") return std::numeric_limits<double>::infinity();
    if (text == "-Infinity") return -std::numeric_limits<double>::infinity();
    if (text.empty()) return std::nullopt;
    for (char ch : text) {
        if (!isSizeChar(ch)) return std::nullopt;
    }
    bool negative = false;
    std::string_view body = text;
    if (body.front() == '+' || body.front() == '-') {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    // from_chars reads no sign of its own beyond this point: a second sign stays and fails.
    if (body.empty() || !((body.front() >= '0' && body.front() <= '9') || body.front() == '.'))
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value,
                                     std::chars_format::general);
    if (end != body.data() + body.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Out of the range of a double: an overflow is refused (the state would refuse
        // its infinity anyway); an underflow rounds to zero as a decimal conversion does.
        if (leadingExponent(body) > 0) return std::nullopt;
        value = 0;
    } else if (ec != std::errc{}) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

bool isSeparator(std::string_view cluster) {
    std::optional<char32_t> scalar = unicode::singleScalar(cluster);
    return scalar && (*scalar == U'\uFEFF' || unicode::isWhiteSpace(*scalar));
}

// Whether the clusters from `index` spell `word` one character per cluster.
bool clustersSpell(const std::vector<std::string_view>& clusters, std::size_t index,
                   std::string_view word) {
    if (clusters.size() - index < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (clusters[index + i] != word.substr(i, 1)) return false;
    }
    return true;
}

bool holdsLineTerminator(std::string_view text) {
    return text.find_first_of("\n\r") != std::string_view::npos ||
           text.find("\xE2\x80\xA8") != std::string_view::npos ||
           text.find("\xE2\x80\xA9") != std::string_view::npos;
}

} // namespace

namespace {

std::optional<CanvasFont> parseFont(std::string_view text) {
    std::vector<std::string_view> clusters = unicode::graphemeClusters(text);
    CanvasFont font;
    std::size_t index = 0;
    if (clustersSpell(clusters, index, "italic ")) {
        font.italic = true;
        index += 7;
    }
    if (clustersSpell(clusters, index, "bold ")) {
        font.bold = true;
        index += 5;
    }
    std::size_t separator = index;
    while (separator < clusters.size() && !isSeparator(clusters[separator])) ++separator;
    if (separator == clusters.size()) return std::nullopt;
    std::size_t tokenLength = separator - index;
    if (tokenLength < 3 || !clustersSpell(clusters, separator - 2, "px")) return std::nullopt;
    if (clusters[separator] != " ") return std::nullopt;

    // Clusters are consecutive views into `text`, so byte offsets follow from them.
    auto offsetOf = [&](std::size_t i) {
        return static_cast<std::size_t>(clusters[i].data() - text.data());
    };
    std::size_t tokenBegin = offsetOf(index);
    std::size_t sizeEnd = offsetOf(separator - 2);
    std::optional<double> size = parseSize(text.substr(tokenBegin, sizeEnd - tokenBegin));
    if (!size) return std::nullopt;
    std::string_view family = text.substr(offsetOf(separator) + 1);
    if (holdsLineTerminator(family)) return std::nullopt;
    font.size = *size;
    font.family = std::string(family);
    return font;
}

} // namespace

std::optional<CanvasFont> CanvasFont::parse(std::string_view text) {
    thread_local RecentParses<std::optional<CanvasFont>> recent;
    return recent.get(text, parseFont);
}

std::size_t hashValue(const CanvasFont& font) {
    Hasher seed;
    hashMix(seed, font.italic);
    hashMix(seed, font.bold);
    hashMix(seed, font.size);
    hashMix(seed, std::string_view(font.family));
    return hashResult(seed);
}

} // namespace dv
