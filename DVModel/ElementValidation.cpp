#include "DVModel/ElementValidation.hpp"

#include "DVModel/JSStringKey.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVModel/detail/ElementFields.hpp"

#include <cstdint>
#include <type_traits>
#include <utility>

namespace dv {

namespace {

// Rules that look at more than one field, once every field has passed on its own.
bool passesElementRules(const Element& element) {
    if (const Element::Stencil* stencil = element.payload.stencil()) {
        // An embedded picture cannot be rotated; +0 and -0 both count as no rotation.
        if (!StencilRegistry::isRotatableStencil(*stencil) && element.rotation && *element.rotation != 0) {
            return false;
        }
    }
    if (const Element::Freehand* freehand = element.payload.freehand()) {
        if (freehand->pressures && freehand->pressures->size() != freehand->points.size()) return false;
    }
    return true;
}

// `Object` is const when the element copies what it keeps, non-const when it takes it.
template <class Object>
std::optional<Element> parseElementObject(Object& object) {
    constexpr bool taking = !std::is_const_v<Object>;
    const JSONValue* typeValue = object.find("type");
    const std::string* word = typeValue != nullptr ? typeValue->stringValue() : nullptr;
    const auto type = word != nullptr ? fromWord<ElementType>(*word) : std::nullopt;
    if (!type) return std::nullopt;

    const detail::KindFields& fields = detail::fieldsOf(*type);
    Element element;
    element.payload = Element::Payload::empty(*type);

    // One pass over the object: keys are unique, so each slot is met at most once, and the keys
    // that are no field of the kind are exactly the ones left for `extra`.
    std::uint64_t seen = 0;
    std::vector<std::size_t> unknown;
    for (std::size_t i = 0; i < object.count(); ++i) {
        const std::string_view key = object.keyAt(i);
        if (key == "type") continue;
        const int position = fields.find(key);
        if (position < 0) {
            unknown.push_back(i);
            continue;
        }
        const detail::FieldSlot& slot = *fields.slots[static_cast<std::size_t>(position)];
        bool valid;
        if constexpr (taking) valid = slot.take(element, object.valueAt(i), slot.bounds);
        else valid = slot.validate(element, object.valueAt(i), slot.bounds);
        if (!valid) return std::nullopt;
        seen |= std::uint64_t{1} << position;
    }
    for (std::size_t i = 0; i < fields.slots.size(); ++i) {
        if (fields.slots[i]->required && (seen & (std::uint64_t{1} << i)) == 0) return std::nullopt;
    }
    if (!passesElementRules(element)) return std::nullopt;

    if (!unknown.empty()) {
        element.extra.reserve(unknown.size());
        for (std::size_t i : unknown) {
            if constexpr (taking) element.extra.set(object.keyAt(i), std::move(object.valueAt(i)));
            else element.extra.set(object.keyAt(i), object.valueAt(i));
        }
    }
    return element;
}

template <class Value>
std::optional<Element> parseElementValue(Value& value) {
    auto* object = value.objectValue();
    if (object == nullptr) return std::nullopt;
    return parseElementObject(*object);
}

}  // namespace

ElementValidation::ElementList::ElementList(std::size_t expected) {
    accepted_.reserve(expected < maxElements ? expected : maxElements);
    ids_.reserve(expected < maxElements ? expected : maxElements);
}

template <class Entry>
void ElementValidation::ElementList::addEntry(Entry& entry) {
    // Past the limit the answer is known; the rest is not worth validating.
    if (++offered_ > maxElements) return;
    auto element = parseElementValue(entry);
    if (!element) return;
    // Only an accepted element claims its id.
    if (!ids_.insert(JSStringKey(element->id)).second) return;
    accepted_.push_back(std::move(*element));
}

void ElementValidation::ElementList::add(const JSONValue& entry) { addEntry(entry); }
void ElementValidation::ElementList::add(JSONValue&& entry) { addEntry(entry); }

std::optional<std::vector<Element>> ElementValidation::ElementList::finish() && {
    if (offered_ > maxElements || (offered_ > 0 && accepted_.empty())) return std::nullopt;
    return std::move(accepted_);
}

std::optional<std::vector<Element>> ElementValidation::validateElements(const JSONValue& value) {
    const JSONValue::Array* entries = value.arrayValue();
    if (entries == nullptr || entries->size() > maxElements) return std::nullopt;
    ElementList list(entries->size());
    for (const JSONValue& entry : *entries) list.add(entry);
    return std::move(list).finish();
}

std::optional<std::vector<Element>> ElementValidation::validateElements(JSONValue&& value) {
    JSONValue::Array* entries = value.arrayValue();
    if (entries == nullptr || entries->size() > maxElements) return std::nullopt;
    ElementList list(entries->size());
    for (JSONValue& entry : *entries) {
        list.add(std::move(entry));
        entry = JSONValue();
    }
    return std::move(list).finish();
}

std::optional<Element> ElementValidation::parseElement(const JSONValue& value) { return parseElementValue(value); }
std::optional<Element> ElementValidation::parseElement(JSONValue&& value) { return parseElementValue(value); }

bool ElementValidation::isValidElement(const JSONValue& value) { return parseElement(value).has_value(); }

std::optional<Viewport> ElementValidation::validateViewport(const JSONValue& value) {
    const JSONObject* object = value.objectValue();
    if (object == nullptr) return std::nullopt;
    const auto offsetX = detail::numberWithin(object->find("offsetX"), -1e7, 1e7);
    const auto offsetY = detail::numberWithin(object->find("offsetY"), -1e7, 1e7);
    const auto zoom = detail::numberWithin(object->find("zoom"), 0.05, 30);
    if (!offsetX || !offsetY || !zoom) return std::nullopt;
    return Viewport{*offsetX, *offsetY, *zoom};
}

bool ElementValidation::isCssColor(const JSONValue& value) {
    const std::string* text = value.stringValue();
    return text != nullptr && CSSColor::isValid(*text);
}

}  // namespace dv
