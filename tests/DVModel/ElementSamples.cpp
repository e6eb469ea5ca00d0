#include "ElementSamples.hpp"

#include <array>
#include <cmath>
#include <string_view>

namespace dv::test {

namespace {

void fillLabels(LabelFields& labels) {
    labels.label = "Label é";
    labels.labelFontSize = 14;
    labels.labelFontFamily = "Arial";
    labels.labelColor = CSSColor("red");
}

void fillConnector(ConnectorFields& c) {
    c.x2 = 100;
    c.y2 = 50;
    c.startElementId = std::string("a");
    c.endElementId = std::string("b");
    c.startAnchor = ConnectorAnchor{0.5, 0, {}};
    c.startAnchor->extra.set("side", JSONValue("top"));
    c.endAnchor = ConnectorAnchor{1, 0.5, {}};
    c.routing = ConnectorRouting::elbow;
    c.endHeadStyle = ArrowHeadStyle::triangleFilled;
    fillLabels(c);
}

Element::Payload minimalPayload(ElementType type) {
    switch (type) {
    case ElementType::rectangle: return Element::Payload::rectangle({});
    case ElementType::ellipse: return Element::Payload::ellipse({});
    case ElementType::rhombus: return Element::Payload::rhombus({});
    case ElementType::shape: {
        Element::Shape s;
        s.kind = ShapeKind::database;
        s.width = 120;
        s.height = 80;
        return s;
    }
    case ElementType::stencil: {
        Element::Stencil s;
        s.width = 64;
        s.height = 64;
        s.source = StencilSource::builtin("generic/server");
        return s;
    }
    case ElementType::line: {
        Element::Line l;
        l.x2 = 30;
        l.y2 = 40;
        return l;
    }
    case ElementType::arrow: {
        Element::Arrow a;
        a.x2 = 30;
        a.y2 = 40;
        return a;
    }
    case ElementType::curve: return Element::Curve{1, 2, 3, 4};
    case ElementType::polygon: return Element::Polygon{{{0, 0}, {10, 0}, {10, 10}}, true};
    case ElementType::freehand: return Element::Freehand{{{0, 0}, {1, 1}, {2, 0}}, std::nullopt};
    case ElementType::text: {
        Element::Text t;
        t.content = "Hello";
        t.fontSize = 20;
        t.fontFamily = "Virgil";
        t.width = 100;
        t.height = 30;
        return t;
    }
    case ElementType::image: {
        Element::Image i;
        i.src = "data:image/png;base64,iVBORw0KGgo=";
        i.width = 100;
        i.height = 80;
        i.naturalWidth = 200;
        i.naturalHeight = 160;
        return i;
    }
    }
    return {};
}

}  // namespace

Element minimalElement(ElementType type, std::string id) {
    Element e;
    e.id = std::move(id);
    e.x = 10;
    e.y = 20;
    e.strokeColor = CSSColor("#1e1e1e");
    e.fillColor = CSSColor("transparent");
    e.strokeWidth = 2;
    e.opacity = 1;
    e.roughness = 1;
    e.payload = minimalPayload(type);
    return e;
}

Element fullElement(ElementType type, std::string id) {
    Element e = minimalElement(type, std::move(id));
    e.rotation = 0.5;
    e.strokeStyle = StrokeStyle::dashed;
    e.lineCap = LineCap::round;
    e.lineJoin = LineJoin::bevel;
    e.shadowBlur = 4;
    e.shadowColor = CSSColor("rgba(0, 0, 0, 0.5)");
    e.shadowOffsetX = 1;
    e.shadowOffsetY = 2;
    e.visible = false;
    e.layerName = "Layer 1";
    e.locked = true;
    e.groupId = "g1";
    Element::Payload& p = e.payload;
    if (Element::Box* b = p.box()) b->cornerRadius = 8;
    if (ConnectorFields* c = p.connector()) fillConnector(*c);
    else if (LabelFields* l = p.labels()) fillLabels(*l);
    if (Element::Stencil* s = p.stencil()) s->source.extra.set("note", JSONValue(1));
    if (Element::Line* l = p.line()) {
        l->startHeadStyle = ArrowHeadStyle::circle;
        l->cx = 50;
        l->cy = 10;
        l->arrowHead = ArrowHead::both;
    }
    if (Element::Freehand* f = p.freehand()) f->pressures = std::vector<double>{0.5, 0.25, 1};
    if (Element::Text* t = p.text()) {
        t->padding = 4;
        t->textAlign = TextAlign::center;
        t->isCode = false;
        t->bold = true;
        t->italic = false;
        t->underline = true;
        t->strikethrough = false;
    }
    return e;
}

namespace {

class Draw {
public:
    explicit Draw(std::mt19937_64& rng) : rng_(rng) {}

