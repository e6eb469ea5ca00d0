#include "DVIO/detail/ElementArray.hpp"

namespace dv::detail {

JSONValue elementArray(std::span<const Element> elements) {
    JSONValue::Array items;
    items.reserve(elements.size());
    for (const Element& element : elements) items.emplace_back(element.jsonObject());
    return JSONValue(std::move(items));
}

}  // namespace dv::detail
