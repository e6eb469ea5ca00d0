#include "PaintTrace.hpp"

#include <array>
#include <variant>

namespace dv::test {

namespace {

constexpr std::array<const char*, 13> propertyNames = {
    "fillStyle", "strokeStyle", "lineWidth",   "globalAlpha",   "lineCap", "lineJoin",    "shadowBlur",
    "shadowColor", "shadowOffsetX", "shadowOffsetY", "font",    "textAlign", "textBaseline"};

Call pathCall(const PathOp& op) {
    return std::visit(
        [](const auto& o) -> Call {
            using O = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<O, PathOp::MoveTo>) return {"moveTo", {o.x, o.y}, {}};
            else if constexpr (std::is_same_v<O, PathOp::LineTo>) return {"lineTo", {o.x, o.y}, {}};
            else if constexpr (std::is_same_v<O, PathOp::QuadraticCurveTo>)
                return {"quadraticCurveTo", {o.cpx, o.cpy, o.x, o.y}, {}};
            else if constexpr (std::is_same_v<O, PathOp::BezierCurveTo>)
                return {"bezierCurveTo", {o.cp1x, o.cp1y, o.cp2x, o.cp2y, o.x, o.y}, {}};
            else if constexpr (std::is_same_v<O, PathOp::Arc>)
                return {"arc", {o.x, o.y, o.radius, o.startAngle, o.endAngle, o.anticlockwise ? 1.0 : 0.0}, {}};
            else if constexpr (std::is_same_v<O, PathOp::Rect>) return {"rect", {o.x, o.y, o.width, o.height}, {}};
            else if constexpr (std::is_same_v<O, PathOp::BeginPath>) return {"beginPath", {}, {}};
            else return {"closePath", {}, {}};
        },
        op.value);
}

}  // namespace

std::vector<Call> callsOf(const DisplayList& list) {
    std::vector<Call> calls;
    for (const DisplayOp& op : list.ops()) {
        calls.push_back(std::visit(
            [](const auto& o) -> Call {
                using O = std::decay_t<decltype(o)>;
                using D = DisplayOp;
                if constexpr (std::is_same_v<O, D::Property>) {
                    const auto& p = o.property;
                    return {propertyNames[static_cast<std::size_t>(p.kind)], {p.number}, p.text};
                } else if constexpr (std::is_same_v<O, D::Translate>) return {"translate", {o.x, o.y}, {}};
                else if constexpr (std::is_same_v<O, D::Rotate>) return {"rotate", {o.angle}, {}};
                else if constexpr (std::is_same_v<O, D::Scale>) return {"scale", {o.x, o.y}, {}};
                else if constexpr (std::is_same_v<O, D::SetTransform>) return {"setTransform", {}, {}};
                else if constexpr (std::is_same_v<O, D::SetLineDash>) return {"setLineDash", o.segments, {}};
                else if constexpr (std::is_same_v<O, D::Path>) return pathCall(o.op);
                else if constexpr (std::is_same_v<O, D::Clip>)
                    return {"clip", {}, o.rule == FillRule::evenodd ? "evenodd" : "nonzero"};
                else if constexpr (std::is_same_v<O, D::Fill>)
                    return {"fill", {}, o.rule == FillRule::evenodd ? "evenodd" : "nonzero"};
                else if constexpr (std::is_same_v<O, D::FillRect>) return {"fillRect", {o.x, o.y, o.width, o.height}, {}};
                else if constexpr (std::is_same_v<O, D::StrokeRect>)
                    return {"strokeRect", {o.x, o.y, o.width, o.height}, {}};
                else if constexpr (std::is_same_v<O, D::FillText>) return {"fillText", {o.x, o.y}, o.text};
                else if constexpr (std::is_same_v<O, D::DrawImage>)
                    return {"drawImage", {o.x, o.y, o.width, o.height}, o.image ? o.image->src() : ""};
                else if constexpr (std::is_same_v<O, D::FillCircles>) return {"fillCircles", {o.radius}, {}};
                else if constexpr (std::is_same_v<O, D::Save>) return {"save", {}, {}};
                else if constexpr (std::is_same_v<O, D::Restore>) return {"restore", {}, {}};
                else if constexpr (std::is_same_v<O, D::ResetTransform>) return {"resetTransform", {}, {}};
                else return {"stroke", {}, {}};
            },
            op.value));
    }
    return calls;
}

std::size_t countOf(const std::vector<Call>& calls, const std::string& name) {
    std::size_t n = 0;
    for (const Call& c : calls) n += c.name == name;
    return n;
}

std::vector<Call> named(const std::vector<Call>& calls, const std::string& name) {
    std::vector<Call> out;
    for (const Call& c : calls) {
        if (c.name == name) out.push_back(c);
    }
    return out;
}

