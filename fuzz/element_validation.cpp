// Element validation on arbitrary JSON. Bytes that parse are taken as an element array (an object
// is also tried as a single element and, with an "elements" member, as a board's array). The
// array check agrees with the per-element check and with validation that takes from the array,
// and every accepted element written as JSON passes the gate again and reads back identical.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "fuzz/support/Invariant.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVModel/ElementValidation.hpp"

using dv::fuzz::broken;

namespace {

void checkElement(const dv::JSONValue& value) {
    std::optional<dv::Element> element = dv::ElementValidation::parseElement(value);
    if (element.has_value() != dv::ElementValidation::isValidElement(value))
        broken("parseElement and isValidElement disagree");
    if (!element) return;
    dv::JSONValue written = element->jsonValue();
    std::optional<dv::Element> again = dv::ElementValidation::parseElement(written);
    if (!again) broken("an accepted element, written as JSON, is refused");
    if (!again->isIdentical(*element)) broken("an accepted element reads back different");
}

void checkArray(const dv::JSONValue& value) {
    std::optional<std::vector<dv::Element>> elements = dv::ElementValidation::validateElements(value);
    std::optional<std::vector<dv::Element>> taken = dv::ElementValidation::validateElements(dv::JSONValue(value));
    if (taken.has_value() != elements.has_value() ||
        (elements && !dv::elementsAreIdentical(*elements, *taken)))
        broken("validation that takes from the array gives other elements");
    const auto* items = value.arrayValue();
    if (!items) {
        if (elements) broken("a non-array gave elements");
        return;
    }
    std::size_t valid = 0;
    if (items->size() <= dv::ElementValidation::maxElements) {
        for (const dv::JSONValue& item : *items) {
            checkElement(item);
            if (dv::ElementValidation::isValidElement(item)) ++valid;
        }
    }
    if (!elements) {
        if (items->size() <= dv::ElementValidation::maxElements && (items->empty() || valid > 0))
            broken("an array with valid entries gave no elements");
        return;
    }
    if (elements->size() > valid) broken("more elements than valid entries");
    for (const dv::Element& element : *elements) {
        std::optional<dv::Element> again = dv::ElementValidation::parseElement(element.jsonValue());
        if (!again || !again->isIdentical(element)) broken("a validated element does not read back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dv::JSONValue value;
    try {
        value = dv::JSONParser::parse(std::span<const std::uint8_t>(data, size));
    } catch (const dv::JSONParseError&) {
        return 0;
    }
    checkArray(value);
    if (const dv::JSONObject* object = value.objectValue()) {
        checkElement(value);
        if (const dv::JSONValue* elements = object->find("elements")) checkArray(*elements);
        (void)dv::ElementValidation::validateViewport(value);
    }
    return 0;
}
