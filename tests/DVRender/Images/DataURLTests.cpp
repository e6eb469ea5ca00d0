#include "DVRender/Images/DataURL.hpp"
#include "DVModel/Base64.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace dv {
namespace {

struct Case {
    const char* input;
    std::optional<std::string> mediaType;  // nothing: no result
    std::string body;
};

std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(DataURL, ParsesAsTheFetchStandardDoesWithAReducedMediaType) {
    const Case cases[] = {
        {"DATA:image/png;base64,aGk=", "image/png", "hi"},
        {"data:image/png;BASE64,aGk=", "image/png", "hi"},
        {"data:image/png; base64,aGk=", "image/png", "hi"},
        {"data:image/png;base64 ,aGk=", "image/png", "hi"},
        {"data:text/plain;xbase64,aGk=", "text/plain", "aGk="},
        {"data:image/pngbase64,aGk=", "image/pngbase64", "aGk="},
        {"data:,hello", "text/plain", "hello"},
        {"data:;base64,aGk=", "text/plain", "hi"},
        {"data:text/plain", std::nullopt, ""},
        {"dat:,x", std::nullopt, ""},
        {"data", std::nullopt, ""},
        {"  \t data:,a b \n", "text/plain", "a b"},
        {"da\nta:,x\ry\tz", "text/plain", "xyz"},
        {"data:,a#fragment", "text/plain", "a"},
        {"data:image/svg+xml,%3Csvg%3e%zz%4", "image/svg+xml", "<svg>%zz%4"},
        {"data:;base64,aG k=\n", "text/plain", "hi"},
        {"data:;base64,aGk", "text/plain", "hi"},
        {"data:;base64,aGk==", std::nullopt, ""},          // three "=" would be needed to strip
        {"data:;base64,aGkxa", std::nullopt, ""},          // remainder 1
        {"data:;base64,a-k=", std::nullopt, ""},
        {"data:;base64,a_k=", std::nullopt, ""},
        {"data:;base64,aG=k", std::nullopt, ""},
        {"data:Image/SVG+XML; charset=utf-8,<svg/>", "image/svg+xml", "<svg/>"},
        {"data:image/svg+xml;charset=utf-8;base64,PHN2Zy8+", "image/svg+xml", "<svg/>"},
        {"data:image,x", "text/plain", "x"},
        {"data:image/,x", "text/plain", "x"},
        {"data:image/p(ng,x", "text/plain", "x"},
        {"data:a/b/c,x", "text/plain", "x"},
        {"data:;charset=utf-8,x", "text/plain", "x"},
        {"data:image/gif;base64,R0lGOD%6Ch", "image/gif", "GIF89a"},
        // Escapes and the characters a URL drops, inside and around base64 runs.
        {"data:;base64,aGVsbG8gd29y%62GQ=", "text/plain", "hello world"},
        {"data:;base64,aGVsbG8g%0Ad29ybGQ=", "text/plain", "hello world"},
        {"data:;base64,aGVsbG8gd29y%6\n2GQ=", "text/plain", "hello world"},
        {"data:;base64,aGVsbG8gd29ybGQ%3D", "text/plain", "hello world"},
        {"data:;base64,aGVsbG8g\td29y bGQ=#aGk=", "text/plain", "hello world"},
        {"data:;base64,aGVsbG8gd29ybGQ=%3D%3D", std::nullopt, ""},
        {"data:;base64,aGVsbG8gd29y%25bGQ=", std::nullopt, ""},
        {"data:;base64,aGVsbG8gd29ybGQ=aGk=", std::nullopt, ""},
        {"data:;base64,aGVsbG8gd29ybGQ%3", std::nullopt, ""},
        {"data:,a%4#1", "text/plain", "a%4"},
        {"data:,a%4\t1b", "text/plain", "aAb"},
        {"data:text/plain#x,y", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        auto r = parseDataURL(c.input);
        ASSERT_EQ(r.has_value(), c.mediaType.has_value()) << c.input;
        if (!r) continue;
        EXPECT_EQ(r->mediaType, *c.mediaType) << c.input;
        EXPECT_EQ(text(r->body), c.body) << c.input;
    }
}

TEST(DataURL, ForgivingBase64RoundTripsEveryLength) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    for (int n = 0; n < 40; ++n) {
        bytes.push_back(static_cast<char>(n * 37 + 11));
        std::string encoded;
        std::size_t i = 0;
        auto at = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k])); };
        for (; i + 2 < bytes.size(); i += 3) {
            const std::uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
            for (int s = 18; s >= 0; s -= 6) encoded.push_back(alphabet[(v >> s) & 63]);
        }
        if (bytes.size() - i == 1) encoded += {alphabet[at(i) >> 2], alphabet[(at(i) & 3) << 4], '=', '='};
        if (bytes.size() - i == 2) {
            encoded += {alphabet[at(i) >> 2], alphabet[((at(i) & 3) << 4) | (at(i + 1) >> 4)], alphabet[(at(i + 1) & 15) << 2], '='};
        }
        auto decoded = base64Decode(encoded, Base64Decoding::forgiving);
        ASSERT_TRUE(decoded) << encoded;
        EXPECT_EQ(text(*decoded), bytes);
    }
}

}  // namespace
}  // namespace dv
