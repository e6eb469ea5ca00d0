#pragma once
// The closed word lists of the board format. Each enumeration's word is exactly what a board
// file stores, so reading a word and writing it back go through the same table. Words match
// byte for byte (and therefore code unit for code unit): no case folding, no trimming.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace dv {

enum class ElementType : std::uint8_t {
    rectangle, ellipse, rhombus, shape, stencil, line, arrow, curve, polygon, freehand, text, image
};
enum class StrokeStyle : std::uint8_t { solid, dashed, dotted };
enum class LineCap : std::uint8_t { round, butt, square };
enum class LineJoin : std::uint8_t { round, miter, bevel };
enum class TextAlign : std::uint8_t { left, center, right };
enum class ArrowHead : std::uint8_t { none, start, end, both };
enum class ArrowHeadStyle : std::uint8_t { open, triangle, triangleFilled, diamond, diamondFilled, circle };
enum class ConnectorRouting : std::uint8_t { straight, elbow };
enum class ShapeKind : std::uint8_t {
    terminator, data, document, database, predefinedProcess, preparation, manualInput, delay
};

// Words<E>::list holds the words of E in declared order (case n has word n).
template <class E> struct Words;

template <> struct Words<ElementType> {
    static constexpr std::array<std::string_view, 12> list{
        "rectangle", "ellipse", "rhombus", "shape", "stencil", "line",
        "arrow", "curve", "polygon", "freehand", "text", "image"};
};
template <> struct Words<StrokeStyle> {
    static constexpr std::array<std::string_view, 3> list{"solid", "dashed", "dotted"};
};
template <> struct Words<LineCap> {
    static constexpr std::array<std::string_view, 3> list{"round", "butt", "square"};
};
template <> struct Words<LineJoin> {
    static constexpr std::array<std::string_view, 3> list{"round", "miter", "bevel"};
};
template <> struct Words<TextAlign> {
    static constexpr std::array<std::string_view, 3> list{"left", "center", "right"};
};
template <> struct Words<ArrowHead> {
    static constexpr std::array<std::string_view, 4> list{"none", "start", "end", "both"};
};
template <> struct Words<ArrowHeadStyle> {
    static constexpr std::array<std::string_view, 6> list{
        "open", "triangle", "triangleFilled", "diamond", "diamondFilled", "circle"};
};
template <> struct Words<ConnectorRouting> {
    static constexpr std::array<std::string_view, 2> list{"straight", "elbow"};
};
template <> struct Words<ShapeKind> {
    static constexpr std::array<std::string_view, 8> list{
        "terminator", "data", "document", "database",
        "predefinedProcess", "preparation", "manualInput", "delay"};
};

// The word a file stores for a case.
template <class E>
constexpr std::string_view toWord(E value) {
    return Words<E>::list[static_cast<std::size_t>(value)];
}

// The case whose word is exactly `word`, or absent.
template <class E>
constexpr std::optional<E> fromWord(std::string_view word) {
    const auto& list = Words<E>::list;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == word) return static_cast<E>(i);
    }
    return std::nullopt;
}

// Every case in declared order.
template <class E>
constexpr auto allCases() {
    std::array<E, Words<E>::list.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = static_cast<E>(i);
    return cases;
}

}  // namespace dv
