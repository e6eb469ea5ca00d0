#include "DVModel/Identity.hpp"

#include "DVModel/Element.hpp"

#include <type_traits>
#include <utility>

namespace dv {

namespace {

// One overload per field type; each stops at the first difference it can see.
bool same(double a, double b) { return sameNumberBits(a, b); }
bool same(const std::optional<double>& a, const std::optional<double>& b) { return sameNumberBits(a, b); }
bool same(const std::string& a, const std::string& b) { return a == b; }
bool same(const CSSColor& a, const CSSColor& b) { return a.rawValue == b.rawValue; }
bool same(const JSONObject& a, const JSONObject& b) { return isIdentical(a, b); }
bool same(const Point& a, const Point& b) { return same(a.x, b.x) && same(a.y, b.y); }
bool same(const ConnectorAnchor& a, const ConnectorAnchor& b) {
    return same(a.x, b.x) && same(a.y, b.y) && same(a.extra, b.extra);
}
template <class T>
    requires std::is_enum_v<T> || std::is_same_v<T, bool>
bool same(T a, T b) {
    return a == b;
}
template <class T>
bool same(const std::vector<T>& a, const std::vector<T>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same(a[i], b[i])) return false;
    }
    return true;
}
template <class T>
bool same(const std::optional<T>& a, const std::optional<T>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || same(*a, *b);
}

bool sameLabels(const LabelFields& a, const LabelFields& b) {
    return same(a.label, b.label) && same(a.labelFontSize, b.labelFontSize) &&
           same(a.labelFontFamily, b.labelFontFamily) && same(a.labelColor, b.labelColor);
}

bool sameConnector(const ConnectorFields& a, const ConnectorFields& b) {
    return same(a.x2, b.x2) && same(a.y2, b.y2) && same(a.startElementId, b.startElementId) &&
           same(a.endElementId, b.endElementId) && same(a.startAnchor, b.startAnchor) &&
           same(a.endAnchor, b.endAnchor) && same(a.routing, b.routing) &&
           same(a.endHeadStyle, b.endHeadStyle) && sameLabels(a, b);
}

bool samePayload(const Element::Box& a, const Element::Box& b) {
    return same(a.width, b.width) && same(a.height, b.height) &&
           same(a.cornerRadius, b.cornerRadius) && sameLabels(a, b);
}
bool samePayload(const Element::Shape& a, const Element::Shape& b) {
    return same(a.kind, b.kind) && same(a.width, b.width) && same(a.height, b.height) &&
           sameLabels(a, b);
}
bool samePayload(const Element::Stencil& a, const Element::Stencil& b) {
    if (!(same(a.width, b.width) && same(a.height, b.height) && sameLabels(a, b) &&
          same(a.source.extra, b.source.extra))) {
        return false;
    }
    return a.source.kind == b.source.kind;  // texts by code units, the case first
}
bool samePayload(const Element::Line& a, const Element::Line& b) {
    return sameConnector(a, b) && same(a.startHeadStyle, b.startHeadStyle) && same(a.cx, b.cx) &&
           same(a.cy, b.cy) && same(a.arrowHead, b.arrowHead);
}
bool samePayload(const Element::Arrow& a, const Element::Arrow& b) { return sameConnector(a, b); }
bool samePayload(const Element::Curve& a, const Element::Curve& b) {
    return same(a.x2, b.x2) && same(a.y2, b.y2) && same(a.cx, b.cx) && same(a.cy, b.cy);
}
bool samePayload(const Element::Polygon& a, const Element::Polygon& b) {
    return same(a.closed, b.closed) && same(a.points, b.points);
}
bool samePayload(const Element::Freehand& a, const Element::Freehand& b) {
    return same(a.points, b.points) && same(a.pressures, b.pressures);
}
bool samePayload(const Element::Text& a, const Element::Text& b) {
    return same(a.content, b.content) && same(a.padding, b.padding) &&
           same(a.fontSize, b.fontSize) && same(a.fontFamily, b.fontFamily) &&
           same(a.width, b.width) && same(a.height, b.height) && same(a.textAlign, b.textAlign) &&
           same(a.isCode, b.isCode) && same(a.bold, b.bold) && same(a.italic, b.italic) &&
           same(a.underline, b.underline) && same(a.strikethrough, b.strikethrough);
}
bool samePayload(const Element::Image& a, const Element::Image& b) {
    return same(a.src, b.src) && same(a.width, b.width) && same(a.height, b.height) &&
           same(a.naturalWidth, b.naturalWidth) && same(a.naturalHeight, b.naturalHeight);
}

template <std::size_t... I>
bool samePayloadAt(const Element::Payload::Storage& a, const Element::Payload::Storage& b,
                   std::index_sequence<I...>) {
    bool result = false;
    ((a.index() == I ? (result = samePayload(std::get<I>(a), std::get<I>(b)), true) : false) || ...);
    return result;
}

bool samePayload(const Element::Payload& a, const Element::Payload& b) {
    if (a.type() != b.type()) return false;
    return samePayloadAt(a.storage(), b.storage(),
                         std::make_index_sequence<std::variant_size_v<Element::Payload::Storage>>());
}

}  // namespace

bool isIdentical(const JSONValue& a, const JSONValue& b) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
    case JSONValue::Kind::boolean: return a.boolValue() == b.boolValue();
    case JSONValue::Kind::number: return sameNumberBits(*a.doubleValue(), *b.doubleValue());
    case JSONValue::Kind::string: return *a.stringValue() == *b.stringValue();
    case JSONValue::Kind::array: {
        const auto& left = *a.arrayValue();
        const auto& right = *b.arrayValue();
        if (left.size() != right.size()) return false;
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (!isIdentical(left[i], right[i])) return false;
        }
        return true;
    }
    case JSONValue::Kind::object: return isIdentical(*a.objectValue(), *b.objectValue());
    case JSONValue::Kind::null: return true;
    }
    return false;
}

bool isIdentical(const JSONObject& a, const JSONObject& b) {
    if (a.count() != b.count()) return false;
    for (std::size_t i = 0; i < a.count(); ++i) {
        const JSONValue* other = b.find(a.keyAt(i));
        if (other == nullptr || !isIdentical(a.valueAt(i), *other)) return false;
    }
    return true;
}

bool Element::isIdentical(const Element& o) const {
    return same(id, o.id) && same(x, o.x) && same(y, o.y) && same(strokeColor, o.strokeColor) &&
           same(fillColor, o.fillColor) && same(strokeWidth, o.strokeWidth) &&
           same(opacity, o.opacity) && same(roughness, o.roughness) && same(rotation, o.rotation) &&
           same(strokeStyle, o.strokeStyle) && same(lineCap, o.lineCap) &&
           same(lineJoin, o.lineJoin) && same(shadowBlur, o.shadowBlur) &&
           same(shadowColor, o.shadowColor) && same(shadowOffsetX, o.shadowOffsetX) &&
           same(shadowOffsetY, o.shadowOffsetY) && same(visible, o.visible) &&
           same(layerName, o.layerName) && same(locked, o.locked) && same(groupId, o.groupId) &&
           same(extra, o.extra) && samePayload(payload, o.payload);
}

bool Element::isExactlyEqual(const Element& other) const { return *this == other; }

bool elementsAreIdentical(std::span<const Element> a, std::span<const Element> b) {
    if (a.size() != b.size()) return false;
    if (a.data() == b.data()) return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!a[i].isIdentical(b[i])) return false;
    }
    return true;
}

}  // namespace dv
