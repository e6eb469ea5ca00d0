#pragma once

// Colours are stored as the CSS colour text a board holds and turned into numbers only when
// something is painted. `isValid` is the cheap gate for untrusted element JSON; `rgba` is the
// parser the painters call. The two accept different sets of texts on purpose.

#include <cstdint>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dv {

// Channels and opacity as fractions of full intensity; every parsed colour lies within 0…1.
struct RGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;

    bool operator==(const RGBA&) const = default; // numeric: 0 and -0 alike
};

struct NamedColor {
    std::string_view name; // lower case
    std::uint32_t value;   // 0x00RRGGBB
};

struct CSSColor {
    std::string rawValue;

    CSSColor() = default;
    CSSColor(std::string text) : rawValue(std::move(text)) {}
    CSSColor(const char* text) : rawValue(text) {}

    // The colour whose text is "transparent".
    static CSSColor transparent() { return CSSColor("transparent"); }

    const std::string& description() const { return rawValue; }

    // Gate on characters and lengths (UTF-16 code units): at most 128 units; "transparent",
    // "none", "#" with 3 to 8 hex digits, letters only, or rgb(/rgba(/hsl(/hsla( in any ASCII case
    // holding only digits, "%+,-." and JavaScript white space up to a final ")".
    static bool isValid(std::string_view text);

    // Hex (3, 4, 6, 8 digits), "transparent", the named colours and rgb()/rgba()/hsl()/hsla();
    // absent for anything else.
    std::optional<RGBA> rgba() const;

    // The 148 named colours of CSS Color Level 4 in alphabetical order ("transparent" is not one).
    static std::span<const NamedColor> namedColors();

    bool operator==(const CSSColor&) const = default;
};

} // namespace dv

template <>
struct std::hash<dv::CSSColor> {
    std::size_t operator()(const dv::CSSColor& color) const noexcept {
        return std::hash<std::string>{}(color.rawValue);
    }
};

template <>
struct std::hash<dv::RGBA> {
    std::size_t operator()(const dv::RGBA& c) const noexcept {
        // Adding +0 turns -0 into +0, so equal colours hash alike.
        std::hash<double> h;
        std::size_t seed = h(c.red + 0.0);
        for (double v : {c.green, c.blue, c.alpha}) seed = seed * 1000003u ^ h(v + 0.0);
        return seed;
    }
};
