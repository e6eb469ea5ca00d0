#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "DVIO/BoardFile.hpp"
#include "DVIO/JSONParser.hpp"
#include "tests/support/PointBudgetBoards.hpp"

namespace dv {
namespace {

using Warning = DrevalinReadWarning;
using Shape = DrevalinFileShape;
using Semantics = DrevalinReaderSemantics;

std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string rect(const std::string& id) {
    return "{\"id\":\"" + id +
           "\",\"type\":\"rectangle\",\"x\":10,\"y\":20,\"width\":100,\"height\":50,\"strokeColor\":\"#1e1e1e\","
           "\"fillColor\":\"#ffffff\",\"strokeWidth\":2,\"opacity\":1,\"roughness\":1,\"label\":\"Start\"}";
}

std::string readError(const std::string& text) {
    try {
        readDrevalinFile(bytes(text));
    } catch (const DrevalinFileError& error) {
        return error.what();
    }
    return "(read)";
}

std::string repeated(const std::string& entry, int count) {
    std::string out = "[";
    for (int i = 0; i < count; ++i) out += (i ? "," : "") + entry;
    return out + "]";
}

std::string written(const DrevalinDocumentData& document) {
    std::vector<std::uint8_t> data = writeDrevalinFile(document);
    return std::string(data.begin(), data.end());
}

std::vector<std::string> topLevelKeys(const std::string& text) {
    return JSONParser::parse(text).objectValue()->keys();
}

TEST(BoardFile, ErrorsHaveTheirMessagesAndAreDecidedInOrder) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"", "The file is not valid JSON: Unexpected end of JSON input at byte 0"},
        {"not json", "The file is not valid JSON: Unexpected character 'o' in JSON at byte 1"},
        {bom + "[1,", "The file is not valid JSON: Unexpected end of JSON input at byte 3"},
        {bom + bom + "[]", "The file is not valid JSON: Unexpected byte 0xef in JSON at byte 0"},
        {"null", "The file is not a Drevalin document."},
        {"42", "The file is not a Drevalin document."},
        {"\"board\"", "The file is not a Drevalin document."},
        {"{}", "The file has no elements."},
        {"{\"version\":1,\"viewport\":{\"offsetX\":0,\"offsetY\":0,\"zoom\":1}}", "The file has no elements."},
        {"{\"elements\":\"[]\"}", "The file's elements are not a list."},
        {"{\"version\":\"x\",\"cloud\":1,\"elements\":{}}", "The file's elements are not a list."},
        {repeated("0", 5001), "The file has 5001 elements; at most 5000 are supported."},
        {"{\"elements\":" + repeated(rect("a"), 5001) + "}", "The file has 5001 elements; at most 5000 are supported."},
        {"[1,\"a\",null]", "None of the file's 3 elements is valid."},
        {"{\"elements\":[{\"id\":\"a\"}]}", "None of the file's 1 elements is valid."},
        // A member named twice keeps its last value, which alone is read.
        {"{\"elements\":[" + rect("a") + "],\"elements\":[{\"id\":\"b\"}]}", "None of the file's 1 elements is valid."},
        {"{\"elements\":[" + rect("a") + "],\"elements\":7}", "The file's elements are not a list."},
        {"{\"elements\":" + repeated(rect("a"), 5001) + ",\"elements\":" + repeated("0", 5001) + "}",
         "The file has 5001 elements; at most 5000 are supported."},
        {"{\"elements\":[]} [", "The file is not valid JSON: Unexpected non-whitespace character after JSON at byte 16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        EXPECT_EQ(readError(c.text), c.message);
    }

    try {
        readDrevalinFile(bytes("[1,"));
        FAIL();
    } catch (const DrevalinFileError& error) {
        EXPECT_EQ(error.kind(), DrevalinFileError::Kind::invalidJSON);
        ASSERT_TRUE(error.parseError().has_value());
        EXPECT_EQ(*error.parseError(), JSONParseError(JSONParseError::Reason::of(JSONParseError::Kind::unexpectedEndOfInput), 3));
        EXPECT_EQ(error, DrevalinFileError::invalidJSON(*error.parseError()));
    }
    EXPECT_EQ(DrevalinFileError::tooManyElements(5001).count(), 5001);
    EXPECT_FALSE(DrevalinFileError::noValidElements(3) == DrevalinFileError::noValidElements(4));
}

