// SVG fragments of rectangles, ellipses, rhombi, flowchart shapes, polygons and images, with the
// labels of boxes and shapes.

#include "DVGeometry/ShapeGeometry.hpp"
#include "DVModel/ShapeDefinition.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVRender/Export/detail/SVGWriter.hpp"
#include "DVRender/Scene/RenderTheme.hpp"
#include "DVText/TextMetrics.hpp"

namespace dv::detail {

namespace {

// The label centred on the box; boxes write it on a line of its own, shapes inside their group.
void appendShapeLabel(std::string& out, const Element& element, const LabelFields& fields, const DocumentBox& box) {
    const std::optional<LabeledShape> shape = LabeledShape::fromElement(element);
    const double wrapWidth = getLabelWrapWidth(*shape, box.width, box.height);
    const double fontSize = fields.labelFontSize.value_or(LabelDefaults::defaultShapeLabelFontSize);
    const std::string_view family =
        fields.labelFontFamily ? std::string_view(*fields.labelFontFamily) : LabelDefaults::defaultLabelFontFamily;
    const std::vector<std::string> lines = wrapTextLines(*fields.label, wrapWidth, fontSize, family, false, true);
    const std::string color = fields.labelColor
                                  ? fields.labelColor->rawValue
                                  : contrastColor(element.fillColor.rawValue, element.strokeColor.rawValue);
    const double centreX = box.left + box.width / 2;
    const double centreY = box.top + box.height / 2;
    appendCentredLabel(out, lines, family, fontSize, color, element.opacity, centreX,
                       firstCentredLineY(centreY, lines.size(), fontSize));
}

bool hasLabel(const LabelFields& fields) { return fields.label && !fields.label->empty(); }

void appendPoint(std::string& out, double x, double y) {
    appendRounded(out, x);
    out += ',';
    appendRounded(out, y);
}

}  // namespace

void appendBoxFragment(std::string& out, const Element& element, double dx, double dy, const std::string& rotation) {
    const Element::Box& payload = *element.payload.box();
    const DocumentBox box = documentBox(element, payload.width, payload.height, dx, dy);
    switch (element.type()) {
        case ElementType::rectangle: {
            const double r = jsMin(payload.cornerRadius.value_or(0), box.width / 2, box.height / 2);
            out += "<rect";
            appendBoxAttributes(out, box);
            if (r > 0) SVGTag{out}.rounded("rx", r);
            break;
        }
        case ElementType::ellipse:
            out += "<ellipse";
            SVGTag{out}
                .rounded("cx", element.x + payload.width / 2 + dx)
                .rounded("cy", element.y + payload.height / 2 + dy)
                .rounded("rx", std::fabs(payload.width / 2))
                .rounded("ry", std::fabs(payload.height / 2));
            break;
        default:
            out += "<polygon points=\"";
            appendPoint(out, box.left + box.width / 2, box.top);
            out += ' ';
            appendPoint(out, box.left + box.width, box.top + box.height / 2);
            out += ' ';
            appendPoint(out, box.left + box.width / 2, box.top + box.height);
            out += ' ';
            appendPoint(out, box.left, box.top + box.height / 2);
            out += '"';
            break;
    }
    out += ' ';
    appendShapeStyle(out, element, false);
    out += rotation;
    out += "/>";
    if (hasLabel(payload)) {
        out += '\n';
        appendShapeLabel(out, element, payload, box);
    }
}

void appendShapeFragment(std::string& out, const Element& element, double dx, double dy,
                         const std::string& rotation) {
    const Element::Shape& shape = *element.payload.shape();
    const DocumentBox box = documentBox(element, shape.width, shape.height, dx, dy);
    const ShapeDefinition& d = definition(shape.kind);
    out += "<g";
    out += rotation;
    out += "><path d=\"";
    appendShapeCommandsPathData(out, d.outline(box.width, box.height), box.left, box.top);
    out += "\" ";
    appendShapeStyle(out, element, false);
    out += "/>";
    if (d.details) {
        out += "<path d=\"";
        appendShapeCommandsPathData(out, d.details(box.width, box.height), box.left, box.top);
        out += "\" ";
        appendShapeStyle(out, element, true);
        out += "/>";
    }
    if (hasLabel(shape)) appendShapeLabel(out, element, shape, box);
    out += "</g>";
}

void appendPolygonFragment(std::string& out, const Element& element, double dx, double dy) {
    const Element::Polygon& polygon = *element.payload.polygon();
    if (polygon.points.size() < 2) return;
    const char* tag = polygon.closed ? "polygon" : "polyline";
    out += '<';
    out += tag;
    out += " points=\"";
    bool first = true;
    for (const Point& p : polygon.points) {
        if (!first) out += ' ';
        first = false;
        appendPlain(out, p.x + dx);
        out += ',';
        appendPlain(out, p.y + dy);
    }
    out += "\" fill=\"";
    if (element.fillColor.rawValue == "transparent") out += "none";
    else appendEscaped(out, element.fillColor.rawValue);
    out += '"';
    appendOutlineTail(out, element);
}

void appendImageFragment(std::string& out, const Element& element, double dx, double dy,
                         const std::string& rotation) {
    const Element::Image& image = *element.payload.image();
    const DocumentBox box = documentBox(element, image.width, image.height, dx, dy);
    out += "<image";
    SVGTag{out}.text("href", image.src);
    appendBoxAttributes(out, box);
    SVGTag{out}.plain("opacity", element.opacity);
    out += rotation;
    out += " preserveAspectRatio=\"none\"/>";
}

}  // namespace dv::detail
