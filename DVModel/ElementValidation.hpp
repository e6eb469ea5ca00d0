#pragma once
// The gate through which every element and viewport from outside the process enters the model.
// Strict per element (one bad field drops the element), lenient per array (the others survive).
// Nothing here throws or says why: it answers absent or a shorter list.

#include "DVModel/Element.hpp"
#include "DVModel/JSONValue.hpp"
#include "DVModel/Viewport.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace dv {

struct ElementValidation {
    // Most entries an element array may have.
    static constexpr std::size_t maxElements = 5000;
    // Most points of one polygon or freehand stroke.
    static constexpr std::size_t maxPointsPerElement = 100000;

    // The valid elements of an array in input order, the first of each id kept. Absent for a
    // non-array, an array of more than maxElements entries, or a non-empty array without one
    // valid element.
    static std::optional<std::vector<Element>> validateElements(const JSONValue& value);
    static std::optional<Element> parseElement(const JSONValue& value);
    static bool isValidElement(const JSONValue& value);
    static std::optional<Viewport> validateViewport(const JSONValue& value);
    // A string that CSSColor::isValid accepts.
    static bool isCssColor(const JSONValue& value);
};

}  // namespace dv