TEST(BoardFile, AFileHoldingTooManyValuesAtOnceIsTooLargeToRead) {
    auto zeroList = [](std::int64_t count) {
        std::string text(static_cast<std::size_t>(2 * count + 1), '0');
        for (std::size_t i = 0; i < text.size(); i += 2) text[i] = ',';
        text.front() = '[';
        text.back() = ']';
        return text;
    };
    const std::string zeros = zeroList(kDrevalinReadValueLimit);
    const std::string box = rect("a");
    const std::string boxWithExtra = box.substr(0, box.size() - 1) + ",\"extra\":" + zeros + "}";
    const std::string head = "{\"version\":1,\"elements\":[" + box + "],\"extra\":";
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"{\"version\":1,\"elements\":[" + boxWithExtra + "]}", "The file is too large to read."},
        {head + zeros + "}", "The file is too large to read."},
        // A fault in the text before the bound is reached is reported as it always was.
        {head + "[0,x," + zeros.substr(1) + "}",
         "The file is not valid JSON: Unexpected character 'x' in JSON at byte " + std::to_string(head.size() + 3)},
        // Entries of the element list are given back once looked at: far more values in all
        // than the bound, each entry small.
        {"[" + box + "," + repeated(zeroList(900), 4999).substr(1), "(read)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        EXPECT_EQ(readError(c.text), c.message);
    }
}

