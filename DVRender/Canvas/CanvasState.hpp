#pragma once
// The drawing state of a drawing context: thirteen canvas properties, the line dash and the
// current transform, with the web canvas's defaults and acceptance rules.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DVModel/JSONValue.hpp"

namespace dv {

// The affine transform mapping (x, y) to (a·x + c·y + e, b·x + d·y + f).
struct CanvasMatrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    static constexpr CanvasMatrix identity() { return {}; }

    // self × other: `other` applies to coordinates first.
    CanvasMatrix multiplied(const CanvasMatrix& other) const;
    bool isFinite() const;
    // The determinant is finite and not zero.
    bool isInvertible() const;
    std::array<double, 6> values() const { return {a, b, c, d, e, f}; }

    bool operator==(const CanvasMatrix&) const = default;
};

enum class FillRule { nonzero, evenodd };

std::string_view toWord(FillRule rule);
std::optional<FillRule> fillRuleFromWord(std::string_view word);

// One property change. Text cases carry `text`, number cases carry `number`.
struct CanvasProperty {
    enum class Kind {
        fillStyle,
        strokeStyle,
        lineWidth,
        globalAlpha,
        lineCap,
        lineJoin,
        shadowBlur,
        shadowColor,
        shadowOffsetX,
        shadowOffsetY,
        font,
        textAlign,
        textBaseline,
    };

    Kind kind = Kind::fillStyle;
    std::string text;
    double number = 0;

    static bool carriesText(Kind kind);

    static CanvasProperty fillStyle(std::string value) { return {Kind::fillStyle, std::move(value), 0}; }
    static CanvasProperty strokeStyle(std::string value) { return {Kind::strokeStyle, std::move(value), 0}; }
    static CanvasProperty lineWidth(double value) { return {Kind::lineWidth, {}, value}; }
    static CanvasProperty globalAlpha(double value) { return {Kind::globalAlpha, {}, value}; }
    static CanvasProperty lineCap(std::string value) { return {Kind::lineCap, std::move(value), 0}; }
    static CanvasProperty lineJoin(std::string value) { return {Kind::lineJoin, std::move(value), 0}; }
    static CanvasProperty shadowBlur(double value) { return {Kind::shadowBlur, {}, value}; }
    static CanvasProperty shadowColor(std::string value) { return {Kind::shadowColor, std::move(value), 0}; }
    static CanvasProperty shadowOffsetX(double value) { return {Kind::shadowOffsetX, {}, value}; }
    static CanvasProperty shadowOffsetY(double value) { return {Kind::shadowOffsetY, {}, value}; }
    static CanvasProperty font(std::string value) { return {Kind::font, std::move(value), 0}; }
    static CanvasProperty textAlign(std::string value) { return {Kind::textAlign, std::move(value), 0}; }
    static CanvasProperty textBaseline(std::string value) { return {Kind::textBaseline, std::move(value), 0}; }

    // Same case and same value (the payload the case does not carry is ignored).
    bool operator==(const CanvasProperty& other) const;
};

struct CanvasState {
    std::string fillStyle = "#000000";
    std::string strokeStyle = "#000000";
    double lineWidth = 1;
    double globalAlpha = 1;
    std::string lineCap = "butt";
    std::string lineJoin = "miter";
    std::vector<double> lineDash;
    double shadowBlur = 0;
    std::string shadowColor = "rgba(0, 0, 0, 0)";
    double shadowOffsetX = 0;
    double shadowOffsetY = 0;
    std::string font = "10px sans-serif";
    std::string textAlign = "start";
    std::string textBaseline = "alphabetic";
    CanvasMatrix transform;

    // Stores the property when the canvas would accept its value; otherwise nothing changes.
    void apply(const CanvasProperty& property);
    // transform = transform × matrix, when every entry of `matrix` is finite.
    void concatenate(const CanvasMatrix& matrix);
    // transform = matrix, when every entry is finite.
    void setTransform(const CanvasMatrix& matrix);
    // Refuses any NaN, infinite or negative segment; an odd list is repeated once.
    void setLineDash(const std::vector<double>& segments);

    // The state as a JSON object with its fields in declaration order.
    JSONValue jsonValue() const;

    bool operator==(const CanvasState&) const = default;
};

std::size_t hashValue(const CanvasMatrix& matrix);
std::size_t hashValue(const CanvasProperty& property);
std::size_t hashValue(const CanvasState& state);

} // namespace dv

template <>
struct std::hash<dv::CanvasMatrix> {
    std::size_t operator()(const dv::CanvasMatrix& value) const { return dv::hashValue(value); }
};
template <>
struct std::hash<dv::CanvasProperty> {
    std::size_t operator()(const dv::CanvasProperty& value) const { return dv::hashValue(value); }
};
template <>
struct std::hash<dv::CanvasState> {
    std::size_t operator()(const dv::CanvasState& value) const { return dv::hashValue(value); }
};
