#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"

namespace dv {
namespace {

std::string errorOf(std::string_view text, std::int64_t maxDepth = JSONParser::defaultMaxDepth,
                    std::int64_t maxValues = JSONParser::unlimitedValues) {
    try {
        JSONParser::parse(text, maxDepth, maxValues);
    } catch (const JSONParseError& e) {
        return e.what();
    }
    return "(parsed)";
}

std::string nested(int depth, const char* open, const char* inner, const char* close) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += open;
    text += inner;
    for (int i = 0; i < depth; ++i) text += close;
    return text;
}

TEST(JSONParser, ReportsEachErrorWithItsMessageAndOffset) {
    struct Case {
        std::string input;
        const char* message;
    };
    const Case cases[] = {
        {"", "Unexpected end of JSON input at byte 0"},
        {"  \n", "Unexpected end of JSON input at byte 3"},
        {"[1,2", "Unexpected end of JSON input at byte 4"},
        {"[", "Unexpected end of JSON input at byte 1"},
        {"{\"a\"", "Unexpected end of JSON input at byte 4"},
        {"{\"a\":1", "Unexpected end of JSON input at byte 6"},
        {"{\"a\" 1}", "Unexpected character '1' in JSON at byte 5"},
        {"{1:2}", "Unexpected character '1' in JSON at byte 1"},
        {"[1 2]", "Unexpected character '2' in JSON at byte 3"},
        {"[1,]", "Unexpected character ']' in JSON at byte 3"},
        {"{\"a\":1,}", "Unexpected character '}' in JSON at byte 7"},
        {"'", "Unexpected character ''' in JSON at byte 0"},
        {"\xEF\xBB\xBF{}", "Unexpected byte 0xef in JSON at byte 0"},
        {"\x05", "Unexpected byte 0x5 in JSON at byte 0"},
        {"\f1", "Unexpected byte 0xc in JSON at byte 0"},
        {"\xC0\xAF", "Unexpected byte 0xc0 in JSON at byte 0"},
        {"1 2", "Unexpected non-whitespace character after JSON at byte 2"},
        {"01", "Unexpected non-whitespace character after JSON at byte 1"},
        {"truex", "Unexpected non-whitespace character after JSON at byte 4"},
        {"\"\xC3\xA9\" x", "Unexpected non-whitespace character after JSON at byte 5"},
        {"-", "Invalid number in JSON at byte 1"},
        {"-a", "Invalid number in JSON at byte 1"},
        {"1.", "Invalid number in JSON at byte 2"},
        {"1.e5", "Invalid number in JSON at byte 2"},
        {"1e+", "Invalid number in JSON at byte 3"},
        {"1eX", "Invalid number in JSON at byte 2"},
        {"-.5", "Invalid number in JSON at byte 1"},
        {"[1,-.5]", "Invalid number in JSON at byte 4"},
        {".5", "Unexpected character '.' in JSON at byte 0"},
        {"-01", "Unexpected non-whitespace character after JSON at byte 2"},
        {"1.5.5", "Unexpected non-whitespace character after JSON at byte 3"},
        {"[0.1234567890123456789.]", "Unexpected character '.' in JSON at byte 22"},
        {"\"\\x\"", "Bad escaped character in JSON at byte 2"},
        {"\"\\u12G4\"", "Bad Unicode escape in JSON at byte 5"},
        {"\"a\tb\"", "Bad control character in string literal in JSON at byte 2"},
        {"\"a\\n\x1f\"", "Bad control character in string literal in JSON at byte 4"},
        {"\"abc", "Unexpected end of JSON input at byte 4"},
        {"\"a\\nb", "Unexpected end of JSON input at byte 5"},
        {"\"\\", "Unexpected end of JSON input at byte 2"},
        {"\"\\u12", "Unexpected end of JSON input at byte 5"},
        {"tru", "Unexpected end of JSON input at byte 3"},
        {"nxll", "Unexpected character 'x' in JSON at byte 1"},
        {"[truex]", "Unexpected character 'x' in JSON at byte 5"},
        {"[]]", "Unexpected non-whitespace character after JSON at byte 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(errorOf(c.input), c.message);
        // Far from the end of the input, values are read by other roads: the errors stay the same.
        if (std::string_view(c.message).starts_with("Unexpected end")) continue;
        EXPECT_EQ(errorOf(c.input + std::string(64, ' ')), c.message);
    }
}

TEST(JSONParser, ErrorsCompareByReasonPayloadAndOffset) {
    using R = JSONParseError::Reason;
    try {
        JSONParser::parse(std::string_view("{\"a\" 1}"));
        FAIL();
    } catch (const JSONParseError& e) {
        EXPECT_EQ(e, JSONParseError(R::unexpectedByte('1'), 5));
        EXPECT_FALSE(e == JSONParseError(R::unexpectedByte('2'), 5));
        EXPECT_FALSE(e == JSONParseError(R::unexpectedByte('1'), 4));
    }
    EXPECT_EQ(JSONParseError(R::depthLimitExceeded(3), 0).description(), "JSON nested deeper than 3 levels at byte 0");
}

TEST(JSONParser, NestingStopsAtTheDepthLimitWithoutRecursion) {
    EXPECT_EQ(errorOf(nested(512, "[", "", "]")), "(parsed)");
    EXPECT_EQ(errorOf(nested(513, "[", "", "]")), "JSON nested deeper than 512 levels at byte 512");
    EXPECT_EQ(errorOf(nested(512, "{\"a\":", "1", "}")), "(parsed)");
    EXPECT_EQ(errorOf(nested(513, "{\"a\":", "1", "}")), "JSON nested deeper than 512 levels at byte 2560");
    // Far deeper than any call stack would allow: fails at the limit, cleanly.
    EXPECT_EQ(errorOf(std::string(100000, '[')), "JSON nested deeper than 512 levels at byte 512");
    EXPECT_EQ(errorOf(nested(3, "[", "", "]"), 3), "(parsed)");
    EXPECT_EQ(errorOf(nested(4, "[", "", "]"), 3), "JSON nested deeper than 3 levels at byte 3");
    // A limit of zero or below rejects every container, empty ones too, but not scalars.
    EXPECT_EQ(errorOf("[]", 0), "JSON nested deeper than 0 levels at byte 0");
    EXPECT_EQ(errorOf(" {}", -1), "JSON nested deeper than -1 levels at byte 1");
    EXPECT_EQ(JSONParser::parse(std::string_view("7"), 0), JSONValue(7.0));
}

TEST(JSONParser, ValueBoundStopsAtTheValueThatGoesPastIt) {
    struct Case {
        std::string input;
        std::int64_t maxValues;
        const char* message;
    };
    const Case cases[] = {
        {"7", 1, "(parsed)"},
        {"7", 0, "JSON holds more than 0 values at once at byte 1"},
        // Three numbers and the array that closes over them.
        {"[1,2,3]", 4, "(parsed)"},
        {"[1,2,3]", 3, "JSON holds more than 3 values at once at byte 7"},
        {"[1 ,2]", 1, "JSON holds more than 1 values at once at byte 5"},
        {"[[1,2],[3]]", 6, "(parsed)"},
        {"[[1,2],[3]]", 5, "JSON holds more than 5 values at once at byte 11"},
        {"[[],{}]", 3, "(parsed)"},
        {"[[],{}]", 2, "JSON holds more than 2 values at once at byte 7"},
        // A member name counts as soon as it is read.
        {"{\"a\":1}", 3, "(parsed)"},
        {"{\"a\":1}", 2, "JSON holds more than 2 values at once at byte 7"},
        {"{\"a\":1}", 1, "JSON holds more than 1 values at once at byte 6"},
        {"{\"a\":1}", 0, "JSON holds more than 0 values at once at byte 4"},
        {"{\"a\" 1}", 0, "JSON holds more than 0 values at once at byte 4"},
        // Whichever the text meets first is reported.
        {"[1,2,x", 2, "Unexpected character 'x' in JSON at byte 5"},
        {"[1,2,3,x", 2, "JSON holds more than 2 values at once at byte 6"},
        {"[1,]", 1, "Unexpected character ']' in JSON at byte 3"},
        {"[1,2]]", 3, "Unexpected non-whitespace character after JSON at byte 5"},
        {"[1,2]]", 2, "JSON holds more than 2 values at once at byte 5"},
        {"[\"a\\q\",1]", 0, "Bad escaped character in JSON at byte 4"},
        {"{\"a\" 1}", 1, "Unexpected character '1' in JSON at byte 5"},
        {nested(600, "[", "", "]"), 1, "JSON nested deeper than 512 levels at byte 512"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40) + " / " + std::to_string(c.maxValues));
        EXPECT_EQ(errorOf(c.input, JSONParser::defaultMaxDepth, c.maxValues), c.message);
        // An error met before the bound is the one the unbounded parse reports.
        if (!std::string_view(c.message).starts_with("JSON holds")) {
            EXPECT_EQ(errorOf(c.input), c.message);
        }
    }
    try {
        JSONParser::parse(std::string_view("[0]"), JSONParser::defaultMaxDepth, 1);
        FAIL();
    } catch (const JSONParseError& e) {
        EXPECT_EQ(e, JSONParseError(JSONParseError::Reason::valueLimitExceeded(1), 3));
    }
}

TEST(JSONParser, StringsDecodeEscapesAndRepairIllFormedText) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        std::string input;
        std::string text;
    };
    const Case cases[] = {
        {"\"\\uD83D\\uDE00\"", "\xF0\x9F\x98\x80"},
        {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"},
        {"\"\\uD83D\"", fffd},
        {"\"\\uDE00\"", fffd},
        {"\"\\uD83Dx\"", fffd + "x"},
        {"\"\\uD83D\\u0041\"", fffd + "A"},
        {"\"\\uD83D\\uD83D\\uDE00\"", fffd + "\xF0\x9F\x98\x80"},
        {"\"\\uD83D\\n\"", fffd + "\n"},
        {"\"\\u0000\"", std::string(1, '\0')},
        {"\"\\u00e9\\u00C9\"", "\xC3\xA9\xC3\x89"},
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\/\b\f\n\r\t"},
        {"\"\xC0\xAF\"", fffd + fffd},
        {"\"a\xE2\x82\"", "a" + fffd},
        {"\"\xE2\x82x\"", fffd + "x"},
        {"\"\xE2\x82\\n\"", fffd + "\n"},
        {"\"\xED\xA0\x80\"", fffd + fffd + fffd},
        {"\"\xF4\x90\x80\x80\"", fffd + fffd + fffd + fffd},
        {"\"\xFF\"", fffd},
        {"\"0123456789abcdef\xC3\xA9-0123456789\"", "0123456789abcdef\xC3\xA9-0123456789"},
        {"\"0123456\xC3\xA9\"", "0123456\xC3\xA9"},
        {"\"\xC3\xA9\x30\x31\x32\x33\x34\x35\x36\x37\x38\x39\\t\"", "\xC3\xA9" "0123456789\t"},
        {"\"\x7f\"", "\x7f"},
        {"\"\"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(JSONParser::parse(std::string_view(c.input)), JSONValue(c.text));
    }
}

TEST(JSONParser, NumbersAreCorrectlyRoundedAndSaturate) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* input;
        double value;
    };
    const Case cases[] = {
        {"0", 0.0},
        {"-0", -0.0},
        {"-0.0", -0.0},
        {"1E2", 100.0},
        {"1e+2", 100.0},
        {"-1.5e-3", -0.0015},
        {"0.1", 0.1},
        {"123456789012345", 123456789012345.0},
        {"9007199254740993", 9007199254740992.0},
        {"1234567890123456789", 1234567890123456789.0},
        {"1e400", inf},
        {"-1e400", -inf},
        {"1e99999999999999999999", inf},
        {"100000000000000000000000000000000000000e300", inf},
        {"1e-400", 0.0},
        {"-1e-400", -0.0},
        {"0.0000000000000000000000000000001e-300", 0.0},
        {"2.4703282292062328e-324", 5e-324},
        {"2.4703282292062327e-324", 0.0},
        {"1.7976931348623157e308", 1.7976931348623157e308},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        // Alone, and far from the end of the input.
        for (const std::string& text : {std::string(c.input), std::string(c.input) + std::string(64, ' ')}) {
            auto number = JSONParser::parse(text).doubleValue();
            ASSERT_TRUE(number.has_value());
            EXPECT_EQ(*number, c.value);
            EXPECT_EQ(std::signbit(*number), std::signbit(c.value));
        }
    }
}

