#pragma once
// JSON value to text, byte for byte as a browser's JSON.stringify writes it: the same number
// text, string escapes, key order (array-index keys first) and pretty-printing layout.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DVModel/JSONValue.hpp"

namespace dv {

struct JSONWriter {
    // `indent`: absent, zero or negative writes compact text; otherwise spaces per level, at most 10.
    static std::string stringify(const JSONValue& value, std::optional<std::int64_t> indent, bool trailingNewline);
    static std::vector<std::uint8_t> data(const JSONValue& value, std::optional<std::int64_t> indent,
                                          bool trailingNewline);
};

}  // namespace dv
