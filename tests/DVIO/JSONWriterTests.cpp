#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"

namespace dv {
namespace {

using Array = JSONValue::Array;

std::string compact(const JSONValue& value) { return JSONWriter::stringify(value, std::nullopt, false); }

JSONValue object(std::initializer_list<std::pair<const char*, JSONValue>> pairs) {
    JSONObject o;
    for (const auto& [key, value] : pairs) o.set(key, value);
    return JSONValue(std::move(o));
}

TEST(JSONWriter, WritesArrayIndexKeysFirstThenInsertionOrder) {
    EXPECT_EQ(compact(object({{"b", JSONValue(1.0)}, {"10", JSONValue(2.0)}, {"a", JSONValue(3.0)}, {"2", JSONValue(4.0)}})),
              "{\"2\":4,\"10\":2,\"b\":1,\"a\":3}");
    struct Case {
        const char* key;
        bool isIndex;
    };
    const Case cases[] = {
        {"0", true},        {"7", true},       {"4294967294", true}, {"4294967295", false}, {"007", false},
        {"-1", false},      {"1.5", false},    {"", false},          {"12345678901", false}, {"1a", false},
        {"\xD9\xA1", false},  // an Arabic-Indic digit is no ASCII digit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        std::string text = compact(object({{"z", JSONValue(1.0)}, {c.key, JSONValue(2.0)}}));
        std::string keyFirst = "{\"" + std::string(c.key) + "\":2,\"z\":1}";
        std::string keySecond = "{\"z\":1,\"" + std::string(c.key) + "\":2}";
        EXPECT_EQ(text, c.isIndex ? keyFirst : keySecond);
    }
}

TEST(JSONWriter, IndentsLikeTheBrowserAndClampsTheWidth) {
    JSONValue mixed(Array{JSONValue(1.0), JSONValue(Array{}), JSONValue(JSONObject())});
    EXPECT_EQ(JSONWriter::stringify(mixed, 2, false), "[\n  1,\n  [],\n  {}\n]");
    JSONValue nestedValue = object({{"a", JSONValue(Array{JSONValue(1.0)})}, {"b", JSONValue(true)}});
    EXPECT_EQ(JSONWriter::stringify(nestedValue, 2, false), "{\n  \"a\": [\n    1\n  ],\n  \"b\": true\n}");
    EXPECT_EQ(JSONWriter::stringify(nestedValue, std::nullopt, false), "{\"a\":[1],\"b\":true}");
    EXPECT_EQ(JSONWriter::stringify(nestedValue, 20, false), JSONWriter::stringify(nestedValue, 10, false));
    EXPECT_EQ(JSONWriter::stringify(nestedValue, 10, false).substr(0, 14), "{\n          \"a");
    EXPECT_EQ(JSONWriter::stringify(nestedValue, -3, false), compact(nestedValue));
    EXPECT_EQ(JSONWriter::stringify(nestedValue, 0, false), compact(nestedValue));
}

TEST(JSONWriter, EscapesOnlyQuotesBackslashesAndControlBytes) {
    struct Case {
        std::string text;
        const char* written;
    };
    const Case cases[] = {
        {std::string("\t\0\"", 3), "\"\\t\\u0000\\\"\""},
        {"\x1f\x01\x0b", "\"\\u001f\\u0001\\u000b\""},
        {"\b\f\n\r\\", "\"\\b\\f\\n\\r\\\\\""},
        {"a/b\x7f", "\"a/b\x7f\""},
        {"\xE2\x80\xA8\xE2\x80\xA9", "\"\xE2\x80\xA8\xE2\x80\xA9\""},
        {"plain text", "\"plain text\""},
        {"", "\"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        EXPECT_EQ(compact(JSONValue(c.text)), c.written);
    }
}

TEST(JSONWriter, WritesNumbersAsJavaScriptDoes) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        const char* written;
    };
    const Case cases[] = {
        {std::nan(""), "null"}, {inf, "null"},     {-inf, "null"},  {-0.0, "0"},
        {16, "16"},             {12.5, "12.5"},    {1e21, "1e+21"}, {1e-7, "1e-7"},
        {1.23e20, "123000000000000000000"},        {0.1, "0.1"},    {-2.5, "-2.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        EXPECT_EQ(compact(JSONValue(c.value)), c.written);
    }
    EXPECT_EQ(compact(JSONValue(Array{JSONValue(true), JSONValue(false), JSONValue(nullptr)})), "[true,false,null]");
}

TEST(JSONWriter, TrailingNewlineAndBytesForm) {
    JSONValue value = object({{"a", JSONValue(1.0)}});
    EXPECT_EQ(JSONWriter::stringify(value, 2, true), "{\n  \"a\": 1\n}\n");
    EXPECT_EQ(JSONWriter::stringify(JSONValue(Array{}), std::nullopt, true), "[]\n");
    std::string text = JSONWriter::stringify(value, std::nullopt, true);
    std::vector<std::uint8_t> bytes = JSONWriter::data(value, std::nullopt, true);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
}

TEST(JSONWriter, ParsedTextWritesBackTheSame) {
    const char* texts[] = {
        "{\"2\":[1,-2.5,1e+21,\"\\u0000\\n\"],\"b\":{\"x\":null,\"y\":[true,false]},\"a\":\"\xF0\x9F\x98\x80\"}",
        "[[],{},[[[]]],0,\"\\\"\"]",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(compact(JSONParser::parse(std::string_view(text))), text);
    }
}

}  // namespace
}  // namespace dv