// Numbers of every length up to nineteen digits, with and without fractions and exponents, and
// integers that lie halfway between two doubles: each reads as the standard library's correctly
// rounded reading of the same text, bit for bit.
TEST(JSONParser, ShortNumbersReadAsTheStandardReadingDoes) {
    std::mt19937_64 rng(31);
    int compared = 0;
    for (int i = 0; i < 200000; ++i) {
        std::string text = rng() % 2 ? "-" : "";
        if (i % 4 == 0) {
            // Halfway between two neighbouring doubles of 2^53 to 2^63, give or take one.
            const int e = 53 + static_cast<int>(rng() % 10);
            const std::uint64_t ulp = std::uint64_t{1} << (e - 52);
            const std::uint64_t base = (std::uint64_t{1} << e) + (rng() % (std::uint64_t{1} << 52)) * ulp;
            text += std::to_string(base + ulp / 2 - 1 + rng() % 3);
        } else {
            const int digits = 1 + static_cast<int>(rng() % 19);
            std::string d;
            for (int k = 0; k < digits; ++k) d += static_cast<char>('0' + rng() % 10);
            if (d.size() > 1 && d[0] == '0') d[0] = '7';
            const std::size_t point = rng() % d.size();
            text += point == 0 ? d : d.substr(0, point) + "." + d.substr(point);
            if (rng() % 3 == 0) text += (rng() % 2 ? "e-" : "E+") + std::to_string(rng() % 40);
        }
        double expected = 0;
        const auto standard = std::from_chars(text.data(), text.data() + text.size(), expected);
        ASSERT_EQ(standard.ec, std::errc()) << text;
        const auto number = JSONParser::parse(text).doubleValue();
        ASSERT_TRUE(number.has_value()) << text;
        ASSERT_EQ(std::memcmp(&*number, &expected, sizeof expected), 0) << text;
        // Inside a list and far from the end of the input.
        const JSONValue listed = JSONParser::parse("[" + text + "," + text + "]" + std::string(64, ' '));
        for (const JSONValue& item : *listed.arrayValue()) {
            const double read = item.doubleValue().value_or(0);
            ASSERT_EQ(std::memcmp(&read, &expected, sizeof expected), 0) << text;
        }
        ++compared;
    }
    EXPECT_EQ(compared, 200000);
}

