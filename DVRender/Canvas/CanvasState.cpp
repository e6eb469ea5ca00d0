#include "DVRender/Canvas/CanvasState.hpp"

#include <cmath>

#include "DVModel/JSONValue.hpp"
#include "DVRender/Canvas/CanvasFont.hpp"
#include "DVModel/Hashing.hpp"

namespace dv {

namespace {

template <std::size_t N>
bool isOneOf(const std::string& word, const std::array<std::string_view, N>& words) {
    for (std::string_view candidate : words) {
        if (word == candidate) return true;
    }
    return false;
}

constexpr std::array<std::string_view, 3> LINE_CAPS{"butt", "round", "square"};
constexpr std::array<std::string_view, 3> LINE_JOINS{"miter", "round", "bevel"};
constexpr std::array<std::string_view, 5> TEXT_ALIGNS{"start", "end", "left", "right", "center"};
constexpr std::array<std::string_view, 6> TEXT_BASELINES{"top",        "hanging",     "middle",
                                                         "alphabetic", "ideographic", "bottom"};

} // namespace

CanvasMatrix CanvasMatrix::multiplied(const CanvasMatrix& o) const {
    return {a * o.a + c * o.b, b * o.a + d * o.b, a * o.c + c * o.d,
            b * o.c + d * o.d, a * o.e + c * o.f + e, b * o.e + d * o.f + f};
}

bool CanvasMatrix::isFinite() const {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) &&
           std::isfinite(e) && std::isfinite(f);
}

bool CanvasMatrix::isInvertible() const {
    double determinant = a * d - b * c;
    return std::isfinite(determinant) && determinant != 0;
}

std::string_view toWord(FillRule rule) { return rule == FillRule::evenodd ? "evenodd" : "nonzero"; }

std::optional<FillRule> fillRuleFromWord(std::string_view word) {
    if (word == "nonzero") return FillRule::nonzero;
    if (word == "evenodd") return FillRule::evenodd;
    return std::nullopt;
}

bool CanvasProperty::carriesText(Kind kind) {
    switch (kind) {
    case Kind::lineWidth:
    case Kind::globalAlpha:
    case Kind::shadowBlur:
    case Kind::shadowOffsetX:
    case Kind::shadowOffsetY:
        return false;
    default:
        return true;
    }
}

bool CanvasProperty::operator==(const CanvasProperty& other) const {
    if (kind != other.kind) return false;
    return carriesText(kind) ? text == other.text : number == other.number;
}

void CanvasState::apply(const CanvasProperty& property) {
    const std::string& text = property.text;
    double number = property.number;
    using Kind = CanvasProperty::Kind;
    switch (property.kind) {
    case Kind::fillStyle: fillStyle = text; break;
    case Kind::strokeStyle: strokeStyle = text; break;
    case Kind::shadowColor: shadowColor = text; break;
    case Kind::lineWidth:
        if (std::isfinite(number) && number > 0) lineWidth = number;
        break;
    case Kind::globalAlpha:
        if (number >= 0 && number <= 1) globalAlpha = number;
        break;
    case Kind::shadowBlur:
        if (std::isfinite(number) && number >= 0) shadowBlur = number;
        break;
    case Kind::shadowOffsetX:
        if (std::isfinite(number)) shadowOffsetX = number;
        break;
    case Kind::shadowOffsetY:
        if (std::isfinite(number)) shadowOffsetY = number;
        break;
    case Kind::lineCap:
        if (isOneOf(text, LINE_CAPS)) lineCap = text;
        break;
    case Kind::lineJoin:
        if (isOneOf(text, LINE_JOINS)) lineJoin = text;
        break;
    case Kind::textAlign:
        if (isOneOf(text, TEXT_ALIGNS)) textAlign = text;
        break;
    case Kind::textBaseline:
        if (isOneOf(text, TEXT_BASELINES)) textBaseline = text;
        break;
    case Kind::font: {
        std::optional<CanvasFont> parsed = CanvasFont::parse(text);
        if (parsed && std::isfinite(parsed->size) && parsed->size >= 0) font = text;
        break;
    }
    }
}

void CanvasState::concatenate(const CanvasMatrix& matrix) {
    if (matrix.isFinite()) transform = transform.multiplied(matrix);
}

void CanvasState::setTransform(const CanvasMatrix& matrix) {
    if (matrix.isFinite()) transform = matrix;
}

void CanvasState::setLineDash(const std::vector<double>& segments) {
    for (double segment : segments) {
        if (!std::isfinite(segment) || segment < 0) return;
    }
    lineDash = segments;
    if (segments.size() % 2 == 1) lineDash.insert(lineDash.end(), segments.begin(), segments.end());
}

JSONValue CanvasState::jsonValue() const {
    auto numbers = [](const auto& values) {
        return JSONValue(JSONValue::Array(values.begin(), values.end()));
    };
    JSONObject object;
    object.reserve(15);
    object.set("fillStyle", fillStyle);
    object.set("strokeStyle", strokeStyle);
    object.set("lineWidth", lineWidth);
    object.set("globalAlpha", globalAlpha);
    object.set("lineCap", lineCap);
    object.set("lineJoin", lineJoin);
    object.set("lineDash", numbers(lineDash));
    object.set("shadowBlur", shadowBlur);
    object.set("shadowColor", shadowColor);
    object.set("shadowOffsetX", shadowOffsetX);
    object.set("shadowOffsetY", shadowOffsetY);
    object.set("font", font);
    object.set("textAlign", textAlign);
    object.set("textBaseline", textBaseline);
    object.set("transform", numbers(transform.values()));
    return JSONValue(std::move(object));
}

std::size_t hashValue(const CanvasMatrix& matrix) {
    Hasher seed;
    for (double value : matrix.values()) hashMix(seed, value);
    return hashResult(seed);
}

std::size_t hashValue(const CanvasProperty& property) {
    Hasher seed;
    hashMix(seed, static_cast<std::size_t>(property.kind));
    if (CanvasProperty::carriesText(property.kind)) {
        hashMix(seed, std::string_view(property.text));
    } else {
        hashMix(seed, property.number);
    }
    return hashResult(seed);
}

std::size_t hashValue(const CanvasState& state) {
    Hasher seed;
    hashMix(seed, std::string_view(state.fillStyle));
    hashMix(seed, std::string_view(state.strokeStyle));
    hashMix(seed, state.lineWidth);
    hashMix(seed, state.globalAlpha);
    hashMix(seed, std::string_view(state.lineCap));
    hashMix(seed, std::string_view(state.lineJoin));
    for (double segment : state.lineDash) hashMix(seed, segment);
    hashMix(seed, state.shadowBlur);
    hashMix(seed, std::string_view(state.shadowColor));
    hashMix(seed, state.shadowOffsetX);
    hashMix(seed, state.shadowOffsetY);
    hashMix(seed, std::string_view(state.font));
    hashMix(seed, std::string_view(state.textAlign));
    hashMix(seed, std::string_view(state.textBaseline));
    for (double value : state.transform.values()) hashMix(seed, value);
    return hashResult(seed);
}

} // namespace dv
