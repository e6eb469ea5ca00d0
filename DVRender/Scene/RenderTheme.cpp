#include "DVRender/Scene/RenderTheme.hpp"

#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/JSString.hpp"
#include "DVModel/UTF8.hpp"
#include "DVRender/Canvas/JSNumberText.hpp"

#include <cmath>

namespace dv {

const RenderTheme RenderTheme::light{true, "#ffffff"};
const RenderTheme RenderTheme::dark{false, "#080808"};

namespace {

// The colour as UTF-16 units with its first "#" removed, wherever it stands, as the web code
// does with replace("#", "").
std::u16string withoutFirstHash(std::string_view text) {
    std::u16string units = toUTF16(text);
    if (auto pos = units.find(u'#'); pos != std::u16string::npos) units.erase(pos, 1);
    return units;
}

// Luminance of the first three unit pairs, each read by parseInt(pair, 16); NaN when a pair
// does not parse. The sum keeps the web code's order.
double hexLuminance(std::u16string_view units) {
    const double r = jsParseHexInt(units.substr(0, 2));
    const double g = jsParseHexInt(units.substr(2, 2));
    const double b = jsParseHexInt(units.substr(4, 2));
    return (0.299 * r + 0.587 * g + 0.114 * b) / 255;
}

bool isHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Only the ASCII letters change: every text compared against the result below is ASCII, and no
// other character lowercases into one of its characters.
std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

bool RenderTheme::isLightCanvas() const {
    return isLightColor(canvasBackground).value_or(isLight);
}

std::string_view RenderTheme::canvasInk() const {
    return isLightCanvas() ? "0,0,0" : "255,255,255";
}

std::optional<bool> isLightColor(std::string_view color) {
    std::u16string units = withoutFirstHash(jsTrim(color));
    if (units.size() == 3) {
        units = {units[0], units[0], units[1], units[1], units[2], units[2]};
    }
    if (units.size() < 6) return std::nullopt;
    for (std::size_t i = 0; i < 6; ++i) {
        if (!isHexDigit(units[i])) return std::nullopt;
    }
    return hexLuminance(units) > 0.55;
}

std::string contrastColor(std::string_view background, std::string_view fallback) {
    if (background.empty() || background == "transparent" || background == "none") {
        return std::string(fallback);
    }
    const std::u16string units = withoutFirstHash(background);
    if (units.size() < 6) return std::string(fallback);
    const double luminance = hexLuminance(units);
    // Any channel that is NaN makes the luminance NaN.
    if (std::isnan(luminance)) return std::string(fallback);
    return luminance > 0.55 ? "#111111" : "#ffffff";
}

std::string resolveStrokeColorForTheme(std::string_view stroke, const RenderTheme& theme,
                                       std::optional<std::string_view> fill) {
    const std::string lower = asciiLowercased(stroke);
    if (theme.isLight) {
        return lower == "#e2e2ef" ? "#000000" : std::string(stroke);
    }
    if (fill && !fill->empty() && *fill != "transparent") return std::string(stroke);
    if (lower == "#000000" || lower == "#000") return "#e2e2ef";
    return std::string(stroke);
}

std::optional<std::string> resolvedLabelColor(const std::optional<CSSColor>& labelColor,
                                              const RenderTheme& theme,
                                              const std::optional<CSSColor>& fill) {
    if (!labelColor || labelColor->rawValue.empty()) return std::nullopt;
    std::optional<std::string_view> fillText;
    if (fill) fillText = fill->rawValue;
    return resolveStrokeColorForTheme(labelColor->rawValue, theme, fillText);
}

CodeBlockColors codeBlockColors(const RenderTheme& theme) {
    if (theme.isLight) return {"rgba(0,0,0,0.05)", "rgba(0,0,0,0.15)"};
    return {"rgba(0,0,0,0.55)", "rgba(255,255,255,0.15)"};
}

std::string shadowColorForTheme(std::string_view color, bool isLight) {
    if (isLight) return std::string(color);
    const std::string compact = removingJSWhitespace(asciiLowercased(color));
    const bool black = compact.starts_with("rgba(0,0,0") || compact == "#000" || compact == "#000000";
    if (!black) return std::string(color);
    double alpha = 0.15;
    if (auto numeral = blackRGBAAlpha(compact)) {
        alpha = jsMin(parseDecimalNumber(*numeral) * 0.7, 0.25);
    }
    return "rgba(255,255,255," + jsToFixed(2, alpha) + ")";
}

std::optional<std::string_view> blackRGBAAlpha(std::string_view text) {
    constexpr std::string_view needle = "rgba(0,0,0,";
    std::size_t from = 0;
    while (true) {
        const std::size_t match = text.find(needle, from);
        if (match == std::string_view::npos) return std::nullopt;
        const std::size_t start = match + needle.size();
        std::size_t end = start;
        while (end < text.size() && (text[end] == '.' || (text[end] >= '0' && text[end] <= '9'))) ++end;
        if (end > start && end < text.size() && text[end] == ')') return text.substr(start, end - start);
        from = match + 1;
    }
}

std::string removingJSWhitespace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t scalar = decodeUTF8(text, pos);
        if (!isJSWhiteSpace(scalar)) out.append(text.substr(start, pos - start));
    }
    return out;
}

bool containsMarkupSpecial(std::string_view text) {
    return text.find_first_of("\"&<>") != std::string_view::npos;
}

std::int32_t hashId(std::string_view id) {
    // Unsigned arithmetic wraps as JavaScript's `| 0` does; signed overflow would be undefined.
    std::uint32_t h = 0;
    auto step = [&h](std::uint32_t unit) { h = (h << 5) - h + unit; };
    std::size_t pos = 0;
    while (pos < id.size()) {
        const char32_t scalar = decodeUTF8(id, pos);
        if (scalar >= 0x10000) {
            const std::uint32_t v = static_cast<std::uint32_t>(scalar) - 0x10000;
            step(0xD800 + (v >> 10));
            step(0xDC00 + (v & 0x3FF));
        } else {
            step(static_cast<std::uint32_t>(scalar));
        }
    }
    return static_cast<std::int32_t>(h);
}

double getIconStrokeWidth(double strokeWidth) {
    return jsMin(jsMax(strokeWidth, 1.0) * 1.5, 3.0);
}

}  // namespace dv

std::size_t std::hash<dv::RenderTheme>::operator()(const dv::RenderTheme& theme) const noexcept {
    dv::Hasher hasher;
    hasher.writeByte(theme.isLight ? 1 : 0);
    hasher.write(theme.canvasBackground);
    return static_cast<std::size_t>(hasher.finish());
}
