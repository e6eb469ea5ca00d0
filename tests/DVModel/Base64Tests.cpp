#include "DVModel/Base64.hpp"

#include <gtest/gtest.h>

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

}  // namespace
