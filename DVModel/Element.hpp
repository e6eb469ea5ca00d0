#pragma once
// One drawing element of a board. The kind of an element is the case of its payload, never a
// field of its own. Everything here is a plain value: copy it, compare it, store it.

#include "DVModel/Hashing.hpp"
#include "DVModel/CSSColor.hpp"
#include "DVModel/JSONValue.hpp"
#include "DVModel/SmallRecords.hpp"
#include "DVModel/Vocabulary.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace dv {

// The four label fields that boxes, flowchart shapes, stencils, lines and arrows carry. Those
// payloads derive from it, so label code can take any of them as a `LabelFields&`.
struct LabelFields {
    std::optional<std::string> label;
    std::optional<double> labelFontSize;
    std::optional<std::string> labelFontFamily;
    std::optional<CSSColor> labelColor;

    bool operator==(const LabelFields&) const = default;
};

// The fields lines and arrows share: their far end, bindings, anchors, routing and end head.
struct ConnectorFields : LabelFields {
    double x2 = 0;
    double y2 = 0;
    std::optional<std::string> startElementId;
    std::optional<std::string> endElementId;
    std::optional<ConnectorAnchor> startAnchor;
    std::optional<ConnectorAnchor> endAnchor;
    std::optional<ConnectorRouting> routing;
    std::optional<ArrowHeadStyle> endHeadStyle;

    bool operator==(const ConnectorFields&) const = default;
};

// What applying one key and value to an element did.
enum class FieldUpdate : std::uint8_t {
    applied,      // the field took the value; the key left `extra`
    keptInExtra,  // the field is absent; the key and value are in `extra`
    rejected,     // nothing changed
    notAField,    // the key is no field of the element's kind; it is in `extra`
};

// The payload records, one per kind (rectangle, ellipse and rhombus share Box). They are reached
// as Element::Box and so on; they live out here because a record nested in Element would not be
// complete while Element itself is being defined.
namespace payload {

// rectangle, ellipse, rhombus
struct Box : LabelFields {
    double width = 0;
    double height = 0;
    std::optional<double> cornerRadius;
    bool operator==(const Box&) const = default;
};
// a flowchart symbol
struct Shape : LabelFields {
    ShapeKind kind = ShapeKind::terminator;
    double width = 0;
    double height = 0;
    bool operator==(const Shape&) const = default;
};
// an icon drawn from a stencil source
struct Stencil : LabelFields {
    double width = 0;
    double height = 0;
    StencilSource source;
    bool operator==(const Stencil&) const = default;
};
// a connector drawn as a line; it alone has a start head, a control point and `arrowHead`
struct Line : ConnectorFields {
    std::optional<ArrowHeadStyle> startHeadStyle;
    std::optional<double> cx;
    std::optional<double> cy;
    std::optional<ArrowHead> arrowHead;
    bool operator==(const Line&) const = default;
};
// a connector drawn as an arrow
struct Arrow : ConnectorFields {
    bool operator==(const Arrow&) const = default;
};
// a quadratic curve
struct Curve {
    double x2 = 0;
    double y2 = 0;
    double cx = 0;
    double cy = 0;
    bool operator==(const Curve&) const = default;
};
struct Polygon {
    std::vector<Point> points;
    bool closed = false;
    bool operator==(const Polygon&) const = default;
};
// a pen stroke
struct Freehand {
    std::vector<Point> points;
    std::optional<std::vector<double>> pressures;
    bool operator==(const Freehand&) const = default;
};
struct Text {
    std::string content;
    std::optional<double> padding;
    double fontSize = 0;
    std::string fontFamily;
    double width = 0;
    double height = 0;
    std::optional<TextAlign> textAlign;
    std::optional<bool> isCode;
    std::optional<bool> bold;
    std::optional<bool> italic;
    std::optional<bool> underline;
    std::optional<bool> strikethrough;
    bool operator==(const Text&) const = default;
};
struct Image {
    std::string src;
    double width = 0;
    double height = 0;
    double naturalWidth = 0;
    double naturalHeight = 0;
    bool operator==(const Image&) const = default;
};

}  // namespace payload

struct Element {
    using Box = payload::Box;
    using Shape = payload::Shape;
    using Stencil = payload::Stencil;
    using Line = payload::Line;
    using Arrow = payload::Arrow;
    using Curve = payload::Curve;
    using Polygon = payload::Polygon;
    using Freehand = payload::Freehand;
    using Text = payload::Text;
    using Image = payload::Image;

    // The kind-specific part. Rectangle, ellipse and rhombus all hold a Box, so the case is kept
    // by position: alternative n is the ElementType with value n.
    class Payload {
    public:
        using Storage = std::variant<Box, Box, Box, Shape, Stencil, Line, Arrow, Curve, Polygon,
                                     Freehand, Text, Image>;

