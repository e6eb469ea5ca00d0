#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "ArchiveFixtures.hpp"
#include "DVIO/Gzip.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"
#include "DVIO/ShareLink.hpp"
#include "DVModel/Base64.hpp"
#include "DVModel/ElementValidation.hpp"

namespace dv {
namespace {

using testing::Bytes;
using testing::bytesOf;

const std::string kRectangle =
    R"({"id":"r1","type":"rectangle","x":10,"y":20,"strokeColor":"#1e1e1e","fillColor":"transparent",)"
    R"("strokeWidth":2,"opacity":1,"roughness":1,"width":120,"height":60,"label":"Box"})";

std::string textElement(const std::string& id, const std::string& content) {
    return R"({"id":")" + id + R"(","type":"text","x":0,"y":-70,"strokeColor":"#e9ecef","fillColor":"transparent",)"
           R"("strokeWidth":2,"opacity":1,"roughness":1,"content":")" + content +
           R"(","fontSize":24,"fontFamily":"Menlo","width":320,"height":30})";
}

std::vector<Element> elementsOf(const std::string& json) {
    auto list = ElementValidation::validateElements(JSONParser::parse(json));
    EXPECT_TRUE(list.has_value()) << json;
    return list.value_or(std::vector<Element>{});
}

std::optional<std::vector<Element>> decodedElements(std::string_view hash) {
    const auto payload = ShareLink::decode(hash);
    if (!payload || !payload->asElements()) return std::nullopt;
    return *payload->asElements();
}

std::string standardBase64(const Bytes& bytes) { return base64Encode(bytes); }

TEST(ShareLink, ShortIdsAreEightAsciiLettersOrDigits) {
    struct Case {
        std::string text;
        bool shortId;
    };
    const Case cases[] = {
        {"Ab3dE6gH", true}, {"00000000", true},  {"zzzzZZZZ", true}, {"Ab3dE6g", false}, {"Ab3dE6gHi", false},
        {"Ab3d-6gH", false}, {"Ab3d_6gH", false}, {"Ab3dE6g=", false}, {"Ab3dE6g\xC3\xA9", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ShareLink::isShortId(c.text), c.shortId);
        const auto payload = ShareLink::decode("#s=" + c.text);
        EXPECT_EQ(payload == ShareLink::Payload::shortId(c.text), c.shortId);
    }
    // Seven and nine characters are inline payloads: "WyAgIF0" is the base64url of "[   ]".
    EXPECT_EQ(ShareLink::decode("#s=WyAgIF0"), ShareLink::Payload::elements({}));
    EXPECT_EQ(ShareLink::decode("#s=WyAgIF0AA"), std::nullopt);
}

TEST(ShareLink, RecognisesOnlyItsTwoPrefixes) {
    struct Case {
        std::string hash;
        bool share;
    };
    const Case cases[] = {
        {"#s=Ab3dE6gH", true}, {"#share=W10=", true}, {"#s=", true},     {"#share=", true},
        {"#S=Ab3dE6gH", false}, {"s=Ab3dE6gH", false}, {"#Share=", false}, {"", false},
        {"##s=Ab3dE6gH", false}, {" #s=Ab3dE6gH", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hash);
        EXPECT_EQ(ShareLink::isShareHash(c.hash), c.share);
        if (!c.share) {
            EXPECT_EQ(ShareLink::decode(c.hash), std::nullopt);
        }
    }
    EXPECT_EQ(ShareLink::decode("#s="), std::nullopt);
    EXPECT_EQ(ShareLink::decode("#share="), std::nullopt);
}

