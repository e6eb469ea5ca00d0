// SVG fragments of stencils (a picture, a generic icon or a placeholder, with a caption), text
// elements and freehand strokes.

#include "DVGeometry/ShapeGeometry.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVRender/Export/detail/SVGWriter.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Scene/GenericIcons.hpp"
#include "DVRender/Scene/RenderTheme.hpp"
#include "DVText/TextMetrics.hpp"

#include <variant>

namespace dv::detail {

namespace {

// The path data of an icon's fill (empty without one) and of its strokes on the icon grid: the
// stencil's box only moves and scales them through the group's transform.
struct IconPaths {
    std::string fill;
    std::string strokes;
};

IconPaths iconPaths(const GenericIcon& icon) {
    IconPaths paths;
    if (icon.fill) appendShapeCommandsPathData(paths.fill, *icon.fill, 0, 0);
    appendShapeCommandsPathData(paths.strokes, icon.strokes, 0, 0);
    return paths;
}

// The paths of a bundled icon, written once per process; nothing for an icon from elsewhere.
const IconPaths* bundledIconPaths(const GenericIcon& icon) {
    const auto& icons = GENERIC_ICONS();
    static const std::vector<IconPaths> paths = [&] {
        std::vector<IconPaths> all;
        all.reserve(icons.size());
        for (const auto& entry : icons) all.push_back(iconPaths(entry.second));
        return all;
    }();
    for (std::size_t i = 0; i < icons.size(); ++i)
        if (&icons[i].second == &icon) return &paths[i];
    return nullptr;
}

void appendGenericIcon(std::string& out, const Element& element, const GenericIcon& icon, const DocumentBox& box,
                       double size) {
    IconPaths own;
    const IconPaths* paths = bundledIconPaths(icon);
    if (!paths) {
        own = iconPaths(icon);
        paths = &own;
    }
    out += "<g";
    SVGTag{out}.plain("opacity", element.opacity);
    out += " transform=\"translate(";
    appendRounded(out, box.left + (box.width - size) / 2);
    out += ' ';
    appendRounded(out, box.top + (box.height - size) / 2);
    out += ") scale(";
    appendRounded(out, size / ICON_GRID);
    out += ")\">";
    const std::string& fill = element.fillColor.rawValue;
    if (icon.fill && fill != "transparent" && fill != "none") {
        out += "<path d=\"";
        out += paths->fill;
        out += '"';
        SVGTag{out}.text("fill", fill);
        out += " stroke=\"none\"/>";
    }
    out += "<path d=\"";
    out += paths->strokes;
    out += "\" fill=\"none\"";
    SVGTag{out}.text("stroke", element.strokeColor.rawValue).plain("stroke-width", getIconStrokeWidth(element.strokeWidth));
    out += " stroke-linecap=\"round\" stroke-linejoin=\"round\"/></g>";
}

void appendStencilIcon(std::string& out, const Element& element, const Element::Stencil& stencil,
                       const DocumentBox& box) {
    std::string_view src;
    const GenericIcon* generic = nullptr;
    if (const auto* embedded = std::get_if<StencilSource::Embedded>(&stencil.source.kind)) {
        src = embedded->src;
    } else {
        const std::string& ref = std::get<StencilSource::Builtin>(stencil.source.kind).ref;
        if (const BundledIcon* bundled = BundledIconPacks::icon(ref)) src = bundled->src;
        else generic = getGenericIcon(ref);
    }
    if (!src.empty()) {
        out += "<image";
        SVGTag{out}.text("href", src);
        appendBoxAttributes(out, box);
        SVGTag{out}.plain("opacity", element.opacity);
        out += " preserveAspectRatio=\"xMidYMid meet\"/>";
        return;
    }
    const double size = jsMin(box.width, box.height);
    if (generic && size > 0) {
        appendGenericIcon(out, element, *generic, box, size);
        return;
    }
    out += "<rect";
    appendBoxAttributes(out, box);
    out += " fill=\"none\"";
    SVGTag{out}.text("stroke", element.strokeColor.rawValue);
    out += " stroke-dasharray=\"4 4\"/>";
}

void appendStencilCaption(std::string& out, const Element& element, const Element::Stencil& stencil,
                          const DocumentBox& box) {
    const std::vector<std::string> lines = getStencilLabelLines(stencil);
    if (lines.empty()) return;
    const double f = stencil.labelFontSize.value_or(LabelDefaults::defaultStencilLabelFontSize);
    const std::string_view family =
        stencil.labelFontFamily ? std::string_view(*stencil.labelFontFamily) : LabelDefaults::defaultLabelFontFamily;
    const std::string_view color = stencil.labelColor ? stencil.labelColor->rawValue : element.strokeColor.rawValue;
    const double lh = 1.2 * f;
    const double n = static_cast<double>(lines.size());
    const double captionHeight = getStencilLabelHeight(stencil);
    const double top0 = (captionHeight - 6) / 2 + (box.top + box.height + 6) - (lh - f) / 2 - n * lh / 2;
    appendCentredLabel(out, lines, family, f, color, element.opacity, box.left + box.width / 2, top0, lh / 2);
}

void appendPathPoint(std::string& out, double x, double y) {
    appendRounded(out, x);
    out += ' ';
    appendRounded(out, y);
}

}  // namespace

void appendStencilFragment(std::string& out, const Element& element, double dx, double dy,
                           const std::string& rotation) {
    const Element::Stencil& stencil = *element.payload.stencil();
    const DocumentBox box = documentBox(element, stencil.width, stencil.height, dx, dy);
    out += "<g";
    out += rotation;
    out += '>';
    appendStencilIcon(out, element, stencil, box);
    appendStencilCaption(out, element, stencil, box);
    out += "</g>";
}

void appendTextFragment(std::string& out, const Element& element, double dx, double dy, const std::string& rotation) {
    const Element::Text& text = *element.payload.text();
    const TextContentBox content =
        getTextContentBox(element.x, element.y, text.width, text.height, text.padding.value_or(0));
    const bool bold = text.bold == true;
    const std::vector<std::string> lines =
        wrapTextLines(text.content, content.width, text.fontSize, text.fontFamily, bold, content.padding > 0);
    const TextAlign align = text.textAlign.value_or(TextAlign::left);
    const char* anchor = align == TextAlign::center ? "middle" : align == TextAlign::right ? "end" : "start";
    const double x = align == TextAlign::center  ? content.x + dx + content.width / 2
                     : align == TextAlign::right ? content.x + dx + content.width
                                                 : content.x + dx;
    if (element.fillColor.rawValue != "transparent") {
        out += "<rect";
        SVGTag{out}
            .rounded("x", element.x + dx)
            .rounded("y", element.y + dy)
            .rounded("width", text.width)
            .rounded("height", text.height)
            .text("fill", element.fillColor.rawValue)
            .plain("opacity", element.opacity);
        out += rotation;
        out += "/>";
    }
    out += "<text";
    SVGTag{out}.text("font-family", text.fontFamily).plain("font-size", text.fontSize);
    if (bold) out += " font-weight=\"bold\"";
    if (text.italic == true) out += " font-style=\"italic\"";
    SVGTag{out}.text("fill", element.strokeColor.rawValue).plain("opacity", element.opacity);
    out += " text-anchor=\"";
    out += anchor;
    out += "\" dominant-baseline=\"text-before-edge\"";
    out += rotation;
    out += '>';
    double index = 0;
    for (const std::string& line : lines) {
        out += "<tspan";
        SVGTag{out}.rounded("x", x).rounded("y", content.y + dy + index * 1.2 * text.fontSize);
        out += '>';
        appendEscaped(out, line);
        out += "</tspan>";
        index += 1;
    }
    out += "</text>";
}

void appendFreehandFragment(std::string& out, const Element& element, double dx, double dy,
                            const std::string& rotation) {
    const std::vector<Point>& points = element.payload.freehand()->points;
    const std::size_t n = points.size();
    if (n < 2) return;
    out += "<path d=\"M ";
    appendPathPoint(out, points[0].x + dx, points[0].y + dy);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const Point& a = points[i - 1];
        const Point& p = points[i];
        const Point& b = points[i + 1];
        // The curve passes through the midpoints' midpoint, with the point itself as control.
        const double ex = ((a.x + p.x) / 2 + (p.x + b.x) / 2) / 2;
        const double ey = ((a.y + p.y) / 2 + (p.y + b.y) / 2) / 2;
        out += " Q ";
        appendPathPoint(out, p.x + dx, p.y + dy);
        out += ' ';
        appendPathPoint(out, ex + dx, ey + dy);
    }
    out += " L ";
    appendPathPoint(out, points[n - 1].x + dx, points[n - 1].y + dy);
    out += '"';
    SVGTag{out}.text("stroke", element.strokeColor.rawValue).plain("stroke-width", element.strokeWidth);
    out += " stroke-linecap=\"round\" stroke-linejoin=\"round\" fill=\"none\"";
    SVGTag{out}.plain("opacity", element.opacity);
    out += rotation;
    out += "/>";
}

}  // namespace dv::detail