        // A rectangle with every field at its zero or absent value.
        Payload() : storage_(std::in_place_index<0>) {}
        static Payload rectangle(Box b) { return Payload(std::in_place_index<0>, std::move(b)); }
        static Payload ellipse(Box b) { return Payload(std::in_place_index<1>, std::move(b)); }
        static Payload rhombus(Box b) { return Payload(std::in_place_index<2>, std::move(b)); }
        // The kinds whose record is their own.
        Payload(Shape v) : storage_(std::in_place_index<3>, std::move(v)) {}
        Payload(Stencil v) : storage_(std::in_place_index<4>, std::move(v)) {}
        Payload(Line v) : storage_(std::in_place_index<5>, std::move(v)) {}
        Payload(Arrow v) : storage_(std::in_place_index<6>, std::move(v)) {}
        Payload(Curve v) : storage_(std::in_place_index<7>, std::move(v)) {}
        Payload(Polygon v) : storage_(std::in_place_index<8>, std::move(v)) {}
        Payload(Freehand v) : storage_(std::in_place_index<9>, std::move(v)) {}
        Payload(Text v) : storage_(std::in_place_index<10>, std::move(v)) {}
        Payload(Image v) : storage_(std::in_place_index<11>, std::move(v)) {}
        // A payload of the given kind with every field at its zero or absent value.
        static Payload empty(ElementType type);

        ElementType type() const { return static_cast<ElementType>(storage_.index()); }

        // The record when the payload is of that kind, else nullptr. `box()` answers for all
        // three box kinds.
        const Box* box() const { return storage_.index() <= 2 ? boxUnchecked() : nullptr; }
        Box* box() { return const_cast<Box*>(std::as_const(*this).box()); }
        const Shape* shape() const { return std::get_if<3>(&storage_); }
        Shape* shape() { return std::get_if<3>(&storage_); }
        const Stencil* stencil() const { return std::get_if<4>(&storage_); }
        Stencil* stencil() { return std::get_if<4>(&storage_); }
        const Line* line() const { return std::get_if<5>(&storage_); }
        Line* line() { return std::get_if<5>(&storage_); }
        const Arrow* arrow() const { return std::get_if<6>(&storage_); }
        Arrow* arrow() { return std::get_if<6>(&storage_); }
        const Curve* curve() const { return std::get_if<7>(&storage_); }
        Curve* curve() { return std::get_if<7>(&storage_); }
        const Polygon* polygon() const { return std::get_if<8>(&storage_); }
        Polygon* polygon() { return std::get_if<8>(&storage_); }
        const Freehand* freehand() const { return std::get_if<9>(&storage_); }
        Freehand* freehand() { return std::get_if<9>(&storage_); }
        const Text* text() const { return std::get_if<10>(&storage_); }
        Text* text() { return std::get_if<10>(&storage_); }
        const Image* image() const { return std::get_if<11>(&storage_); }
        Image* image() { return std::get_if<11>(&storage_); }

        // The label fields of a label-bearing payload (boxes, shape, stencil, line, arrow), else
        // nullptr.
        const LabelFields* labels() const;
        LabelFields* labels() { return const_cast<LabelFields*>(std::as_const(*this).labels()); }
        // The connector fields of a line or an arrow, else nullptr.
        const ConnectorFields* connector() const;
        ConnectorFields* connector() {
            return const_cast<ConnectorFields*>(std::as_const(*this).connector());
        }

        const Storage& storage() const { return storage_; }
        Storage& storage() { return storage_; }

        bool operator==(const Payload&) const = default;

    private:
        template <std::size_t I, class T>
        Payload(std::in_place_index_t<I> i, T&& v) : storage_(i, std::forward<T>(v)) {}
        const Box* boxUnchecked() const;

        Storage storage_;
    };

    std::string id;
    double x = 0;
    double y = 0;
    CSSColor strokeColor;
    CSSColor fillColor;
    double strokeWidth = 0;
    double opacity = 0;
    double roughness = 0;
    std::optional<double> rotation;
    std::optional<StrokeStyle> strokeStyle;
    std::optional<LineCap> lineCap;
    std::optional<LineJoin> lineJoin;
    std::optional<double> shadowBlur;
    std::optional<CSSColor> shadowColor;
    std::optional<double> shadowOffsetX;
    std::optional<double> shadowOffsetY;
    std::optional<bool> visible;
    std::optional<std::string> layerName;
    std::optional<bool> locked;
    std::optional<std::string> groupId;
    Payload payload;
    JSONObject extra;

    ElementType type() const { return payload.type(); }

    // Value equality: numbers numerically (NaN unequal, 0 == -0), texts by code units, `extra`
    // as JSON objects (key order ignored). The same test as `isExactlyEqual`.
    bool operator==(const Element&) const = default;