TEST(JSONParser, BuildsValuesInInputOrderAndRepeatedKeysKeepTheirFirstPlace) {
    JSONValue value = JSONParser::parse(std::string_view(" \t\n\r{\"a\":1,\"b\":0,\"a\":2, \"c\" : [true,false,null,\"s\",{}, []]} \r\n"));
    const JSONObject* object = value.objectValue();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->keys(), (std::vector<std::string>{"a", "b", "c"}));
    JSONObject expected;
    expected.set("a", JSONValue(2.0));
    expected.set("b", JSONValue(0.0));
    expected.set("c", JSONValue(JSONValue::Array{JSONValue(true), JSONValue(false), JSONValue(nullptr),
                                                        JSONValue(std::string("s")), JSONValue(JSONObject()),
                                                        JSONValue(JSONValue::Array())}));
    EXPECT_EQ(value, JSONValue(expected));

    // A key holding NUL is its own key.
    JSONValue nul = JSONParser::parse(std::string_view("{\"a\\u0000\":1,\"a\":2}"));
    EXPECT_EQ(nul.objectValue()->count(), 2u);
}

TEST(JSONParser, ByteInputIsParsedAsGiven) {
    const std::uint8_t bytes[] = {'[', '1', ']'};
    EXPECT_EQ(JSONParser::parse(std::span<const std::uint8_t>(bytes)), JSONValue(JSONValue::Array{JSONValue(1.0)}));
    const std::uint8_t bom[] = {0xEF, 0xBB, 0xBF, '1'};
    EXPECT_THROW(JSONParser::parse(std::span<const std::uint8_t>(bom)), JSONParseError);
}

