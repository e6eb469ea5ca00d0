// Reading and changing an element one JSON key at a time, and lenient decoding built on it.

#include "DVModel/Element.hpp"
#include "DVModel/detail/ElementFields.hpp"

namespace dv {

bool Element::setField(std::string_view key, const JSONValue& value) {
    if (key == "type") {
        // A type cannot be changed by key; its own word is accepted and changes nothing.
        const std::string* word = value.stringValue();
        return word != nullptr && *word == toWord(type());
    }
    const detail::KindFields& fields = detail::fieldsOf(type());
    const int position = fields.find(key);
    if (position < 0) {
        extra.set(std::string(key), value);  // notAField
        return true;
    }
    switch (fields.slots[static_cast<std::size_t>(position)]->apply(*this, &value)) {
    case FieldUpdate::applied: extra.remove(key); return true;
    case FieldUpdate::keptInExtra: extra.set(std::string(key), value); return true;
    default: return false;
    }
}

bool Element::removeField(std::string_view key) {
    if (key == "type") return false;
    const detail::KindFields& fields = detail::fieldsOf(type());
    const int position = fields.find(key);
    if (position >= 0 &&
        fields.slots[static_cast<std::size_t>(position)]->apply(*this, nullptr) == FieldUpdate::rejected) {
        return false;  // a required field, "id" among them
    }
    extra.remove(key);
    return true;
}

std::optional<Element> Element::fromLenientJSON(const JSONObject& object) {
    const JSONValue* idValue = object.find("id");
    const JSONValue* typeValue = object.find("type");
    const std::string* id = idValue != nullptr ? idValue->stringValue() : nullptr;
    const std::string* word = typeValue != nullptr ? typeValue->stringValue() : nullptr;
    const auto type = word != nullptr ? fromWord<ElementType>(*word) : std::nullopt;
    if (id == nullptr || !type) return std::nullopt;

    for (std::string_view key : requiredKeys(*type)) {
        if (!object.contains(key)) return std::nullopt;
    }

    // Required fields start at placeholders that the walk below always overwrites.
    Element element;
    element.id = *id;
    element.payload = Payload::empty(*type);
    for (const auto& [key, value] : object) {
        if (key == "id" || key == "type") continue;
        if (!element.setField(key, value)) return std::nullopt;
    }
    return element;
}

std::span<const std::string_view> Element::requiredKeys(ElementType type) {
    return detail::fieldsOf(type).requiredKeys;
}

}  // namespace dv