TEST(BoardFile, AFileWhoseElementsHoldTooManyPointsIsTooLargeToRead) {
    using test::pointStroke;
    using test::strokesHolding;
    const std::int64_t budget = test::kREADMEPointNumberBudget;
    const std::string polygon =
        "{\"id\":\"p\",\"type\":\"polygon\",\"x\":0,\"y\":0,\"strokeColor\":\"#1e1e1e\","
        "\"fillColor\":\"transparent\",\"strokeWidth\":2,\"opacity\":1,\"roughness\":1,"
        "\"closed\":true,\"points\":[[3,1],[4,1]]}";
    // Each board is some 50 MB of text, made only when its turn comes.
    struct Case {
        const char* what;
        std::function<std::string()> entries;
        std::string message;
    };
    const Case cases[] = {
        // Two numbers a point and one a pressure.
        {"at the budget, with pressures",
         [&] { return strokesHolding(budget - 6) + "," + pointStroke("w", 2, true); }, "(read)"},
        {"one number past it", [&] { return strokesHolding(budget - 8) + "," + pointStroke("w", 3, true); },
         "The file is too large to read."},
        {"past it by a polygon", [&] { return strokesHolding(budget - 2) + "," + polygon; },
         "The file is too large to read."},
        // Elements let go as soon as they are read hold nothing: one that fails a rule, and one
        // that repeats the id of an element kept.
        {"at the budget, with strokes dropped",
         [&] {
             return pointStroke("bad", 100'000, false, ",\"rotation\":7") + "," + strokesHolding(budget) + "," +
                    pointStroke("f0", 100'000);
         },
         "(read)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(readError(test::boardOf(c.entries())), c.message);
    }
}

TEST(BoardFile, ShapeSemanticsAndVersion) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::int64_t maxVersion = std::numeric_limits<std::int64_t>::max();
    struct Case {
        std::string text;
        Shape shape;
        Semantics semantics;
        bool newer;
        std::int64_t version;
        std::vector<Warning> warnings;
    };
    auto versioned = [](const std::string& version) { return "{\"version\":" + version + ",\"elements\":[]}"; };
    const Case cases[] = {
        {"[]", Shape::bareArray, Semantics::mcp, false, 1, {}},
        {" [ ] ", Shape::bareArray, Semantics::mcp, false, 1, {}},
        {"{\"elements\":[]}", Shape::elementsOnly, Semantics::mcp, false, 1, {}},
        {versioned("1"), Shape::versioned, Semantics::web, false, 1, {}},
        {versioned("1.0"), Shape::versioned, Semantics::web, false, 1, {}},
        {versioned("2"), Shape::versioned, Semantics::web, true, 2, {{Warning::NewerVersion{2}}}},
        {versioned("9.1e18"), Shape::versioned, Semantics::web, true, maxVersion, {{Warning::NewerVersion{9.1e18}}}},
        {versioned("9e18"), Shape::versioned, Semantics::web, true, maxVersion, {{Warning::NewerVersion{9e18}}}},
        {versioned("8999999999999998976"), Shape::versioned, Semantics::web, true, 8999999999999998976,
         {{Warning::NewerVersion{8999999999999998976.0}}}},
        {versioned("0"), Shape::versioned, Semantics::mcp, false, 1, {{Warning::InvalidVersion{JSONValue(0)}}}},
        {versioned("-3"), Shape::versioned, Semantics::mcp, false, 1, {{Warning::InvalidVersion{JSONValue(-3)}}}},
        {versioned("\"1\""), Shape::versioned, Semantics::mcp, false, 1, {{Warning::InvalidVersion{JSONValue("1")}}}},
        {versioned("null"), Shape::versioned, Semantics::mcp, false, 1, {{Warning::InvalidVersion{JSONValue()}}}},
        {versioned("1.5"), Shape::versioned, Semantics::mcp, true, 1, {{Warning::InvalidVersion{JSONValue(1.5)}}}},
        {versioned("0.5"), Shape::versioned, Semantics::mcp, false, 1, {{Warning::InvalidVersion{JSONValue(0.5)}}}},
        {versioned("1e400"), Shape::versioned, Semantics::mcp, true, 1, {{Warning::InvalidVersion{JSONValue(inf)}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DrevalinReadResult result = readDrevalinFile(bytes(c.text));
        EXPECT_EQ(result.shape, c.shape);
        EXPECT_EQ(result.semantics, c.semantics);
        EXPECT_EQ(result.isNewerVersion, c.newer);
        EXPECT_EQ(result.document.version, c.version);
        EXPECT_EQ(result.warnings, c.warnings);
        EXPECT_TRUE(result.document.elements.empty());
    }
}

TEST(BoardFile, WarningsComeInTheirOrderAndValidElementsSurvive) {
    const std::string text = "{\"cloud\":null,\"elements\":[" + rect("a") + ",{\"id\":\"b\"}," + rect("c") + "," +
                             rect("a") + "],\"viewport\":{\"offsetX\":0,\"offsetY\":0,\"zoom\":99},\"version\":2}";
    DrevalinReadResult result = readDrevalinFile(bytes(text));
    const std::vector<Warning> expected = {{Warning::NewerVersion{2}},
                                           {Warning::InvalidViewport{}},
                                           {Warning::InvalidCloud{}},
                                           {Warning::DroppedElements{2}}};
    EXPECT_EQ(result.warnings, expected);
    ASSERT_EQ(result.document.elements.size(), 2u);
    EXPECT_EQ(result.document.elements[0].id, "a");
    EXPECT_EQ(result.document.elements[1].id, "c");
    EXPECT_FALSE(result.document.viewport.has_value());
    // The unreadable cloud value is kept for writing back; the invalid viewport is not.
    EXPECT_EQ(result.document.extraTopLevel.keys(), std::vector<std::string>{"cloud"});

    std::string bareText = "[";
    bareText.append(rect("a")).append(",7,").append(rect("b")).append("]");
    DrevalinReadResult bare = readDrevalinFile(bytes(bareText));
    EXPECT_EQ(bare.warnings, std::vector<Warning>{{Warning::DroppedElements{1}}});
    EXPECT_EQ(bare.document.elements.size(), 2u);

    // A byte-order mark changes nothing.
    EXPECT_EQ(readDrevalinFile(bytes("\xEF\xBB\xBF" + text)), result);
}

// Only the top level's last "elements" member (or the top-level array) holds the elements; lists
// of that name deeper down are extra data of whatever holds them.
TEST(BoardFile, TheLastElementsListIsTheOneRead) {
    struct Case {
        std::string text;
        std::vector<std::string> ids;
        std::int64_t dropped;
    };
    const Case cases[] = {
        {"{\"elements\":[" + rect("a") + "],\"elements\":[]}", {}, 0},
        {"{\"elements\":[],\"elements\":[" + rect("b") + ",1]}", {"b"}, 1},
        {"{\"elements\":[" + rect("a") + "],\"x\":{\"elements\":[" + rect("c") + "]},\"elements\":[" + rect("b") + "]}",
         {"b"}, 0},
        {"{\"elements\":7,\"elements\":[" + rect("b") + "," + rect("b") + "]}", {"b"}, 1},
        {"[" + rect("a") + ",{\"elements\":[" + rect("b") + "]}]", {"a"}, 1},
        {"{\"elements\":[" + rect("a") + ",{\"id\":\"d\",\"type\":\"rectangle\",\"elements\":[" + rect("b") + "]}]}",
         {"a"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 100));
        DrevalinReadResult result = readDrevalinFile(bytes(c.text));
        std::vector<std::string> ids;
        for (const Element& element : result.document.elements) ids.push_back(element.id);
        EXPECT_EQ(ids, c.ids);
        std::vector<Warning> warnings;
        if (c.dropped) warnings.push_back({Warning::DroppedElements{c.dropped}});
        EXPECT_EQ(result.warnings, warnings);
    }

    // Extra keys of an element survive the read, nested lists included.
    const std::string withExtra = rect("a").substr(0, rect("a").size() - 1) + ",\"elements\":[1,{\"k\":\"v\"}]}";
    DrevalinReadResult read = readDrevalinFile(bytes("[" + withExtra + "]"));
    ASSERT_EQ(read.document.elements.size(), 1u);
    EXPECT_EQ(read.document.elements[0].extra,
              *JSONParser::parse(std::string_view("{\"elements\":[1,{\"k\":\"v\"}]}")).objectValue());
}

TEST(BoardFile, ReadsTheViewportAndTheCloudLink) {
    const std::string text = "{\"version\":1,\"viewport\":{\"offsetX\":-5,\"offsetY\":7.5,\"zoom\":2,\"extra\":1},"
                             "\"elements\":[],\"cloud\":{\"boardId\":\"abcdefghijkl\",\"syncedVersion\":3}}";
    DrevalinReadResult result = readDrevalinFile(bytes(text));
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(result.document.viewport, (Viewport{-5, 7.5, 2}));
    ASSERT_TRUE(result.document.cloud.has_value());
    EXPECT_EQ(result.document.cloud->boardId, "abcdefghijkl");
    EXPECT_EQ(result.document.cloud->syncedVersion, 3);
    EXPECT_TRUE(result.document.extraTopLevel.isEmpty());
}

TEST(BoardFile, WritingKeepsExtraKeysAndAnUnreadableCloudInPlace) {
    const std::string text = "{\"version\":1,\"a\":1,\"elements\":[" + rect("r") +
                             "],\"cloud\":{\"boardId\":\"short\",\"x\":[1]},\"b\":[true]}";
    DrevalinReadResult result = readDrevalinFile(bytes(text));
    EXPECT_EQ(result.warnings, std::vector<Warning>{{Warning::InvalidCloud{}}});
    std::string out = written(result.document);
    EXPECT_EQ(topLevelKeys(out), (std::vector<std::string>{"version", "elements", "a", "cloud", "b"}));
    EXPECT_EQ(*JSONParser::parse(out)["cloud"], JSONParser::parse(std::string_view("{\"boardId\":\"short\",\"x\":[1]}")));
    EXPECT_EQ(out.substr(0, 17), "{\n  \"version\": 1,");
    EXPECT_EQ(out.substr(out.size() - 4), "]\n}\n");
    // Reading the written file gives the same document back.
    EXPECT_EQ(readDrevalinFile(bytes(out)).document, result.document);

    // A null cloud is written back as null.
    DrevalinReadResult nullCloud = readDrevalinFile(bytes("{\"version\":1,\"elements\":[],\"cloud\":null}"));
    EXPECT_EQ(nullCloud.warnings, std::vector<Warning>{{Warning::InvalidCloud{}}});
    EXPECT_EQ(written(nullCloud.document), "{\n  \"version\": 1,\n  \"elements\": [],\n  \"cloud\": null\n}\n");
}

TEST(BoardFile, WritesVersionOneModelledKeysFirstAndIndexKeysBeforeAll) {
    DrevalinDocumentData document;
    document.version = 3;
    document.viewport = Viewport{1, 2, 0.5};
    document.cloud = CloudLink{"abcdefghijkl", std::nullopt, std::nullopt, std::nullopt, JSONObject()};
    document.extraTopLevel.set("z", JSONValue(true));
    document.extraTopLevel.set("cloud", JSONValue("replaced by the link"));
    document.extraTopLevel.set("version", JSONValue(9));
    document.extraTopLevel.set("elements", JSONValue(9));
    document.extraTopLevel.set("7", JSONValue(nullptr));
    EXPECT_EQ(written(document),
              "{\n  \"7\": null,\n  \"version\": 1,\n  \"viewport\": {\n    \"offsetX\": 1,\n    \"offsetY\": 2,\n"
              "    \"zoom\": 0.5\n  },\n  \"elements\": [],\n  \"cloud\": {\n    \"boardId\": \"abcdefghijkl\"\n  },\n"
              "  \"z\": true\n}\n");
    EXPECT_EQ(drevalinFileObject(document).keys(),
              (std::vector<std::string>{"version", "viewport", "elements", "cloud", "z", "7"}));
}

TEST(BoardFile, LoadViewportKeepsTheStoredOneOrFitsTheElements) {
    DrevalinDocumentData stored = readDrevalinFile(bytes(
        "{\"version\":1,\"viewport\":{\"offsetX\":-3,\"offsetY\":4,\"zoom\":0.25},\"elements\":[" + rect("a") + "]}")).document;
    EXPECT_EQ(loadViewport(stored, 1000, 800), (Viewport{-3, 4, 0.25}));

    // A 100 x 50 rectangle at the origin in a 1000 x 800 canvas with the default insets.
    DrevalinDocumentData fitted = readDrevalinFile(bytes(
        "{\"viewport\":{\"zoom\":0},\"elements\":[{\"id\":\"a\",\"type\":\"rectangle\",\"x\":0,\"y\":0,"
        "\"width\":100,\"height\":50,\"strokeColor\":\"#000000\",\"fillColor\":\"#ffffff\",\"strokeWidth\":1,"
        "\"opacity\":1,\"roughness\":0}]}")).document;
    EXPECT_EQ(loadViewport(fitted, 1000, 800), (Viewport{20, 160, 9.6}));
    EXPECT_EQ(loadViewport(DrevalinDocumentData{}, 1000, 800), (Viewport{0, 0, 1}));
}

}  // namespace
}  // namespace dv
