#pragma once
// The gate through which every element and viewport from outside the process enters the model.
// Strict per element (one bad field drops the element), lenient per array (the others survive).
// Nothing here throws or says why: it answers absent or a shorter list.

#include "DVModel/Element.hpp"
#include "DVModel/JSONValue.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVModel/Viewport.hpp"

#include <cstddef>
#include <optional>
#include <unordered_set>
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
    // The same result, taking the texts and extra values out of `value` and dropping each entry's
    // JSON as soon as it has been looked at, so that the tree shrinks while the elements grow.
    static std::optional<std::vector<Element>> validateElements(JSONValue&& value);
    static std::optional<Element> parseElement(const JSONValue& value);
    // parseElement, taking from `value` (left unspecified).
    static std::optional<Element> parseElement(JSONValue&& value);
    static bool isValidElement(const JSONValue& value);
    static std::optional<Viewport> validateViewport(const JSONValue& value);
    // A string that CSSColor::isValid accepts.
    static bool isCssColor(const JSONValue& value);

    class ElementList;
};

// validateElements one entry at a time, for a reader that meets the entries one by one: offering
// the entries of an array in order, then calling `finish`, gives what validateElements gives for
// that array.
class ElementValidation::ElementList {
public:
    // `expected` entries, when known, size the list up front.
    explicit ElementList(std::size_t expected = 0);

    void add(const JSONValue& entry);
    // Takes from `entry`, which is left unspecified.
    void add(JSONValue&& entry);
    // How many entries were offered.
    std::size_t offered() const noexcept { return offered_; }
    // The entries accepted so far, in order.
    const std::vector<Element>& accepted() const noexcept { return accepted_; }
    std::optional<std::vector<Element>> finish() &&;

private:
    template <class Entry>
    void addEntry(Entry& entry);

    std::size_t offered_ = 0;
    std::vector<Element> accepted_;
    // Keyed per process, so ids built to collide cannot slow the look-ups down.
    std::unordered_set<JSStringKey> ids_;
};

}  // namespace dv