TEST(ShareLink, EncodedScenesUseTheURLAlphabetAndDecodeBack) {
    std::string many = "[";
    for (int i = 0; i < 60; ++i) {
        if (i) many += ",";
        const std::string n = std::to_string(i);
        many += textElement(std::string("t").append(n), std::string("Label ~~~ ").append(std::to_string(i * 7919)));
    }
    many += "]";
    const std::string scenes[] = {"[]", "[" + kRectangle + "]", many};
    for (const std::string& scene : scenes) {
        SCOPED_TRACE(scene.substr(0, 40));
        const std::vector<Element> elements = elementsOf(scene);
        const std::string payload = ShareLink::encodeScene(elements);
        EXPECT_EQ(payload.find_first_of("+/="), std::string::npos);
        // The payload is the gzip member of the compact JSON array.
        std::string standard = payload;
        for (char& c : standard) c = c == '-' ? '+' : c == '_' ? '/' : c;
        const auto member = base64Decode(standard, Base64Decoding::forgiving);
        ASSERT_TRUE(member.has_value());
        const auto json = gunzip(*member);
        ASSERT_TRUE(json.has_value());
        JSONValue::Array objects;
        for (const Element& e : elements) objects.emplace_back(e.jsonObject());
        EXPECT_EQ(testing::textOf(*json), JSONWriter::stringify(JSONValue(std::move(objects)), std::nullopt, false));

        EXPECT_EQ(ShareLink::decode("#s=" + payload), ShareLink::Payload::elements(elements));
    }
    // The link as a whole: origin, one slash, prefix, payload, even after a slash already there.
    const std::vector<Element> one = elementsOf("[" + kRectangle + "]");
    const std::string payload = ShareLink::encodeScene(one);
    EXPECT_EQ(ShareLink::inlineURL(one, "https://boards.example"), "https://boards.example/#s=" + payload);
    EXPECT_EQ(ShareLink::inlineURL(one, "https://boards.example/"), "https://boards.example//#s=" + payload);
}

TEST(ShareLink, AnEmptyInlineListIsAListNotAbsent) {
    EXPECT_EQ(ShareLink::decode("#s=" + ShareLink::encodeScene({})), ShareLink::Payload::elements({}));
    EXPECT_EQ(ShareLink::decode("#s=W10"), ShareLink::Payload::elements({}));       // plain "[]"
    EXPECT_EQ(ShareLink::decode("#share=W10="), ShareLink::Payload::elements({}));  // plain "[]"
    // An array that keeps none of its entries is absent, as is anything but an array.
    EXPECT_EQ(ShareLink::decode("#s=" + base64URLEncode(bytesOf("[1]"))), std::nullopt);
    EXPECT_EQ(ShareLink::decode("#s=" + base64URLEncode(bytesOf("{}"))), std::nullopt);
}

TEST(ShareLink, ALengthOnePastAMultipleOfFourIsNotBase64) {
    // "WyBd" is "[ ]"; one more character cannot be padded into anything.
    EXPECT_EQ(ShareLink::decode("#s=WyBd"), ShareLink::Payload::elements({}));
    EXPECT_EQ(ShareLink::decode("#s=WyBdA"), std::nullopt);
    EXPECT_EQ(ShareLink::decode("#s=A"), std::nullopt);
    EXPECT_EQ(ShareLink::decode("#share=WyBdA"), std::nullopt);
    const std::string payload = ShareLink::encodeScene(elementsOf("[" + kRectangle + "]"));
    const std::string whole = payload.size() % 4 == 0 ? payload : payload.substr(0, payload.size() - payload.size() % 4);
    EXPECT_EQ(ShareLink::decode("#s=" + whole + "A"), std::nullopt);
    // White space is removed before the length is judged on the legacy path.
    EXPECT_EQ(ShareLink::decode("#share=W y B d\n"), ShareLink::Payload::elements({}));
    EXPECT_EQ(ShareLink::decode("#share=W\vyBd"), std::nullopt);
}