    bool coin() { return (rng_() & 1) != 0; }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }

    // Anywhere in lo…hi, with the bounds and signed zeros often.
    double number(double lo, double hi) {
        switch (below(6)) {
        case 0: return lo;
        case 1: return hi;
        case 2: return lo <= 0 && hi >= 0 ? (coin() ? 0.0 : -0.0) : lo;
        case 3: return std::trunc(std::uniform_real_distribution<double>(lo, hi)(rng_));
        default: return std::uniform_real_distribution<double>(lo, hi)(rng_);
        }
    }
    std::optional<double> maybeNumber(double lo, double hi) {
        if (coin()) return std::nullopt;
        return number(lo, hi);
    }

    std::string text(std::size_t maxPieces) {
        static constexpr std::array<std::string_view, 8> pieces{"a", "Z", " ", "é", "€", "😀",
                                                                std::string_view("\0", 1), "\""};
        std::string out;
        const std::size_t n = below(maxPieces + 1);
        for (std::size_t i = 0; i < n; ++i) {
            const std::string_view piece = pieces[below(pieces.size())];
            out.append(piece.data(), piece.size());
        }
        return out;
    }
    std::optional<std::string> maybeText(std::size_t maxPieces) {
        if (coin()) return std::nullopt;
        return text(maxPieces);
    }

    CSSColor color() {
        static constexpr std::array<std::string_view, 8> colors{
            "#fff", "#12345", "red", "none", "transparent", "rgb(1, 2, 3)", "hsl(120, 50%, 50%)",
            "RGBA(0,0,0,.5)"};
        return CSSColor(std::string(colors[below(colors.size())]));
    }
    std::optional<CSSColor> maybeColor() {
        if (coin()) return std::nullopt;
        return color();
    }

    template <class E>
    std::optional<E> maybeWord() {
        if (coin()) return std::nullopt;
        const auto cases = allCases<E>();
        return cases[below(cases.size())];
    }
    std::optional<bool> maybeBool() {
        if (coin()) return std::nullopt;
        return coin();
    }

    std::vector<Point> points() {
        std::vector<Point> out(2 + below(5));
        for (Point& p : out) p = {number(-1e7, 1e7), number(-1e7, 1e7)};
        return out;
    }

    std::optional<ConnectorAnchor> anchor() {
        if (coin()) return std::nullopt;
        ConnectorAnchor a{number(0, 1), number(0, 1), {}};
        if (coin()) a.extra.set("side", JSONValue(text(3)));
        return a;
    }

    JSONValue anyValue(int depth = 0) {
        switch (below(depth > 1 ? 4 : 6)) {
        case 0: return JSONValue();
        case 1: return JSONValue(coin());
        case 2: return JSONValue(number(-1e300, 1e300));
        case 3: return JSONValue(text(4));
        case 4: return JSONValue(JSONValue::Array{anyValue(depth + 1), anyValue(depth + 1)});
        default: {
            JSONObject object;
            object.set("k", anyValue(depth + 1));
            object.set("x", anyValue(depth + 1));
            return JSONValue(std::move(object));
        }
        }
    }

    void labels(LabelFields& l) {
        l.label = maybeText(6);
        l.labelFontSize = maybeNumber(1, 1000);
        l.labelFontFamily = maybeText(4);
        l.labelColor = maybeColor();
    }

private:
    std::mt19937_64& rng_;
};

}  // namespace

