#pragma once
// The parsed canvas `font` property. The kit writes its fonts in one shape only
// ("italic " and "bold " optional, a size in px, one space, a family), so exactly that
// subset of the CSS font shorthand is accepted.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dv {

struct CanvasFont {
    bool italic = false;
    bool bold = false;
    double size = 0;      // pixels; may be negative or infinite (the state refuses those)
    std::string family;   // everything after the size, as written

    // The font of a font text, or nothing when the text is outside the accepted shape.
    static std::optional<CanvasFont> parse(std::string_view text);

    bool operator==(const CanvasFont&) const = default;
};

std::size_t hashValue(const CanvasFont& font);

} // namespace dv

template <>
struct std::hash<dv::CanvasFont> {
    std::size_t operator()(const dv::CanvasFont& font) const { return dv::hashValue(font); }
};