// Writes down what it is handed: "begin" for each list that opens, each entry as JSON text.
class RecordingConsumer : public JSONListConsumer {
public:
    RecordingConsumer() : JSONListConsumer("elements") {}
    std::vector<std::string> events;

    void beginList() override { events.push_back("begin"); }
    void takeEntry(JSONValue&& entry) override {
        events.push_back(JSONWriter::stringify(entry, std::nullopt, false));
        // A consumer may parse other documents meanwhile; the outer parse must not notice.
        EXPECT_EQ(JSONParser::parse(std::string_view("[[1],{\"elements\":[2]}]")).arrayValue()->size(), 2u);
    }
};

JSONValue parseConsumed(std::string_view text, JSONListConsumer& consumer,
                        std::int64_t maxValues = JSONParser::unlimitedValues) {
    return JSONParser::parse(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), consumer,
                             JSONParser::defaultMaxDepth, maxValues);
}

TEST(JSONParser, MainListEntriesGoToTheConsumerAsTheyComplete) {
    struct Case {
        std::string input;
        std::vector<std::string> events;
        std::string tree;  // what the parse returns, as JSON text
    };
    using E = std::vector<std::string>;
    const Case cases[] = {
        {"[1,[2,[]],{\"a\":3}]", E{"begin", "1", "[2,[]]", "{\"a\":3}"}, "[]"},
        {" [ ] ", E{"begin"}, "[]"},
        {"{\"v\":[0],\"elements\":[\"s\",{}],\"x\":[3]}", E{"begin", "\"s\"", "{}"},
         "{\"v\":[0],\"elements\":[],\"x\":[3]}"},
        // A repeated member: each of its lists opens anew.
        {"{\"elements\":[1],\"elements\":[],\"elements\":[2]}", E{"begin", "1", "begin", "begin", "2"},
         "{\"elements\":[]}"},
        {"{\"el\\u0065ments\":[true]}", E{"begin", "true"}, "{\"elements\":[]}"},
        // Lists deeper down, other keys and other kinds of value are left alone.
        {"{\"a\":{\"elements\":[1]},\"Elements\":[2],\"elements\":{\"b\":[3]}}", E{},
         "{\"a\":{\"elements\":[1]},\"Elements\":[2],\"elements\":{\"b\":[3]}}"},
        {"[{\"elements\":[1]}]", E{"begin", "{\"elements\":[1]}"}, "[]"},
        {"\"elements\"", E{}, "\"elements\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        RecordingConsumer consumer;
        const JSONValue tree = parseConsumed(c.input, consumer);
        EXPECT_EQ(consumer.events, c.events);
        EXPECT_EQ(JSONWriter::stringify(tree, std::nullopt, false), c.tree);
    }
}

TEST(JSONParser, ConsumerDoesNotChangeErrors) {
    const std::string inputs[] = {"[1,2", "{\"elements\":[1,]}", "{\"elements\":[{\"a\":1}] x", "[1]]",
                                  nested(600, "[", "", "]"), "{\"elements\":" + nested(600, "[", "", "]") + "}",
                                  "[\"\\q\"]", "{\"elements\":[1e, 2]}"};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input.substr(0, 40));
        RecordingConsumer consumer;
        std::string error = "(parsed)";
        try {
            parseConsumed(input, consumer);
        } catch (const JSONParseError& e) {
            error = e.what();
        }
        EXPECT_NE(error, "(parsed)");
        EXPECT_EQ(error, errorOf(input));
    }
}