Element randomValidElement(std::mt19937_64& rng, std::string id) {
    Draw d(rng);
    const auto type = allCases<ElementType>()[d.below(12)];
    Element e;
    e.id = std::move(id);
    e.x = d.number(-1e7, 1e7);
    e.y = d.number(-1e7, 1e7);
    e.strokeColor = d.color();
    e.fillColor = d.color();
    e.strokeWidth = d.number(0, 1000);
    e.opacity = d.number(0, 1);
    e.roughness = d.number(0, 10);
    e.rotation = d.maybeNumber(-6.283185307179586, 6.283185307179586);
    e.strokeStyle = d.maybeWord<StrokeStyle>();
    e.lineCap = d.maybeWord<LineCap>();
    e.lineJoin = d.maybeWord<LineJoin>();
    e.shadowBlur = d.maybeNumber(0, 1000);
    e.shadowColor = d.maybeColor();
    e.shadowOffsetX = d.maybeNumber(-1e7, 1e7);
    e.shadowOffsetY = d.maybeNumber(-1e7, 1e7);
    e.visible = d.maybeBool();
    e.layerName = d.maybeText(8);
    e.locked = d.maybeBool();
    e.groupId = d.maybeText(4);

    switch (type) {
    case ElementType::rectangle:
    case ElementType::ellipse:
    case ElementType::rhombus: {
        Element::Box b;
        b.width = d.number(-1e7, 1e7);
        b.height = d.number(-1e7, 1e7);
        b.cornerRadius = d.maybeNumber(0, 1000);
        d.labels(b);
        e.payload = type == ElementType::rectangle ? Element::Payload::rectangle(std::move(b))
                    : type == ElementType::ellipse ? Element::Payload::ellipse(std::move(b))
                                                   : Element::Payload::rhombus(std::move(b));
        break;
    }
    case ElementType::shape: {
        Element::Shape s;
        s.kind = allCases<ShapeKind>()[d.below(8)];
        s.width = d.number(-1e7, 1e7);
        s.height = d.number(-1e7, 1e7);
        d.labels(s);
        e.payload = std::move(s);
        break;
    }
    case ElementType::stencil: {
        Element::Stencil s;
        s.width = d.number(-1e7, 1e7);
        s.height = d.number(-1e7, 1e7);
        if (d.coin()) {
            s.source = StencilSource::builtin(d.coin() ? "generic/server" : "k8s/pod_2-a");
        } else {
            s.source = StencilSource::embedded("data:image/svg+xml;base64,PHN2Zz4=", d.text(3), d.text(3));
            if (e.rotation && *e.rotation != 0) e.rotation = d.coin() ? 0.0 : -0.0;
        }
        if (d.coin()) s.source.extra.set("version", d.anyValue());
        d.labels(s);
        e.payload = std::move(s);
        break;
    }
    case ElementType::line:
    case ElementType::arrow: {
        auto connector = [&d](ConnectorFields& c) {
            c.x2 = d.number(-1e7, 1e7);
            c.y2 = d.number(-1e7, 1e7);
            c.startElementId = d.maybeText(4);
            c.endElementId = d.maybeText(4);
            c.startAnchor = d.anchor();
            c.endAnchor = d.anchor();
            c.routing = d.maybeWord<ConnectorRouting>();
            c.endHeadStyle = d.maybeWord<ArrowHeadStyle>();
            d.labels(c);
        };
        if (type == ElementType::line) {
            Element::Line l;
            connector(l);
            l.startHeadStyle = d.maybeWord<ArrowHeadStyle>();
            l.cx = d.maybeNumber(-1e7, 1e7);
            l.cy = d.maybeNumber(-1e7, 1e7);
            l.arrowHead = d.maybeWord<ArrowHead>();
            e.payload = std::move(l);
        } else {
            Element::Arrow a;
            connector(a);
            e.payload = std::move(a);
            // keys a line would model are unknown keys on an arrow
            if (d.coin()) e.extra.set("cx", d.anyValue());
        }
        break;
    }
    case ElementType::curve:
        e.payload = Element::Curve{d.number(-1e7, 1e7), d.number(-1e7, 1e7), d.number(-1e7, 1e7),
                                   d.number(-1e7, 1e7)};
        break;
    case ElementType::polygon: e.payload = Element::Polygon{d.points(), d.coin()}; break;
    case ElementType::freehand: {
        Element::Freehand f{d.points(), std::nullopt};
        if (d.coin()) {
            f.pressures.emplace();
            for (std::size_t i = 0; i < f.points.size(); ++i) f.pressures->push_back(d.number(0, 1));
        }
        e.payload = std::move(f);
        break;
    }
    case ElementType::text: {
        Element::Text t;
        t.content = d.text(10);
        t.padding = d.maybeNumber(0, 1000);
        t.fontSize = d.number(1, 1000);
        t.fontFamily = d.text(4);
        t.width = d.number(-1e7, 1e7);
        t.height = d.number(-1e7, 1e7);
        t.textAlign = d.maybeWord<TextAlign>();
        t.isCode = d.maybeBool();
        t.bold = d.maybeBool();
        t.italic = d.maybeBool();
        t.underline = d.maybeBool();
        t.strikethrough = d.maybeBool();
        e.payload = std::move(t);
        break;
    }
    case ElementType::image: {
        Element::Image i;
        i.src = d.coin() ? "data:image/png;base64,iVBORw0KGgo=" : "DATA:IMAGE/SVG+XML;BASE64,PHN2Zz4";
        i.width = d.number(-1e7, 1e7);
        i.height = d.number(-1e7, 1e7);
        i.naturalWidth = d.number(1, 100000);
        i.naturalHeight = d.number(1, 100000);
        e.payload = std::move(i);
        break;
    }
    }
    const std::size_t unknown = d.below(3);
    for (std::size_t i = 0; i < unknown; ++i) e.extra.set(i == 0 ? "meta" : "zIndex", d.anyValue());
    return e;
}

}  // namespace dv::test
