#include <gtest/gtest.h>

#include <string>

#include "Platform/Unicode/Unicode.hpp"

namespace dv::unicode {
namespace {

TEST(UnicodeSearchText, WhiteSpaceAndNewlineSet) {
    const char32_t inside[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    const char32_t outside[] = {0x08, 0x0E, 0x1C, 0x1F, 'a', 0xFEFF, 0x200B, 0x180E, 0x7F};
    for (char32_t c : inside) EXPECT_TRUE(isWhiteSpaceOrNewline(c)) << std::hex << static_cast<unsigned>(c);
    for (char32_t c : outside) EXPECT_FALSE(isWhiteSpaceOrNewline(c)) << std::hex << static_cast<unsigned>(c);
}

TEST(UnicodeSearchText, LowerCaseAndComposition) {
    struct Case {
        std::string in, lower;
    };
    const Case lower[] = {
        {"ABC def", "abc def"},
        {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"},        // ÉTÉ
        {"\xC4\xB0", "i\xCC\x87"},                        // İ: full mapping, not Turkish
        {"\xC3\x9F", "\xC3\x9F"},                         // ß stays
        {std::string("A\0B", 3), std::string("a\0b", 3)},  // NUL kept
        {"\xFF", "\xEF\xBF\xBD"},
    };
    for (const Case& c : lower) EXPECT_EQ(toLowerCase(c.in), c.lower);
    EXPECT_EQ(normalizeNFC("Cafe\xCC\x81"), "Caf\xC3\xA9");
    EXPECT_EQ(normalizeNFC("Caf\xC3\xA9"), "Caf\xC3\xA9");
    EXPECT_EQ(normalizeNFC(""), "");
}

TEST(UnicodeSearchText, GraphemePrefixStopsAtTheRequestedCluster) {
    struct Case {
        std::string text;
        std::size_t max, bytes, clusters;
    };
    const Case cases[] = {
        {"abc", 5, 3, 3},
        {"abc", 2, 2, 2},
        {"abc", 0, 0, 0},
        {"", 3, 0, 0},
        {"ae\xCC\x81x", 2, 4, 2},         // e + combining acute is one character
        {"ab\xCC\x81", 1, 1, 1},
        {"ab\xCC\x81", 2, 4, 2},
        {"a\r\nb", 2, 3, 2},              // CR LF is one character
        {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD!", 1, 8, 1},  // emoji with a skin tone
        {"\xE6\x97\xA5\xE6\x9C\xAC", 5, 6, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::size_t clusters = 99;
        EXPECT_EQ(graphemePrefix(c.text, c.max, clusters), c.bytes);
        EXPECT_EQ(clusters, c.clusters);
    }
}

}  // namespace
}  // namespace dv::unicode
