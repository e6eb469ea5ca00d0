#include "DVIO/ElementClipboard.hpp"

#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"
#include "DVIO/detail/ElementArray.hpp"
#include "DVModel/ElementValidation.hpp"

namespace dv {

std::string serializeElementClipboard(std::span<const Element> elements) {
    JSONObject object;
    object.set("version", JSONValue(1.0));
    object.set("elements", detail::elementArray(elements));
    return JSONWriter::stringify(JSONValue(std::move(object)), std::nullopt, false);
}

std::string elementClipboardText(std::span<const Element> elements) {
    return std::string(elementClipboardTextPrefix) + serializeElementClipboard(elements);
}

std::optional<std::vector<Element>> decodeElementClipboard(std::string_view json) {
    if (json.empty()) return std::nullopt;
    JSONValue value;
    try {
        value = JSONParser::parse(json);
    } catch (const JSONParseError&) {
        return std::nullopt;
    }
    JSONObject* object = value.objectValue();
    if (!object) return std::nullopt;
    const JSONValue* version = object->find("version");
    if (!version || !(*version == JSONValue(1.0))) return std::nullopt;
    JSONValue* elements = object->find("elements");
    auto list = ElementValidation::validateElements(elements ? std::move(*elements) : JSONValue(nullptr));
    if (!list || list->empty()) return std::nullopt;
    return list;
}

std::optional<std::vector<Element>> decodeElementClipboardText(std::string_view text) {
    if (!text.starts_with(elementClipboardTextPrefix)) return std::nullopt;
    return decodeElementClipboard(text.substr(elementClipboardTextPrefix.size()));
}

std::optional<std::vector<Element>> decodeElementClipboard(std::optional<std::string_view> custom,
                                                           std::optional<std::string_view> text) {
    if (custom && !custom->empty()) return decodeElementClipboard(*custom);
    if (text) return decodeElementClipboardText(*text);
    return std::nullopt;
}

}  // namespace dv