std::vector<std::string> propertyValues(const std::vector<Call>& calls, const std::string& name) {
    std::vector<std::string> out;
    for (const Call& c : named(calls, name)) out.push_back(c.text);
    return out;
}

ImageLookup FakeImages::image(const std::string& src) {
    ++lookups;
    auto it = answers.find(src);
    return it == answers.end() ? fallback : it->second;
}

Element baseElement(std::string id, double x, double y, Element::Payload payload) {
    Element e;
    e.id = std::move(id);
    e.x = x;
    e.y = y;
    e.strokeColor = CSSColor("#000000");
    e.fillColor = CSSColor("transparent");
    e.strokeWidth = 2;
    e.opacity = 1;
    e.roughness = 0;
    e.payload = std::move(payload);
    return e;
}

namespace {
Element::Box box(double w, double h) {
    Element::Box b;
    b.width = w;
    b.height = h;
    return b;
}
}  // namespace

Element rectangle(std::string id, double x, double y, double w, double h) {
    return baseElement(std::move(id), x, y, Element::Payload::rectangle(box(w, h)));
}
Element ellipseElement(std::string id, double x, double y, double w, double h) {
    return baseElement(std::move(id), x, y, Element::Payload::ellipse(box(w, h)));
}
Element rhombus(std::string id, double x, double y, double w, double h) {
    return baseElement(std::move(id), x, y, Element::Payload::rhombus(box(w, h)));
}
Element arrow(std::string id, double x, double y, double x2, double y2) {
    Element::Arrow a;
    a.x2 = x2;
    a.y2 = y2;
    return baseElement(std::move(id), x, y, Element::Payload(a));
}
Element line(std::string id, double x, double y, double x2, double y2) {
    Element::Line l;
    l.x2 = x2;
    l.y2 = y2;
    return baseElement(std::move(id), x, y, Element::Payload(l));
}
Element text(std::string id, double x, double y, std::string content, double fontSize) {
    Element::Text t;
    t.content = std::move(content);
    t.fontSize = fontSize;
    t.fontFamily = "Arial, sans-serif";
    t.width = 200;
    t.height = 100;
    return baseElement(std::move(id), x, y, Element::Payload(t));
}
Element stencil(std::string id, double x, double y, double w, double h, StencilSource source) {
    Element::Stencil s;
    s.width = w;
    s.height = h;
    s.source = std::move(source);
    return baseElement(std::move(id), x, y, Element::Payload(s));
}
Element image(std::string id, double x, double y, double w, double h, std::string src) {
    Element::Image i;
    i.src = std::move(src);
    i.width = w;
    i.height = h;
    i.naturalWidth = w;
    i.naturalHeight = h;
    return baseElement(std::move(id), x, y, Element::Payload(i));
}

std::vector<Element> everyKind() {
    std::vector<Element> elements;
    auto labelled = [](Element e) {
        if (LabelFields* l = e.payload.labels()) l->label = "Label one\nand two";
        return e;
    };
    elements.push_back(labelled(rectangle("r1", 0, 0, 120, 60)));
    elements.push_back(labelled(ellipseElement("e1", 200, 0, 120, 60)));
    elements.push_back(labelled(rhombus("d1", 400, 0, 120, 60)));
    Element::Shape shape;
    shape.kind = ShapeKind::document;
    shape.width = 120;
    shape.height = 80;
    elements.push_back(labelled(baseElement("s1", 0, 200, Element::Payload(shape))));
    elements.push_back(labelled(stencil("st1", 200, 200, 64, 64, StencilSource::builtin("generic/server"))));
    elements.push_back(labelled(line("l1", 0, 400, 100, 450)));
    Element a = labelled(arrow("a1", 200, 400, 300, 480));
    a.payload.arrow()->endHeadStyle = ArrowHeadStyle::triangleFilled;
    elements.push_back(a);
    Element::Curve curve;
    curve.x2 = 100;
    curve.y2 = 0;
    curve.cx = 50;
    curve.cy = -40;
    elements.push_back(baseElement("c1", 400, 400, Element::Payload(curve)));
    Element::Polygon polygon;
    polygon.points = {{0, 600}, {60, 620}, {30, 680}};
    polygon.closed = true;
    elements.push_back(baseElement("p1", 0, 600, Element::Payload(polygon)));
    Element::Freehand freehand;
    freehand.points = {{200, 600}, {220, 610}, {240, 630}, {260, 660}};
    elements.push_back(baseElement("f1", 200, 600, Element::Payload(freehand)));
    Element t = text("t1", 400, 600, "Some words that wrap across lines", 16);
    t.payload.text()->underline = true;
    elements.push_back(t);
    elements.push_back(image("i1", 0, 800, 80, 40, "data:image/png;base64,AAAA"));
    return elements;
}

}  // namespace dv::test
