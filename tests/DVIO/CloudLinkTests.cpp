#include <gtest/gtest.h>

#include <string>

#include "DVIO/CloudLink.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"

namespace dv {
namespace {

std::optional<CloudLink> linkFrom(const std::string& json) { return CloudLink::fromJSONValue(JSONParser::parse(json)); }

std::string written(const CloudLink& link) {
    return JSONWriter::stringify(JSONValue(link.jsonObject()), std::nullopt, false);
}

const std::string kId = "abcDEF012345";  // 12 characters

TEST(CloudLink, BoardIdsAreTwelveToThirtyTwoAsciiLettersOrDigits) {
    struct Case {
        std::string id;
        bool valid;
    };
    const Case cases[] = {
        {std::string(11, 'a'), false}, {std::string(12, 'a'), true},  {std::string(32, 'Z'), true},
        {std::string(33, '9'), false}, {"abcdef-12345", false},        {"abcdef_12345", false},
        {"abcdef 12345", false},       {"abcdéf12345", false},         {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(CloudLink::isValidBoardId(c.id), c.valid);
        EXPECT_EQ(linkFrom("{\"boardId\":\"" + c.id + "\"}").has_value(), c.valid);
    }
    EXPECT_FALSE(linkFrom("{\"boardId\":123456789012}").has_value());
    EXPECT_FALSE(linkFrom("{}").has_value());
    EXPECT_FALSE(linkFrom("[]").has_value());
    EXPECT_FALSE(linkFrom("null").has_value());
}

TEST(CloudLink, OriginsAreSchemeHostAndPortOnlyAndABadOneRejectsTheLink) {
    struct Case {
        const char* origin;
        bool valid;
    };
    const Case cases[] = {
        {"https://example.com", true},
        {"https://example.com:8443", true},
        {"HTTPS://EXAMPLE.COM/", true},
        {"http://localhost", true},
        {"http://localhost:8080", true},
        {"http://LocalHost:8080/", true},
        {"http://127.0.0.1", true},
        {"http://example.com", false},
        {"http://127.0.0.2", false},
        {"ftp://example.com", false},
        {"https://x.com/a", false},
        {"https://x.com//", false},
        {"https://x.com?", false},
        {"https://x.com?a=1", false},
        {"https://x.com#", false},
        {"https://u@x.com", false},
        {"https://@x.com", false},
        {"https://u:p@x.com", false},
        {"https://", false},
        {"https:x.com", false},
        {"//x.com", false},
        {"https://bücher.example", false},
        {"https://exa mple.com", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.origin);
        EXPECT_EQ(CloudLink::isValidOrigin(c.origin), c.valid);
        auto link = linkFrom("{\"boardId\":\"" + kId + "\",\"origin\":\"" + c.origin + "\"}");
        EXPECT_EQ(link.has_value(), c.valid);
        if (link) {
            EXPECT_EQ(link->origin, std::optional<std::string>(c.origin));
            EXPECT_EQ(link->effectiveOrigin(), c.origin);
        }
    }
    EXPECT_FALSE(linkFrom("{\"boardId\":\"" + kId + "\",\"origin\":null}").has_value());
    EXPECT_TRUE(CloudLink::isValidOrigin(CloudLink::defaultOrigin));
}

TEST(CloudLink, BadSyncedValuesAreDroppedButTheLinkStays) {
    struct Case {
        const char* version;
        std::optional<std::int64_t> kept;
    };
    const Case cases[] = {
        {"1", 1},
        {"9007199254740991", 9007199254740991},
        {"0", std::nullopt},
        {"-1", std::nullopt},
        {"1.5", std::nullopt},
        {"9007199254740992", std::nullopt},
        {"1e400", std::nullopt},
        {"\"1\"", std::nullopt},
        {"null", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        auto link = linkFrom("{\"boardId\":\"" + kId + "\",\"syncedVersion\":" + c.version + "}");
        ASSERT_TRUE(link.has_value());
        EXPECT_EQ(link->syncedVersion, c.kept);
        EXPECT_TRUE(link->extra.isEmpty());
    }

    const std::string lower(64, 'a');
    const std::string digits = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    struct DigestCase {
        std::string json;
        bool kept;
    };
    auto quoted = [](std::string text) {
        text.insert(text.begin(), '"');
        text.push_back('"');
        return text;
    };
    const DigestCase digests[] = {
        {quoted(lower), true},
        {quoted(digits), true},
        {quoted(std::string(64, 'A')), false},
        {quoted(std::string(63, 'a')), false},
        {quoted(std::string(65, 'a')), false},
        {quoted(std::string(63, 'a').append("g")), false},
        {"42", false},
    };
    for (const DigestCase& c : digests) {
        SCOPED_TRACE(c.json);
        auto link = linkFrom("{\"boardId\":\"" + kId + "\",\"syncedDigest\":" + c.json + "}");
        ASSERT_TRUE(link.has_value());
        EXPECT_EQ(link->syncedDigest.has_value(), c.kept);
        EXPECT_TRUE(link->extra.isEmpty());
    }
}

TEST(CloudLink, WritesModelledKeysFirstAndKeepsExtraKeysInOrder) {
    auto link = linkFrom("{\"z\":1,\"syncedVersion\":7,\"boardId\":\"" + kId +
                         "\",\"a\":[true],\"origin\":\"http://localhost:1\"}");
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(link->extra.keys(), (std::vector<std::string>{"z", "a"}));
    EXPECT_EQ(written(*link),
              "{\"boardId\":\"" + kId + "\",\"origin\":\"http://localhost:1\",\"syncedVersion\":7,\"z\":1,\"a\":[true]}");

    // Without an origin: the default origin is effective and no "origin" key is written.
    auto plain = linkFrom("{\"boardId\":\"" + kId + "\"}");
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->effectiveOrigin(), CloudLink::defaultOrigin);
    EXPECT_EQ(written(*plain), "{\"boardId\":\"" + kId + "\"}");

    // An extra key never overrides a field, but one named like an absent field is written.
    CloudLink built{kId, std::nullopt, 3, std::nullopt, JSONObject{{"boardId", JSONValue("other")}, {"origin", JSONValue(5)}}};
    EXPECT_EQ(written(built), "{\"boardId\":\"" + kId + "\",\"syncedVersion\":3,\"origin\":5}");

    // Reading the written form gives the same link.
    EXPECT_EQ(CloudLink::fromJSONValue(JSONValue(link->jsonObject())), link);
}

}  // namespace
}  // namespace dv
