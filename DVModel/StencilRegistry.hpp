#pragma once
// Rules and constants that stencils share (references, embedded pictures, sizes, label width,
// restyling and rotation), the paint of a new stencil, the icon packs that ship with the kit, and
// the label fonts used when an element names none.

#include "DVModel/CSSColor.hpp"
#include "DVModel/Element.hpp"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

struct StencilStyle {
    CSSColor strokeColor;
    CSSColor fillColor;
    double strokeWidth = 0;
    double opacity = 0;
    double roughness = 0;

    bool operator==(const StencilStyle&) const = default;
};

struct BundledPack {
    std::string id;
    std::string title;
    std::string attribution;

    bool operator==(const BundledPack&) const = default;

    static const BundledPack& kubernetes();
    // Every pack that ships with the kit.
    static const std::vector<BundledPack>& all();
};

struct StencilRegistry {
    // Most UTF-16 code units an embedded picture's data URL may have.
    static constexpr std::size_t maxEmbeddedSVGChars = 65536;
    static constexpr double defaultStencilSize = 64;
    // Vertical gap between a stencil and its label below it.
    static constexpr double stencilLabelGap = 6;

    // pack "/" name: the pack of lower-case ASCII letters and digits, the name of 1 to 64 ASCII
    // letters, digits, "_" or "-".
    static bool isValidStencilRef(std::string_view ref);
    // "data:image/svg+xml;base64," followed by a non-empty base64 body, at most
    // maxEmbeddedSVGChars units in all. The body is not decoded.
    static bool isValidEmbeddedSvg(std::string_view src);
    // Width to which a stencil's label wraps, given the stencil's (absolute) width.
    static double getStencilLabelWidth(double size);
    // Only the built-in generic icons may take another style.
    static bool isRestylableStencil(const Element::Stencil& stencil);
    static bool isRotatableStencil(const Element::Stencil& stencil);
    // A stencil element of the given size centred on (cx, cy); an empty label means none.
    static Element createStencil(std::string id, StencilSource source, double cx, double cy,
                                 const StencilStyle& style, std::string label, double size);
};

struct LabelDefaults {
    static constexpr std::string_view defaultLabelFontFamily = "Arial, sans-serif";
    // rectangles, ellipses, rhombi and flowchart shapes
    static constexpr double defaultShapeLabelFontSize = 16;
    static constexpr double defaultStencilLabelFontSize = 14;
    // lines and arrows
    static constexpr double defaultConnectorLabelFontSize = 12;
};

}  // namespace dv

template <> struct std::hash<dv::StencilStyle> {
    std::size_t operator()(const dv::StencilStyle& style) const noexcept;
};
template <> struct std::hash<dv::BundledPack> {
    std::size_t operator()(const dv::BundledPack& pack) const noexcept;
};