TEST(JSONParser, EntriesHandedToTheConsumerNoLongerCountAgainstTheBound) {
    std::string list = "{\"a\":1}";
    std::string zeros = "[0";
    for (int i = 1; i < 1000; ++i) {
        list += ",{\"a\":1}";
        zeros += ",0";
    }
    zeros += "]";
    const std::string board = "{\"elements\":[" + list + "]}";
    struct Case {
        std::string input;
        std::int64_t maxValues;
        std::size_t entries;  // handed to the consumer when the parse succeeds
        const char* message;
    };
    const Case cases[] = {
        // At most the list's name and one entry's name, number and object are held at once.
        {board, 4, 1000, "(parsed)"},
        {board, 3, 0, "JSON holds more than 3 values at once at byte 20"},
        {zeros, 1, 1000, "(parsed)"},
        {zeros, 0, 0, "JSON holds more than 0 values at once at byte 2"},
        // A list other than the main one keeps its entries.
        {"{\"other\":" + zeros + "}", 100, 0, "JSON holds more than 100 values at once at byte 209"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40) + " / " + std::to_string(c.maxValues));
        RecordingConsumer consumer;
        std::string error = "(parsed)";
        try {
            parseConsumed(c.input, consumer, c.maxValues);
        } catch (const JSONParseError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.message);
        if (error == "(parsed)") {
            EXPECT_EQ(consumer.events.size(), c.entries + 1);
        }
    }
    // Parsed without a consumer, the whole list is held: the second entry's name goes past.
    EXPECT_EQ(errorOf(board, JSONParser::defaultMaxDepth, 4), "JSON holds more than 4 values at once at byte 25");
}

}  // namespace
}  // namespace dv