TEST(ShareLink, PercentEscapesAreDecodedOnlyOnTheLegacyPath) {
    // "Wy%42d" is "WyBd" with its "B" escaped.
    EXPECT_EQ(ShareLink::decode("#share=Wy%42d"), ShareLink::Payload::elements({}));
    EXPECT_EQ(ShareLink::decode("#s=Wy%42d"), std::nullopt);
    EXPECT_EQ(ShareLink::decode("#share=Wy%4"), std::nullopt);
    EXPECT_EQ(ShareLink::decode("#share=Wy%zzd"), std::nullopt);
    // An escape that makes invalid UTF-8 fails the decoding.
    EXPECT_EQ(ShareLink::decode("#share=WyBd%FF"), std::nullopt);

    const std::vector<Element> one = elementsOf("[" + kRectangle + "]");
    const Bytes member = *gzip(JSONWriter::data(JSONValue(JSONValue::Array{JSONValue(one[0].jsonObject())}), std::nullopt, false));
    const std::string standard = standardBase64(member);
    std::string escaped;
    for (char c : standard) escaped += c == '+' ? "%2B" : c == '/' ? "%2f" : c == '=' ? "%3D" : std::string(1, c);
    EXPECT_EQ(decodedElements("#share=" + standard), one);
    EXPECT_EQ(decodedElements("#share=" + escaped), one);
    // The legacy path reads the standard alphabet only.
    std::string url = standard;
    for (char& c : url) c = c == '+' ? '-' : c == '/' ? '_' : c;
    if (url != standard) {
        EXPECT_EQ(ShareLink::decode("#share=" + url), std::nullopt);
    }
}

TEST(ShareLink, InvalidUTF8IsRepairedOnTheCurrentPathOnly) {
    const std::string json = "[" + textElement("a", "x\xFFy") + "]";
    const std::vector<Element> repaired = elementsOf("[" + textElement("a", "x\xEF\xBF\xBDy") + "]");
    ASSERT_EQ(repaired.size(), 1u);
    EXPECT_EQ(decodedElements("#s=" + base64URLEncode(bytesOf(json))), repaired);
    EXPECT_EQ(ShareLink::decode("#share=" + standardBase64(bytesOf(json))), std::nullopt);
    // Gzipped text is repaired on both paths.
    const Bytes member = *gzip(bytesOf(json));
    EXPECT_EQ(decodedElements("#s=" + base64URLEncode(member)), repaired);
    EXPECT_EQ(decodedElements("#share=" + standardBase64(member)), repaired);
    // A damaged member is absent, not read as plain text.
    Bytes damaged = member;
    damaged[damaged.size() - 5] ^= 1;
    EXPECT_EQ(ShareLink::decode("#s=" + base64URLEncode(damaged)), std::nullopt);
}

TEST(ShareLink, FetchedBodiesAreJSONArraysOfElements) {
    const std::string json = "[" + kRectangle + "," + textElement("t", "caf\xC3\xA9") + "]";
    EXPECT_EQ(ShareLink::decodeFetched(bytesOf(json)), elementsOf(json));
    EXPECT_EQ(ShareLink::decodeFetched(bytesOf("[]")), std::vector<Element>{});
    EXPECT_EQ(ShareLink::decodeFetched(bytesOf("[" + textElement("t", "\xFF") + "]")),
              elementsOf("[" + textElement("t", "\xEF\xBF\xBD") + "]"));
    for (const char* bad : {"", "{}", "[", "[1,2]", "null"}) {
        EXPECT_EQ(ShareLink::decodeFetched(bytesOf(bad)), std::nullopt) << bad;
    }
    // No gzip or base64 is involved.
    EXPECT_EQ(ShareLink::decodeFetched(*gzip(bytesOf(json))), std::nullopt);
}

TEST(ShareLink, PayloadsCompareAndHashByValue) {
    const std::vector<Element> one = elementsOf("[" + kRectangle + "]");
    const std::unordered_set<ShareLink::Payload> set{ShareLink::Payload::shortId("Ab3dE6gH"), ShareLink::Payload::elements(one),
                                                     ShareLink::Payload::elements(elementsOf("[" + kRectangle + "]")),
                                                     ShareLink::Payload::shortId("Ab3dE6gH")};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_NE(ShareLink::Payload::shortId("Ab3dE6gH"), ShareLink::Payload::shortId("Ab3dE6gh"));
    EXPECT_NE(ShareLink::Payload::elements({}), ShareLink::Payload::elements(one));
}

}  // namespace
}  // namespace dv
