#pragma once
// The theme that rendering carries (light or dark canvas) and the small colour questions every
// painter asks: is a colour light, which text colour reads on a fill, how the default inks and
// black shadows change on a dark canvas, and the seed of an element's hand-drawn jitter.
// Colours stay CSS texts; all functions are pure and never fail.

#include "DVModel/CSSColor.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dv {

class ImageProvider;

struct RenderTheme {
    bool isLight = true;
    std::string canvasBackground = "#ffffff";

    static const RenderTheme light;
    static const RenderTheme dark;

    // The canvas colour's own lightness, or `isLight` when the colour is not hexadecimal.
    bool isLightCanvas() const;
    // "0,0,0" on a light canvas, else "255,255,255": the channels of the ink colour.
    std::string_view canvasInk() const;

    bool operator==(const RenderTheme&) const = default;
};

// What every painter receives: the theme and where image sources are looked up. The provider
// is not owned (the thumbnail passes the process-wide image store); it must outlive the
// painting. Without one, every image counts as failed.
struct RenderEnvironment {
    RenderTheme theme;
    ImageProvider* images = nullptr;

    RenderEnvironment(RenderTheme theme, ImageProvider& images)
        : theme(std::move(theme)), images(&images) {}
    explicit RenderEnvironment(RenderTheme theme) : theme(std::move(theme)) {}
};

// True for a light hexadecimal colour (#rgb, #rrggbb, with or without "#", surrounding white
// space allowed); absent for anything that is not hexadecimal.
std::optional<bool> isLightColor(std::string_view color);
// "#111111" on a light background, "#ffffff" on a dark one, `fallback` when the background is
// empty, "transparent", "none" or unreadable.
std::string contrastColor(std::string_view background, std::string_view fallback);
// Swaps the two default inks so that they stay visible on the theme's canvas.
std::string resolveStrokeColorForTheme(std::string_view stroke, const RenderTheme& theme,
                                       std::optional<std::string_view> fill);
// The themed label colour, or absent when the label names no colour (or an empty one).
std::optional<std::string> resolvedLabelColor(const std::optional<CSSColor>& labelColor,
                                              const RenderTheme& theme,
                                              const std::optional<CSSColor>& fill);

struct CodeBlockColors {
    std::string_view fill;
    std::string_view border;
};
CodeBlockColors codeBlockColors(const RenderTheme& theme);

// On a dark canvas a black shadow becomes a faint white one; every other colour is kept.
std::string shadowColorForTheme(std::string_view color, bool isLight);
// The alpha numeral of the first "rgba(0,0,0,<digits and dots>)" in the text.
std::optional<std::string_view> blackRGBAAlpha(std::string_view text);
// The text without any JavaScript white space, wherever it stands.
std::string removingJSWhitespace(std::string_view text);
// True when the text holds one of the characters that markup must escape: " & < >.
bool containsMarkupSpecial(std::string_view text);
// The 32-bit string hash (h * 31 + unit over UTF-16 units) that seeds an element's jitter.
std::int32_t hashId(std::string_view id);
// Icons are stroked 1.5 times as wide as their element, at least 1.5 and at most 3.
double getIconStrokeWidth(double strokeWidth);

}  // namespace dv

template <>
struct std::hash<dv::RenderTheme> {
    std::size_t operator()(const dv::RenderTheme& theme) const noexcept;
};
