// SVG fragments of lines, arrows, elbow routes and curves, their heads and the masks that keep a
// shaft from showing inside a closed head, and the connector labels.

#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVRender/Export/detail/SVGWriter.hpp"
#include "DVText/TextMetrics.hpp"

#include <variant>

namespace dv::detail {

namespace {

// Large enough to cover any board the model accepts (coordinates within 1e7).
constexpr std::string_view maskRectangle = R"(x="-10000000" y="-10000000" width="20000000" height="20000000")";

void appendConnectorStroke(std::string& out, const Element& element, bool dashed) {
    out += "stroke=\"";
    appendEscaped(out, element.strokeColor.rawValue);
    out += '"';
    SVGTag{out}.plain("stroke-width", element.strokeWidth);
    out += " stroke-linecap=\"round\" stroke-linejoin=\"round\" fill=\"none\"";
    SVGTag{out}.plain("opacity", element.opacity);
    if (dashed) appendSpacedDash(out, element);
}

void appendHeadStroke(std::string& out, const Element& element) {
    out += "stroke=\"";
    appendEscaped(out, element.strokeColor.rawValue);
    out += '"';
    SVGTag{out}.plain("stroke-width", element.strokeWidth);
    out += " stroke-linecap=\"round\" stroke-linejoin=\"round\"";
    SVGTag{out}.plain("opacity", element.opacity);
}

void appendPoints(std::string& out, const std::vector<Point>& points, double dx, double dy) {
    bool first = true;
    for (const Point& p : points) {
        if (!first) out += ' ';
        first = false;
        appendRounded(out, p.x + dx);
        out += ',';
        appendRounded(out, p.y + dy);
    }
}

// The shape's tag up to its attributes (in document coordinates), ending in a space.
void openHeadShape(std::string& out, const ArrowHeadShape& head) {
    if (const auto* polyline = std::get_if<ArrowHeadShape::Polyline>(&head.shape)) {
        out += "<polyline points=\"";
        appendPoints(out, polyline->points, 0, 0);
        out += "\" ";
    } else if (const auto* polygon = std::get_if<ArrowHeadShape::Polygon>(&head.shape)) {
        out += "<polygon points=\"";
        appendPoints(out, polygon->points, 0, 0);
        out += "\" ";
    } else {
        const auto& circle = std::get<ArrowHeadShape::Circle>(head.shape);
        out += "<circle";
        SVGTag{out}.rounded("cx", circle.cx).rounded("cy", circle.cy).rounded("r", circle.r);
        out += ' ';
    }
}

bool isFilledPolygon(const ArrowHeadShape& head) {
    const auto* polygon = std::get_if<ArrowHeadShape::Polygon>(&head.shape);
    return polygon && polygon->filled;
}

// The mask identifier of a connector before it is made unique: "mh-" and the id's ASCII letters,
// digits, underscores and hyphens.
std::string maskIdentifier(std::string_view id) {
    std::string out = "mh-";
    for (const char c : id) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-') {
            out += c;
        }
    }
    return out;
}

ArrowHeadVector offset(ArrowHeadVector v, double dx, double dy) {
    v.fromX += dx;
    v.tipX += dx;
    v.fromY += dy;
    v.tipY += dy;
    return v;
}

// The shaft (written by `appendShaft`), then its heads. Closed heads cut their outline out of
// the shaft through a mask, so that a hollow head does not show the shaft inside it. `transform`
// (the rotation, or nothing) applies to the shaft and to each visible head; the mask's own shapes
// get it through a group, or they would cut the unrotated place of a rotated connector.
template <class ShaftWriter>
void appendHeadedConnector(std::string& out, const Element& element, const ShaftWriter& appendShaft,
                           const std::vector<ConnectorHead>& heads, std::string_view transform,
                           SVGMaskIds& maskIds) {
    std::vector<ArrowHeadShape> shapes;
    shapes.reserve(heads.size());
    bool anyMasked = false;
    for (const ConnectorHead& head : heads) {
        const ArrowHeadVector& v = head.vector;
        shapes.push_back(getArrowHeadShape(head.style, v.fromX, v.fromY, v.tipX, v.tipY, element.strokeWidth));
        anyMasked = anyMasked || head.style != ArrowHeadStyle::open;
    }
    if (!anyMasked) {
        appendShaft(out);
    } else {
        const std::string id = maskIds.claim(maskIdentifier(element.id));
        out += "<mask id=\"";
        out += id;
        out += "\" maskUnits=\"userSpaceOnUse\" ";
        out += maskRectangle;
        out += "><rect ";
        out += maskRectangle;
        out += " fill=\"white\"/>";
        if (!transform.empty()) {
            out += "<g";
            out += transform;
            out += '>';
        }
        for (std::size_t i = 0; i < heads.size(); ++i) {
            if (heads[i].style == ArrowHeadStyle::open) continue;
            openHeadShape(out, shapes[i]);
            out += "fill=\"black\"/>";
        }
        if (!transform.empty()) out += "</g>";
        out += "</mask>\n<g mask=\"url(#";
        out += id;
        out += ")\">";
        appendShaft(out);
        out += "</g>";
    }
    for (const ArrowHeadShape& shape : shapes) {
        out += '\n';
        openHeadShape(out, shape);
        appendHeadStroke(out, element);
        out += " fill=\"";
        if (isFilledPolygon(shape)) appendEscaped(out, element.strokeColor.rawValue);
        else out += "none";
        out += '"';
        out += transform;
        out += "/>";
    }
}

