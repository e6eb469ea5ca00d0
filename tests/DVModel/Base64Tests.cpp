#include "DVModel/Base64.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

// The test vectors of the base64 standard, plus the bytes that need "+" and "/".
TEST(Base64, EncodesWithPaddingAndNoLineBreaks) {
    struct Case {
        std::vector<std::uint8_t> input;
        std::string expected;
    };
    const Case cases[] = {
        {bytes(""), ""},
        {bytes("f"), "Zg=="},
        {bytes("fo"), "Zm8="},
        {bytes("foo"), "Zm9v"},
        {bytes("foob"), "Zm9vYg=="},
        {bytes("fooba"), "Zm9vYmE="},
        {bytes("foobar"), "Zm9vYmFy"},
        {{0xfb, 0xff, 0xbf}, "+/+/"},
        {{0x00, 0x00, 0x00, 0x00}, "AAAAAA=="},
        {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}, "iVBORw0KGgo="},
    };
    for (const Case& c : cases) EXPECT_EQ(dv::base64Encode(c.input), c.expected);

    std::vector<std::uint8_t> long_(100, 0xff);
    std::string encoded = dv::base64Encode(long_);
    EXPECT_EQ(encoded.size(), 136u);
    EXPECT_EQ(encoded.find('\n'), std::string::npos);
}

TEST(Base64, URLFormSwapsTwoCharactersAndDropsPadding) {
    EXPECT_EQ(dv::base64URLEncode(bytes("")), "");
    EXPECT_EQ(dv::base64URLEncode(bytes("f")), "Zg");
    EXPECT_EQ(dv::base64URLEncode(bytes("fo")), "Zm8");
    EXPECT_EQ(dv::base64URLEncode(bytes("foo")), "Zm9v");
    EXPECT_EQ(dv::base64URLEncode(std::vector<std::uint8_t>{0xfb, 0xff, 0xbf}), "-_-_");
}

// Strict decoding is what a padded standard encoder writes; forgiving decoding is the web's,
// where padding may be left out.
TEST(Base64, DecodesStrictlyOrForgivingly) {
    using dv::Base64Decoding;
    struct Case {
        std::string text;
        std::optional<std::string> strict;
        std::optional<std::string> forgiving;
    };
    const Case cases[] = {
        {"", "", ""},
        {"Zg==", "f", "f"},
        {"Zm8=", "fo", "fo"},
        {"Zm9vYmFy", "foobar", "foobar"},
        {"Zg", std::nullopt, "f"},
        {"Zm8", std::nullopt, "fo"},
        {" Zm9v\tYg==\r\n", "foob", "foob"},
        {"Zh==", "f", "f"},  // unused bits are ignored
        {"Z===", std::nullopt, std::nullopt},
        {"Zg=", std::nullopt, std::nullopt},
        {"Zm9vY", std::nullopt, std::nullopt},
        {"Zm9vYQ===", std::nullopt, std::nullopt},
        {"Zg==Zg==", std::nullopt, std::nullopt},
        {"Zm=8", std::nullopt, std::nullopt},
        {"Zm9-", std::nullopt, std::nullopt},
        {"Zm9_", std::nullopt, std::nullopt},
        {"Zm\v9v", std::nullopt, std::nullopt},
        {"Zm9v\xC2\xA0", std::nullopt, std::nullopt},
        {"+/+/", "\xfb\xff\xbf", "\xfb\xff\xbf"},
        {"Zm9vYmFyZm9v YmFy\nZm9vYmFy", "foobarfoobarfoobar", "foobarfoobarfoobar"},
        {"Zm9vY mFyZm9vYmFyZm9vYmFy", "foobarfoobarfoobar", "foobarfoobarfoobar"},
        {"Zm9vYmFyZg==Zm9vYmFy", std::nullopt, std::nullopt},
        {"Zm9vYmFyZm9vYmFyZm9vYmFyZm9vYm", std::nullopt, "foobarfoobarfoobarfoob"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto text = [](const std::optional<std::vector<std::uint8_t>>& v) -> std::optional<std::string> {
            if (!v) return std::nullopt;
            return std::string(v->begin(), v->end());
        };
        EXPECT_EQ(text(dv::base64Decode(c.text, Base64Decoding::strict)), c.strict);
        EXPECT_EQ(text(dv::base64Decode(c.text, Base64Decoding::forgiving)), c.forgiving);
    }
}

}  // namespace
