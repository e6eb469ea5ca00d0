#pragma once
// The JSON array of element objects that board files, clipboard text and share links all carry.

#include <span>

#include "DVModel/Element.hpp"
#include "DVModel/JSONValue.hpp"

namespace dv::detail {

// The elements' JSON objects, in order.
JSONValue elementArray(std::span<const Element> elements);

}  // namespace dv::detail