void appendElbowFragment(std::string& out, const Element& element, const ConnectorEnds& ends,
                         const ElementIndex& index, double dx, double dy, SVGMaskIds& maskIds) {
    const std::vector<Point> route = resolveConnectorRoute(ends, index);
    if (route.size() < 2) return;
    const auto heads = getConnectorHeads(
        element, [&](HeadPlacement placement) { return offset(getRouteHeadVector(route, placement), dx, dy); });
    auto appendShaft = [&](std::string& shaft) {
        shaft += "<polyline points=\"";
        appendPoints(shaft, route, dx, dy);
        shaft += "\" ";
        appendConnectorStroke(shaft, element, true);
        shaft += "/>";
    };
    appendHeadedConnector(out, element, appendShaft, heads, {}, maskIds);
}

}  // namespace

void appendConnectorFragment(std::string& out, const Element& element, const ElementIndex& index, double dx,
                             double dy, SVGMaskIds& maskIds) {
    const ConnectorEnds ends = *connectorEnds(element);
    if (ends.isElbow()) {
        appendElbowFragment(out, element, ends, index, dx, dy, maskIds);
        return;
    }
    const ConnectorEndpoints world = resolveArrowEndpoints(ends, index);
    // Only lines bend and only their shafts take the dash; a straight arrow is always solid.
    const bool isLine = element.type() == ElementType::line;
    QuadraticControlPoint control;
    if (isLine) {
        if (const auto point = lineControlPoint(element)) control = {point->first, point->second};
    }
    const std::string rotation = rotationAttribute(element, dx, dy);
    auto appendShaft = [&](std::string& shaft) {
        if (control.cx && control.cy) {
            shaft += "<path d=\"M ";
            appendRounded(shaft, world.x + dx);
            shaft += ' ';
            appendRounded(shaft, world.y + dy);
            shaft += " Q ";
            appendRounded(shaft, *control.cx + dx);
            shaft += ' ';
            appendRounded(shaft, *control.cy + dy);
            shaft += ' ';
            appendRounded(shaft, world.x2 + dx);
            shaft += ' ';
            appendRounded(shaft, world.y2 + dy);
            shaft += "\" ";
        } else {
            shaft += "<line";
            SVGTag{shaft}
                .rounded("x1", world.x + dx)
                .rounded("y1", world.y + dy)
                .rounded("x2", world.x2 + dx)
                .rounded("y2", world.y2 + dy);
            shaft += ' ';
        }
        appendConnectorStroke(shaft, element, isLine);
        shaft += rotation;
        shaft += "/>";
    };
    const auto heads = getConnectorHeads(element, [&](HeadPlacement placement) {
        return offset(getArrowHeadVector(world, control, placement), dx, dy);
    });
    appendHeadedConnector(out, element, appendShaft, heads, rotation, maskIds);
}

void appendCurveFragment(std::string& out, const Element& element, double dx, double dy) {
    const Element::Curve& curve = *element.payload.curve();
    auto point = [&](const char* command, double x, double y) {
        out += command;
        appendPlain(out, x + dx);
        out += ' ';
        appendPlain(out, y + dy);
    };
    out += "<path d=\"";
    point("M ", element.x, element.y);
    point(" Q ", curve.cx, curve.cy);
    point(" ", curve.x2, curve.y2);
    out += "\" fill=\"none\"";
    appendOutlineTail(out, element);
}

void appendConnectorLabel(std::string& out, const Element& element, const LabelBox& box, double dx, double dy,
                          std::string_view escapedCanvasColor) {
    const LabelFields& fields = *element.payload.labels();
    if (!fields.label || fields.label->empty()) return;
    const double fontSize = fields.labelFontSize.value_or(LabelDefaults::defaultConnectorLabelFontSize);
    const std::string_view family =
        fields.labelFontFamily ? std::string_view(*fields.labelFontFamily) : LabelDefaults::defaultLabelFontFamily;
    const std::string_view color = fields.labelColor ? fields.labelColor->rawValue : element.strokeColor.rawValue;
    const double centreX = box.x + dx;
    const double centreY = box.y + dy;
    out += "<rect";
    SVGTag{out}
        .rounded("x", centreX - box.w / 2)
        .rounded("y", centreY - box.h / 2)
        .rounded("width", box.w)
        .rounded("height", box.h);
    out += " fill=\"";
    out += escapedCanvasColor;
    out += "\"/>\n";
    const std::vector<std::string_view> lines = splitLines(*fields.label);
    appendCentredLabel(out, lines, family, fontSize, color, element.opacity, centreX,
                       firstCentredLineY(centreY, lines.size(), fontSize));
}

}  // namespace dv::detail
