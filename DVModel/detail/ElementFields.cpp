#include "DVModel/detail/ElementFields.hpp"

#include "DVModel/ElementValidation.hpp"
#include "DVModel/JSString.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVModel/UTF8.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

namespace dv::detail {

bool unitsWithin(std::string_view text, std::size_t minUnits, std::size_t maxUnits) {
    // A text never has more UTF-16 units than UTF-8 bytes, nor fewer than a third of them.
    if (text.size() <= maxUnits && text.size() >= 3 * minUnits) return true;
    if (text.size() > 3 * maxUnits) return false;
    const std::size_t units = utf16Length(text);
    return units >= minUnits && units <= maxUnits;
}

namespace {

const std::string* textWithin(const JSONValue* value, std::size_t maxUnits) {
    if (value == nullptr) return nullptr;
    const std::string* text = value->stringValue();
    return text != nullptr && unitsWithin(*text, 0, maxUnits) ? text : nullptr;
}

}  // namespace

std::optional<ConnectorAnchor> validateAnchor(const JSONValue& value) {
    const JSONObject* object = value.objectValue();
    if (object == nullptr) return std::nullopt;
    const auto x = numberWithin(object->find("x"), 0, 1);
    const auto y = numberWithin(object->find("y"), 0, 1);
    if (!x || !y) return std::nullopt;
    return ConnectorAnchor{*x, *y, keysExcept(*object, {"x", "y"})};
}

std::optional<StencilSource> validateStencilSource(const JSONValue& value) {
    const JSONObject* object = value.objectValue();
    if (object == nullptr) return std::nullopt;
    const JSONValue* kindValue = object->find("kind");
    const std::string* kind = kindValue != nullptr ? kindValue->stringValue() : nullptr;
    if (kind == nullptr) return std::nullopt;
    if (*kind == "builtin") {
        const std::string* ref = textWithin(object->find("ref"), 128);
        if (ref == nullptr || !StencilRegistry::isValidStencilRef(*ref)) return std::nullopt;
        return StencilSource{StencilSource::Builtin{*ref}, keysExcept(*object, {"kind", "ref"})};
    }
    if (*kind == "embedded") {
        const std::string* src = textWithin(object->find("src"), StencilRegistry::maxEmbeddedSVGChars);
        if (src == nullptr || !StencilRegistry::isValidEmbeddedSvg(*src)) return std::nullopt;
        const std::string* pack = textWithin(object->find("pack"), 128);
        const std::string* name = textWithin(object->find("name"), 256);
        if (pack == nullptr || name == nullptr) return std::nullopt;
        return StencilSource{StencilSource::Embedded{*src, *pack, *name},
                             keysExcept(*object, {"kind", "src", "pack", "name"})};
    }
    return std::nullopt;
}

namespace {

// ---- how each field type goes to and from JSON ------------------------------------------------

template <class T>
struct Codec;

template <>
struct Codec<double> {
    static JSONValue toJSON(double v) { return JSONValue(v); }
    static std::optional<double> read(const JSONValue& v) { return v.doubleValue(); }
    static std::optional<double> check(const JSONValue& v, const FieldBounds& b) {
        return numberWithin(&v, b.lo, b.hi);
    }
};

template <>
struct Codec<std::string> {
    static JSONValue toJSON(const std::string& v) { return JSONValue(v); }
    static std::optional<std::string> read(const JSONValue& v) {
        if (const std::string* s = v.stringValue()) return *s;
        return std::nullopt;
    }
    static std::optional<std::string> check(const JSONValue& v, const FieldBounds& b) {
        if (const std::string* s = accepted(v, b)) return *s;
        return std::nullopt;
    }
    static std::optional<std::string> take(JSONValue& v, const FieldBounds& b) {
        if (std::string* s = const_cast<std::string*>(accepted(v, b))) return std::move(*s);
        return std::nullopt;
    }

private:
    static const std::string* accepted(const JSONValue& v, const FieldBounds& b) {
        const std::string* s = v.stringValue();
        if (s == nullptr || !unitsWithin(*s, b.minUnits, b.maxUnits)) return nullptr;
        if (b.textCheck != nullptr && !b.textCheck(*s)) return nullptr;
        return s;
    }
};

template <>
struct Codec<CSSColor> {
    static JSONValue toJSON(const CSSColor& v) { return JSONValue(v.rawValue); }
    static std::optional<CSSColor> read(const JSONValue& v) {
        if (const std::string* s = v.stringValue()) return CSSColor(*s);
        return std::nullopt;
    }
    static std::optional<CSSColor> check(const JSONValue& v, const FieldBounds&) {
        const std::string* s = v.stringValue();
        if (s == nullptr || !CSSColor::isValid(*s)) return std::nullopt;
        return CSSColor(*s);
    }
    static std::optional<CSSColor> take(JSONValue& v, const FieldBounds&) {
        std::string* s = v.stringValue();
        if (s == nullptr || !CSSColor::isValid(*s)) return std::nullopt;
        return CSSColor(std::move(*s));
    }
};

template <>
struct Codec<bool> {
    static JSONValue toJSON(bool v) { return JSONValue(v); }
    static std::optional<bool> read(const JSONValue& v) { return v.boolValue(); }
    static std::optional<bool> check(const JSONValue& v, const FieldBounds&) { return v.boolValue(); }
};

template <class E>
    requires std::is_enum_v<E>
struct Codec<E> {
    static JSONValue toJSON(E v) { return JSONValue(toWord(v)); }
    static std::optional<E> read(const JSONValue& v) {
        if (const std::string* s = v.stringValue()) return fromWord<E>(*s);
        return std::nullopt;
    }
    static std::optional<E> check(const JSONValue& v, const FieldBounds&) { return read(v); }
};

template <>
struct Codec<ConnectorAnchor> {
    static JSONValue toJSON(const ConnectorAnchor& v) { return JSONValue(v.jsonObject()); }
    static std::optional<ConnectorAnchor> read(const JSONValue& v) { return readConnectorAnchor(v); }
    static std::optional<ConnectorAnchor> check(const JSONValue& v, const FieldBounds&) {
        return validateAnchor(v);
    }
};

template <>
struct Codec<StencilSource> {
    static JSONValue toJSON(const StencilSource& v) { return JSONValue(v.jsonObject()); }
    static std::optional<StencilSource> read(const JSONValue& v) { return readStencilSource(v); }
    static std::optional<StencilSource> check(const JSONValue& v, const FieldBounds&) {
        return validateStencilSource(v);
    }
};

template <>
struct Codec<std::vector<Point>> {
    static JSONValue toJSON(const std::vector<Point>& points) {
        JSONValue::Array out;
        out.reserve(points.size());
        for (const Point& p : points) out.push_back(p.jsonValue());
        return JSONValue(std::move(out));
    }
    static std::optional<std::vector<Point>> read(const JSONValue& v) { return readPointList(v); }
    // 2 to maxPointsPerElement entries, each exactly two finite numbers within the bounds.
    static std::optional<std::vector<Point>> check(const JSONValue& v, const FieldBounds& b) {
        const JSONValue::Array* entries = v.arrayValue();
        if (entries == nullptr || entries->size() < 2 ||
            entries->size() > ElementValidation::maxPointsPerElement) {
            return std::nullopt;
        }
        std::vector<Point> points;
        points.reserve(entries->size());
        for (const JSONValue& entry : *entries) {
            const JSONValue::Array* pair = entry.arrayValue();
            if (pair == nullptr || pair->size() != 2) return std::nullopt;
            const auto x = numberWithin(&(*pair)[0], b.lo, b.hi);
            const auto y = numberWithin(&(*pair)[1], b.lo, b.hi);
            if (!x || !y) return std::nullopt;
            points.push_back(Point{*x, *y});
        }
        return points;
    }
};

// Freehand pressures. Their count is checked against the points once the element is complete.
template <>
struct Codec<std::vector<double>> {
    static JSONValue toJSON(const std::vector<double>& numbers) {
        return JSONValue(JSONValue::Array(numbers.begin(), numbers.end()));
    }
    static std::optional<std::vector<double>> read(const JSONValue& v) { return readNumberList(v); }
    static std::optional<std::vector<double>> check(const JSONValue& v, const FieldBounds& b) {
        const JSONValue::Array* entries = v.arrayValue();
        if (entries == nullptr || entries->size() > ElementValidation::maxPointsPerElement) {
            return std::nullopt;
        }
        std::vector<double> numbers;
        numbers.reserve(entries->size());
        for (const JSONValue& entry : *entries) {
            const auto n = numberWithin(&entry, b.lo, b.hi);
            if (!n) return std::nullopt;
            numbers.push_back(*n);
        }
        return numbers;
    }
};

// ---- reaching a field through a pointer to member ---------------------------------------------

template <class>
struct MemberTraits;
template <class R, class F>
struct MemberTraits<F R::*> {
    using Record = R;
    using Field = F;
};

template <class T>
struct OptionalTraits : std::false_type {
    using Value = T;
};
template <class T>
struct OptionalTraits<std::optional<T>> : std::true_type {
    using Value = T;
};

// The record that holds a member: the element itself or its payload record. The tables below
// only name fields of the payload's own kind, so the record is always there.
template <class R>
R& recordOf(Element& e) {
    R* record = nullptr;
    if constexpr (std::is_same_v<R, Element>) record = &e;
    else if constexpr (std::is_same_v<R, LabelFields>) record = e.payload.labels();
    else if constexpr (std::is_same_v<R, ConnectorFields>) record = e.payload.connector();
    else if constexpr (std::is_same_v<R, Element::Box>) record = e.payload.box();
    else if constexpr (std::is_same_v<R, Element::Shape>) record = e.payload.shape();
    else if constexpr (std::is_same_v<R, Element::Stencil>) record = e.payload.stencil();
    else if constexpr (std::is_same_v<R, Element::Line>) record = e.payload.line();
    else if constexpr (std::is_same_v<R, Element::Curve>) record = e.payload.curve();
    else if constexpr (std::is_same_v<R, Element::Polygon>) record = e.payload.polygon();
    else if constexpr (std::is_same_v<R, Element::Freehand>) record = e.payload.freehand();
    else if constexpr (std::is_same_v<R, Element::Text>) record = e.payload.text();
    else if constexpr (std::is_same_v<R, Element::Image>) record = e.payload.image();
    else static_assert(sizeof(R) == 0, "no such record");
    return *record;
}

template <auto M>
auto& fieldOf(Element& e) {
    return recordOf<typename MemberTraits<decltype(M)>::Record>(e).*M;
}

template <auto M>
using FieldType = typename MemberTraits<decltype(M)>::Field;

template <auto M>
void writeField(const FieldSlot& slot, const Element& e, JSONObject& out) {
    using F = FieldType<M>;
    using C = Codec<typename OptionalTraits<F>::Value>;
    const auto& field = fieldOf<M>(const_cast<Element&>(e));
    if constexpr (OptionalTraits<F>::value) {
        if (field) out.set(std::string(slot.key), C::toJSON(*field));
    } else {
        out.set(std::string(slot.key), C::toJSON(field));
    }
}

template <auto M>
FieldUpdate applyField(Element& e, const JSONValue* value) {
    using F = FieldType<M>;
    using C = Codec<typename OptionalTraits<F>::Value>;
    auto& field = fieldOf<M>(e);
    if constexpr (OptionalTraits<F>::value) {
        if (value == nullptr) {
            field.reset();
            return FieldUpdate::applied;
        }
        auto taken = C::read(*value);
        if (!taken) {
            field.reset();
            return FieldUpdate::keptInExtra;
        }
        field = std::move(*taken);
        return FieldUpdate::applied;
    } else {
        if (value == nullptr) return FieldUpdate::rejected;
        auto taken = C::read(*value);
        if (!taken) return FieldUpdate::rejected;
        field = std::move(*taken);
        return FieldUpdate::applied;
    }
}

// `Value` is const for validation that copies, non-const for validation that takes the texts
// (only the codecs of texts can take anything).
template <auto M, class Value>
bool validateField(Element& e, Value& value, const FieldBounds& bounds) {
    using C = Codec<typename OptionalTraits<FieldType<M>>::Value>;
    auto taken = [&] {
        if constexpr (!std::is_const_v<Value> && requires { C::take(value, bounds); }) return C::take(value, bounds);
        else return C::check(value, bounds);
    }();
    if (!taken) return false;
    fieldOf<M>(e) = std::move(*taken);
    return true;
}

template <auto M>
constexpr FieldSlot slot(std::string_view key, FieldBounds bounds = {}) {
    return FieldSlot{key, !OptionalTraits<FieldType<M>>::value, bounds, &writeField<M>,
                     &applyField<M>, &validateField<M, const JSONValue>, &validateField<M, JSONValue>};
}

// ---- the key table ----------------------------------------------------------------------------

constexpr FieldBounds numbers(double lo, double hi) { return {lo, hi, 0, 0, nullptr}; }
constexpr FieldBounds texts(std::size_t minUnits, std::size_t maxUnits,
                            bool (*check)(std::string_view) = nullptr) {
    return {0, 0, minUnits, maxUnits, check};
}

constexpr FieldBounds kCoordinate = numbers(-1e7, 1e7);
constexpr FieldBounds kUpTo1000 = numbers(0, 1000);
constexpr FieldBounds kFontSize = numbers(1, 1000);
constexpr FieldBounds kIdentifier = texts(0, 128);

// "data:image/" with one of the accepted subtypes and ";base64,", in any ASCII case.
bool isImageDataURL(std::string_view src) {
    static constexpr std::array<std::string_view, 6> prefixes{
        "data:image/png;base64,",  "data:image/jpg;base64,",  "data:image/jpeg;base64,",
        "data:image/gif;base64,",  "data:image/webp;base64,", "data:image/svg+xml;base64,"};
    for (std::string_view prefix : prefixes) {
        if (hasPrefixIgnoringASCIICase(src, prefix)) return true;
    }
    return false;
}

using E = Element;

constexpr FieldSlot kCommon[] = {
    slot<&E::id>("id", texts(1, 128)),
    slot<&E::x>("x", kCoordinate),
    slot<&E::y>("y", kCoordinate),
    slot<&E::strokeColor>("strokeColor"),
    slot<&E::fillColor>("fillColor"),
    slot<&E::strokeWidth>("strokeWidth", kUpTo1000),
    slot<&E::opacity>("opacity", numbers(0, 1)),
    slot<&E::roughness>("roughness", numbers(0, 10)),
    slot<&E::rotation>("rotation", numbers(-6.283185307179586, 6.283185307179586)),
    slot<&E::strokeStyle>("strokeStyle"),
    slot<&E::lineCap>("lineCap"),
    slot<&E::lineJoin>("lineJoin"),
    slot<&E::shadowBlur>("shadowBlur", kUpTo1000),
    slot<&E::shadowColor>("shadowColor"),
    slot<&E::shadowOffsetX>("shadowOffsetX", kCoordinate),
    slot<&E::shadowOffsetY>("shadowOffsetY", kCoordinate),
    slot<&E::visible>("visible"),
    slot<&E::layerName>("layerName", texts(0, 1000)),
    slot<&E::locked>("locked"),
    slot<&E::groupId>("groupId", kIdentifier),
};

constexpr FieldSlot kLabels[] = {
    slot<&LabelFields::label>("label", texts(0, 10000)),
    slot<&LabelFields::labelFontSize>("labelFontSize", kFontSize),
    slot<&LabelFields::labelFontFamily>("labelFontFamily", texts(0, 256)),
    slot<&LabelFields::labelColor>("labelColor"),
};

constexpr FieldSlot kBox[] = {
    slot<&E::Box::width>("width", kCoordinate),
    slot<&E::Box::height>("height", kCoordinate),
    slot<&E::Box::cornerRadius>("cornerRadius", kUpTo1000),
};

constexpr FieldSlot kShape[] = {
    slot<&E::Shape::kind>("kind"),
    slot<&E::Shape::width>("width", kCoordinate),
    slot<&E::Shape::height>("height", kCoordinate),
};

constexpr FieldSlot kStencil[] = {
    slot<&E::Stencil::width>("width", kCoordinate),
    slot<&E::Stencil::height>("height", kCoordinate),
    slot<&E::Stencil::source>("source"),
};

constexpr FieldSlot kConnector[] = {
    slot<&ConnectorFields::x2>("x2", kCoordinate),
    slot<&ConnectorFields::y2>("y2", kCoordinate),
    slot<&ConnectorFields::startElementId>("startElementId", kIdentifier),
    slot<&ConnectorFields::endElementId>("endElementId", kIdentifier),
    slot<&ConnectorFields::startAnchor>("startAnchor"),
    slot<&ConnectorFields::endAnchor>("endAnchor"),
    slot<&ConnectorFields::routing>("routing"),
    slot<&ConnectorFields::endHeadStyle>("endHeadStyle"),
};

constexpr FieldSlot kLineOwn[] = {
    slot<&E::Line::startHeadStyle>("startHeadStyle"),
    slot<&E::Line::cx>("cx", kCoordinate),
    slot<&E::Line::cy>("cy", kCoordinate),
    slot<&E::Line::arrowHead>("arrowHead"),
};

constexpr FieldSlot kCurve[] = {
    slot<&E::Curve::x2>("x2", kCoordinate),
    slot<&E::Curve::y2>("y2", kCoordinate),
    slot<&E::Curve::cx>("cx", kCoordinate),
    slot<&E::Curve::cy>("cy", kCoordinate),
};

constexpr FieldSlot kPolygon[] = {
    slot<&E::Polygon::points>("points", kCoordinate),
    slot<&E::Polygon::closed>("closed"),
};

constexpr FieldSlot kFreehand[] = {
    slot<&E::Freehand::points>("points", kCoordinate),
    slot<&E::Freehand::pressures>("pressures", numbers(0, 1)),
};

constexpr FieldSlot kText[] = {
    slot<&E::Text::content>("content", texts(0, 10000)),
    slot<&E::Text::padding>("padding", kUpTo1000),
    slot<&E::Text::fontSize>("fontSize", kFontSize),
    slot<&E::Text::fontFamily>("fontFamily", texts(0, 256)),
    slot<&E::Text::width>("width", kCoordinate),
    slot<&E::Text::height>("height", kCoordinate),
    slot<&E::Text::textAlign>("textAlign"),
    slot<&E::Text::isCode>("isCode"),
    slot<&E::Text::bold>("bold"),
    slot<&E::Text::italic>("italic"),
    slot<&E::Text::underline>("underline"),
    slot<&E::Text::strikethrough>("strikethrough"),
};

constexpr FieldSlot kImage[] = {
    slot<&E::Image::src>("src", texts(0, 10000000, isImageDataURL)),
    slot<&E::Image::width>("width", kCoordinate),
    slot<&E::Image::height>("height", kCoordinate),
    slot<&E::Image::naturalWidth>("naturalWidth", numbers(1, 100000)),
    slot<&E::Image::naturalHeight>("naturalHeight", numbers(1, 100000)),
};

template <std::size_t N>
void append(std::vector<const FieldSlot*>& out, const FieldSlot (&slots)[N], std::size_t from = 0,
            std::size_t to = N) {
    for (std::size_t i = from; i < to; ++i) out.push_back(&slots[i]);
}

// The kind's own keys in write order, label keys last where the kind has them.
std::vector<const FieldSlot*> payloadSlots(ElementType type) {
    std::vector<const FieldSlot*> out;
    switch (type) {
    case ElementType::rectangle:
    case ElementType::ellipse:
    case ElementType::rhombus: append(out, kBox); append(out, kLabels); break;
    case ElementType::shape: append(out, kShape); append(out, kLabels); break;
    case ElementType::stencil: append(out, kStencil); append(out, kLabels); break;
    case ElementType::line:
        // x2 … routing, startHeadStyle, endHeadStyle, cx, cy, arrowHead
        append(out, kConnector, 0, 7);
        append(out, kLineOwn, 0, 1);
        append(out, kConnector, 7, 8);
        append(out, kLineOwn, 1, 4);
        append(out, kLabels);
        break;
    case ElementType::arrow: append(out, kConnector); append(out, kLabels); break;
    case ElementType::curve: append(out, kCurve); break;
    case ElementType::polygon: append(out, kPolygon); break;
    case ElementType::freehand: append(out, kFreehand); break;
    case ElementType::text: append(out, kText); break;
    case ElementType::image: append(out, kImage); break;
    }
    return out;
}

KindFields buildKindFields(ElementType type) {
    KindFields fields;
    append(fields.slots, kCommon);
    const auto own = payloadSlots(type);
    fields.slots.insert(fields.slots.end(), own.begin(), own.end());
    for (std::size_t i = 0; i < fields.slots.size(); ++i) {
        const FieldSlot* s = fields.slots[i];
        if (s->required && i > 0) fields.requiredKeys.push_back(s->key);
        fields.index.emplace_back(s->key, static_cast<int>(i));
    }
    std::sort(fields.index.begin(), fields.index.end());
    return fields;
}

}  // namespace

int KindFields::find(std::string_view key) const {
    const auto it = std::lower_bound(index.begin(), index.end(), key,
                                     [](const auto& entry, std::string_view k) { return entry.first < k; });
    return it != index.end() && it->first == key ? it->second : -1;
}

const KindFields& fieldsOf(ElementType type) {
    static const std::array<KindFields, 12> tables = [] {
        std::array<KindFields, 12> all;
        for (ElementType t : allCases<ElementType>()) all[static_cast<std::size_t>(t)] = buildKindFields(t);
        return all;
    }();
    return tables[static_cast<std::size_t>(type)];
}

}  // namespace dv::detail
