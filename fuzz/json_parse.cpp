// JSONParser::parse on arbitrary bytes. An error's offset lies within the input; a parsed value
// holds only well-formed UTF-8, and the text the writer makes of it (compact, indented by 2 and
// by 10) reads back as the same value once non-finite numbers are taken as null.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"
#include "DVModel/UTF8.hpp"

namespace dv {
namespace {

// What a value becomes after writing and reading back: non-finite numbers are written as null.
// Also checks that every parsed string is well-formed UTF-8.
JSONValue normalised(const JSONValue& value, bool& validText) {
    if (auto number = value.doubleValue()) return std::isfinite(*number) ? value : JSONValue(nullptr);
    if (const std::string* text = value.stringValue()) {
        validText = validText && isValidUTF8(*text);
        return value;
    }
    if (const auto* items = value.arrayValue()) {
        JSONValue::Array out;
        out.reserve(items->size());
        for (const JSONValue& item : *items) out.push_back(normalised(item, validText));
        return JSONValue(std::move(out));
    }
    if (const JSONObject* object = value.objectValue()) {
        JSONObject out;
        for (const auto& [key, member] : *object) {
            validText = validText && isValidUTF8(key);
            out.set(key, normalised(member, validText));
        }
        return JSONValue(std::move(out));
    }
    return value;
}

}  // namespace

std::string brokenInvariant(std::span<const std::uint8_t> data) {
    JSONValue value;
    try {
        value = JSONParser::parse(data);
    } catch (const JSONParseError& error) {
        if (error.offset() < 0 || error.offset() > static_cast<std::int64_t>(data.size()))
            return "error offset outside the input: " + error.description();
        return {};
    }
    bool validText = true;
    JSONValue expected = normalised(value, validText);
    if (!validText) return "a parsed string is not well-formed UTF-8";
    for (std::int64_t indent : {0, 2, 10}) {
        std::string text = JSONWriter::stringify(value, indent, false);
        try {
            if (!(JSONParser::parse(text) == expected)) return "written text reads back as another value";
        } catch (const JSONParseError& error) {
            return "written text does not parse: " + error.description();
        }
    }
    return {};
}

}  // namespace dv

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string problem = dv::brokenInvariant({data, size});
    if (!problem.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
