// JSONParser::parse on arbitrary bytes. An error's offset lies within the input; a parsed value
// holds only well-formed UTF-8, and the text the writer makes of it (compact, indented by 2 and
// by 10) reads back as the same value once non-finite numbers are taken as null. A parse that
// hands the main list's entries to a consumer fails alike, or gives the same tree with that list
// emptied and the consumer holding its entries.

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

// Keeps the entries of the list that opened last.
class Collector : public JSONListConsumer {
public:
    Collector() : JSONListConsumer("elements") {}
    JSONValue::Array entries;

    void beginList() override { entries.clear(); }
    void takeEntry(JSONValue&& entry) override { entries.push_back(std::move(entry)); }
};

// Where a plain parse holds the main list, or nullptr.
JSONValue* mainList(JSONValue& root) {
    if (root.arrayValue()) return &root;
    JSONObject* object = root.objectValue();
    JSONValue* list = object != nullptr ? object->find("elements") : nullptr;
    return list != nullptr && list->arrayValue() ? list : nullptr;
}

std::string consumedDiffers(std::span<const std::uint8_t> data, const JSONValue* plain, const std::string& plainError) {
    Collector collector;
    JSONValue consumed;
    try {
        consumed = JSONParser::parse(data, collector);
    } catch (const JSONParseError& error) {
        if (plain) return "only the parse with a consumer fails: " + error.description();
        return error.description() == plainError ? std::string() : "the parse with a consumer fails otherwise";
    }
    if (!plain) return "only the parse without a consumer fails: " + plainError;
    JSONValue expected = *plain;
    if (JSONValue* list = mainList(expected)) {
        if (!(*list == JSONValue(collector.entries))) return "the consumer was handed other entries";
        *list = JSONValue(JSONValue::Array());
    }
    return consumed == expected ? std::string() : "the parse with a consumer gives another tree";
}

// A bound on the values held changes nothing until it is passed, and then only stops the parse
// earlier than any fault further on.
std::string boundedDiffers(std::span<const std::uint8_t> data, const JSONValue* plain, const JSONParseError* plainError) {
    constexpr std::int64_t kSmallBound = 16;
    JSONValue bounded;
    try {
        bounded = JSONParser::parse(data, JSONParser::defaultMaxDepth, kSmallBound);
    } catch (const JSONParseError& error) {
        if (error.reason().kind != JSONParseError::Kind::valueLimitExceeded)
            return plainError && *plainError == error ? std::string() : "the bounded parse fails otherwise";
        if (plainError && error.offset() > plainError->offset()) return "the bound is reported past an earlier fault";
        return {};
    }
    if (!plain) return "only the parse without a bound fails";
    return bounded == *plain ? std::string() : "the bounded parse gives another tree";
}

}  // namespace

std::string brokenInvariant(std::span<const std::uint8_t> data) {
    JSONValue value;
    try {
        value = JSONParser::parse(data);
    } catch (const JSONParseError& error) {
        if (error.offset() < 0 || error.offset() > static_cast<std::int64_t>(data.size()))
            return "error offset outside the input: " + error.description();
        if (std::string problem = boundedDiffers(data, nullptr, &error); !problem.empty()) return problem;
        return consumedDiffers(data, nullptr, error.description());
    }
    if (std::string problem = consumedDiffers(data, &value, {}); !problem.empty()) return problem;
    if (std::string problem = boundedDiffers(data, &value, nullptr); !problem.empty()) return problem;
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