    // The element as its ordered JSON object: modelled keys in their fixed order, absent optional
    // fields omitted, then the `extra` keys the model does not already hold.
    JSONObject jsonObject() const;
    JSONValue jsonValue() const;

    // Bit-exact sameness: numbers by their 64-bit pattern, texts by code units; stops at the
    // first difference.
    bool isIdentical(const Element& other) const;
    bool isExactlyEqual(const Element& other) const;

    // Field access by JSON key (for JSON this system produced itself). `setField` and
    // `removeField` answer false and leave the element untouched when the change is refused.
    bool setField(std::string_view key, const JSONValue& value);
    bool removeField(std::string_view key);
    // Builds an element key by key; absent when the id, the type or a required key is missing
    // or a required field refuses its value.
    static std::optional<Element> fromLenientJSON(const JSONObject& object);
    // The keys every element of the type must carry (besides "id" and "type"), in order.
    static std::span<const std::string_view> requiredKeys(ElementType type);
};

// True when both lists hold identical elements at every position.
bool elementsAreIdentical(std::span<const Element> a, std::span<const Element> b);

}  // namespace dv

// Agrees with ==: equal elements write equal JSON objects (numbers by value, -0 as +0, key order
// ignored), and the object's hash follows that equality.
template <> struct std::hash<dv::Element> {
    std::size_t operator()(const dv::Element& element) const {
        return static_cast<std::size_t>(element.jsonObject().hashValue());
    }
};

// The payload records hash field by field, in agreement with their defaulted equality.
DV_HASH_MEMBERS(dv::LabelFields, &dv::LabelFields::label, &dv::LabelFields::labelFontSize,
                &dv::LabelFields::labelFontFamily, &dv::LabelFields::labelColor);
template <> struct std::hash<dv::ConnectorFields> {
    std::size_t operator()(const dv::ConnectorFields& c) const noexcept {
        return dv::hashFields(static_cast<const dv::LabelFields&>(c), c.x2, c.y2, c.startElementId, c.endElementId,
                              c.startAnchor, c.endAnchor, c.routing, c.endHeadStyle);
    }
};
template <> struct std::hash<dv::payload::Box> {
    std::size_t operator()(const dv::payload::Box& b) const noexcept {
        return dv::hashFields(static_cast<const dv::LabelFields&>(b), b.width, b.height, b.cornerRadius);
    }
};
template <> struct std::hash<dv::payload::Shape> {
    std::size_t operator()(const dv::payload::Shape& s) const noexcept {
        return dv::hashFields(static_cast<const dv::LabelFields&>(s), s.kind, s.width, s.height);
    }
};
template <> struct std::hash<dv::payload::Stencil> {
    std::size_t operator()(const dv::payload::Stencil& s) const noexcept {
        return dv::hashFields(static_cast<const dv::LabelFields&>(s), s.width, s.height, s.source);
    }
};
template <> struct std::hash<dv::payload::Line> {
    std::size_t operator()(const dv::payload::Line& l) const noexcept {
        return dv::hashFields(static_cast<const dv::ConnectorFields&>(l), l.startHeadStyle, l.cx, l.cy, l.arrowHead);
    }
};
template <> struct std::hash<dv::payload::Arrow> {
    std::size_t operator()(const dv::payload::Arrow& a) const noexcept {
        return dv::hashFields(static_cast<const dv::ConnectorFields&>(a));
    }
};
DV_HASH_MEMBERS(dv::payload::Curve, &dv::payload::Curve::x2, &dv::payload::Curve::y2, &dv::payload::Curve::cx,
                &dv::payload::Curve::cy);
DV_HASH_MEMBERS(dv::payload::Polygon, &dv::payload::Polygon::points, &dv::payload::Polygon::closed);
DV_HASH_MEMBERS(dv::payload::Freehand, &dv::payload::Freehand::points, &dv::payload::Freehand::pressures);
DV_HASH_MEMBERS(dv::payload::Text, &dv::payload::Text::content, &dv::payload::Text::padding,
                &dv::payload::Text::fontSize, &dv::payload::Text::fontFamily, &dv::payload::Text::width,
                &dv::payload::Text::height, &dv::payload::Text::textAlign, &dv::payload::Text::isCode,
                &dv::payload::Text::bold, &dv::payload::Text::italic, &dv::payload::Text::underline,
                &dv::payload::Text::strikethrough);
DV_HASH_MEMBERS(dv::payload::Image, &dv::payload::Image::src, &dv::payload::Image::width,
                &dv::payload::Image::height, &dv::payload::Image::naturalWidth, &dv::payload::Image::naturalHeight);
template <> struct std::hash<dv::Element::Payload> {
    std::size_t operator()(const dv::Element::Payload& payload) const noexcept {
        return dv::hashFields(payload.storage());
    }
};
