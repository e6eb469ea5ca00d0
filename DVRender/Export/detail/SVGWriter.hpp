#pragma once
// What the SVG fragment writers share: number and text appenders, the style and rotation
// attributes, and the per-kind writers that elementToSVG dispatches to. Every writer appends
// to the document buffer instead of building strings of its own.

#include "DVModel/Element.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Export/SVGExport.hpp"

#include <string>
#include <string_view>

namespace dv {

struct LabelBox;

namespace detail {

// Rounded to hundredths as JavaScript rounds, then printed as JavaScript prints.
inline void appendRounded(std::string& out, double value) { appendJsHundredthsString(out, value); }
inline void appendPlain(std::string& out, double value) { appendJsNumberString(out, value); }
inline void appendEscaped(std::string& out, std::string_view text) { appendEscapedXml(out, text); }

// The normalised box of a payload's width and height, in document coordinates.
struct DocumentBox {
    double left = 0;
    double top = 0;
    double width = 0;   // |w|
    double height = 0;  // |h|
};
DocumentBox documentBox(const Element& element, double width, double height, double dx, double dy);

// name="value" pieces with a leading space, so that `<tag` + pieces + `/>` needs no joins.
struct SVGTag {
    std::string& out;
    SVGTag& rounded(std::string_view name, double value);
    SVGTag& plain(std::string_view name, double value);
    SVGTag& text(std::string_view name, std::string_view value);  // escaped
};

// x, y, width and height of the box, rounded.
inline void appendBoxAttributes(std::string& out, const DocumentBox& box) {
    SVGTag{out}.rounded("x", box.left).rounded("y", box.top).rounded("width", box.width).rounded("height", box.height);
}

// fill, stroke, width, round caps and joins, opacity, and the dash of the stroke style.
void appendShapeStyle(std::string& out, const Element& element, bool noFill);
// " stroke-dasharray=..." in the space-separated form of shapes and connectors, or nothing.
void appendSpacedDash(std::string& out, const Element& element);
// The end of a polygon's or a curve's tag: stroke, width and opacity, then the dash in its comma
// form, in a slot whose leading space stays when it is empty, and "/>".
void appendOutlineTail(std::string& out, const Element& element);
// ` transform="rotate(deg,cx,cy)"` about the unrotated bounds' centre, or nothing.
std::string rotationAttribute(const Element& element, double dx, double dy);

// One writer per family of kinds (the dispatch is elementToSVG).
void appendBoxFragment(std::string& out, const Element& element, double dx, double dy, const std::string& rotation);
void appendShapeFragment(std::string& out, const Element& element, double dx, double dy, const std::string& rotation);
void appendPolygonFragment(std::string& out, const Element& element, double dx, double dy);
void appendImageFragment(std::string& out, const Element& element, double dx, double dy, const std::string& rotation);
void appendConnectorFragment(std::string& out, const Element& element, const ElementIndex& index, double dx,
                             double dy, SVGMaskIds& maskIds);
void appendCurveFragment(std::string& out, const Element& element, double dx, double dy);
void appendStencilFragment(std::string& out, const Element& element, double dx, double dy, const std::string& rotation);
void appendTextFragment(std::string& out, const Element& element, double dx, double dy, const std::string& rotation);
void appendFreehandFragment(std::string& out, const Element& element, double dx, double dy,
                            const std::string& rotation);
void appendConnectorLabel(std::string& out, const Element& element, const LabelBox& box, double dx, double dy,
                          std::string_view escapedCanvasColor);

// `<text font-family=".." font-size=".." fill=".." opacity=".." text-anchor="middle"
// dominant-baseline="central">` with one tspan per line, line i centred at x and at
// y = firstY + i * 1.2 * fontSize + shiftY: the labels of boxes, shapes, stencils and connectors.
template <class Lines>
void appendCentredLabel(std::string& out, const Lines& lines, std::string_view family, double fontSize,
                        std::string_view color, double opacity, double x, double firstY, double shiftY = 0) {
    const double lineHeight = 1.2 * fontSize;
    out += "<text";
    SVGTag{out}.text("font-family", family).plain("font-size", fontSize).text("fill", color).plain("opacity", opacity);
    out += " text-anchor=\"middle\" dominant-baseline=\"central\">";
    double index = 0;
    for (const auto& line : lines) {
        out += "<tspan";
        SVGTag{out}.rounded("x", x).rounded("y", firstY + index * lineHeight + shiftY);
        out += '>';
        appendEscaped(out, line);
        out += "</tspan>";
        index += 1;
    }
    out += "</text>";
}

// The first line's y of `count` lines centred on centreY.
inline double firstCentredLineY(double centreY, std::size_t count, double fontSize) {
    const double lineHeight = 1.2 * fontSize;
    return centreY - static_cast<double>(count) * lineHeight / 2 + lineHeight / 2;
}

}  // namespace detail
}  // namespace dv
