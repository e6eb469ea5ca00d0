#pragma once
// The writing core shared by the JSON writer and the board file writer.

#include <string>

#include "DVModel/JSONValue.hpp"

namespace dv::detail {

// Appends `value` written at nesting `depth` with `width` spaces per level (0: compact).
void writeJSON(std::string& out, const JSONValue& value, int depth, int width);

}  // namespace dv::detail
