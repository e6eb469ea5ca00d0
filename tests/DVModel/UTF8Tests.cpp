#include "DVModel/UTF8.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace dv {
namespace {

using namespace std::string_literals;

struct RepairCase {
    const char* name;
    std::string input;
    std::u32string expected;
};

// Each maximal subpart of an ill-formed sequence becomes exactly one U+FFFD.
TEST(UTF8, RepairReplacesEachMaximalSubpartOnce) {
    const std::vector<RepairCase> cases = {
        {"empty", "", U""},
        {"ascii with NUL", "a\0b"s, U"a\0b"s},
        {"two-byte lead at end", "\xC3", U"\uFFFD"},
        {"truncated three-byte then ascii", "\xE2\x82x", U"\uFFFDx"},
        {"overlong two-byte", "\xC0\xAF", U"\uFFFD\uFFFD"},
        {"overlong four-byte", "\xF0\x80\x80", U"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"byte FF", "\xFF", U"\uFFFD"},
        {"stray continuation", "a\x80" "b", U"a\uFFFDb"},
        {"truncated four-byte", "\xF0\x9F\x98", U"\uFFFD"},
        {"truncated four-byte then lead", "\xF0\x9F\xC3\xA9", U"\uFFFD\u00E9"},
        {"well-formed mix", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"a\u00E9\u20AC\U0001F600"},
        {"largest scalar", "\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
        {"last before surrogates", "\xED\x9F\xBF", U"\uD7FF"},
        {"first after surrogates", "\xEE\x80\x80", U"\uE000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeUTF8ToCodePoints(c.input), c.expected);
        std::string expectedUTF8;
        for (char32_t cp : c.expected) appendUTF8(expectedUTF8, cp);
        EXPECT_EQ(repairUTF8(c.input), expectedUTF8);
        EXPECT_EQ(isValidUTF8(c.input), expectedUTF8 == c.input);
        EXPECT_EQ(utf16Length(c.input), toUTF16(c.input).size());
    }
}

TEST(UTF8, UTF16Lengths) {
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"", 0},  {"a", 1},  {"\xC3\xA9", 1},      {"\xE2\x82\xAC", 1},
        {"\xF0\x9F\x98\x80", 2}, {"e\xCC\x81", 2}, {std::string(1000, 'x') + "\xF0\x9F\x98\x80", 1002},
        {"\xC0\xAF", 2},          {"\xF4\x90\x80\x80", 4},
    };
    for (const auto& [text, units] : cases) EXPECT_EQ(utf16Length(text), units) << text;
}

TEST(UTF8, AppendEncodesAndReplacesNonScalars) {
    const std::vector<std::pair<char32_t, std::string>> cases = {
        {0x00, "\0"s},           {0x7F, "\x7F"},           {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},     {0x800, "\xE0\xA0\x80"},  {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0xD800, "\xEF\xBF\xBD"}, {0xDFFF, "\xEF\xBF\xBD"}, {0x110000, "\xEF\xBF\xBD"},
    };
    for (const auto& [cp, bytes] : cases) {
        std::string out;
        appendUTF8(out, cp);
        EXPECT_EQ(out, bytes) << std::hex << static_cast<std::uint32_t>(cp);
    }
}

int sign(int v) { return (v > 0) - (v < 0); }

TEST(UTF8, CompareByUTF16CodeUnits) {
    struct Case {
        std::string a, b;
        int expected;
    };
    const std::vector<Case> cases = {
        {"", "", 0},
        {"", "a", -1},
        {"a", "b", -1},
        {"ab", "a", 1},
        {"a\0b"s, "a\0c"s, -1},
        // A supplementary character is a surrogate pair D83D..., which sorts below U+E000..U+FFFF,
        // although its code point is larger.
        {"\xF0\x9F\x98\x80", "\xEF\xBF\xBF", -1},
        {"\xF0\x9F\x98\x80", "\xEE\x80\x80", -1},
        {"x\xF0\x9F\x98\x80", "x\xEF\xBC\xA1", -1},
        // Below U+D800 code point order still holds.
        {"\xF0\x9F\x98\x80", "\xED\x9F\xBF", 1},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81", -1},
        {"\xC3\xA9", "e\xCC\x81", 1},
        // Different ill-formed bytes repair to the same U+FFFD.
        {"a\xC0" "b", "a\xFF" "b", 0},
        {"a\xC3", "a\xEF\xBF\xBD", 0},
        {"\xE2\x82x", "\xEF\xBF\xBDx", 0},
        {"\xE2\x82\xAC", "\xE2\x82x", -1},  // U+20AC against U+FFFD then 'x'
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sign(compareUTF16(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(compareUTF16(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
    }
}

// Random texts drawn from an alphabet of interesting bytes: every helper must agree with the
// straightforward definition through code points and UTF-16 units.
TEST(UTF8, AgreesWithCodePointDefinitionsOnRandomBytes) {
    const std::vector<unsigned char> alphabet = {
        'a', 'z', 0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xC3, 0xDF,
        0xE0, 0xE2, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
    std::mt19937 rng(12345);
    auto randomText = [&](std::size_t maxLen) {
        std::string s(rng() % (maxLen + 1), '\0');
        for (char& c : s) c = static_cast<char>(alphabet[rng() % alphabet.size()]);
        return s;
    };
    for (int iteration = 0; iteration < 20000; ++iteration) {
        const std::string a = randomText(12);
        std::string b = a;
        if (!b.empty() && rng() % 2) b[rng() % b.size()] = static_cast<char>(alphabet[rng() % alphabet.size()]);
        else b += randomText(3);

        const std::u32string cps = decodeUTF8ToCodePoints(a);
        std::string rebuilt;
        for (char32_t cp : cps) {
            EXPECT_TRUE(cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF));
            appendUTF8(rebuilt, cp);
        }
        EXPECT_EQ(repairUTF8(a), rebuilt);
        EXPECT_TRUE(isValidUTF8(rebuilt));
        EXPECT_EQ(repairUTF8(rebuilt), rebuilt);
        EXPECT_EQ(fromUTF16(toUTF16(a)), rebuilt);
        EXPECT_EQ(utf16Length(a), toUTF16(a).size());

        const std::u16string ua = toUTF16(a), ub = toUTF16(b);
        EXPECT_EQ(sign(compareUTF16(a, b)), sign(ua.compare(ub))) << a << " / " << b;

        // Walking backwards finds the same code points as walking forwards.
        std::u32string backwards;
        for (std::size_t pos = a.size(); pos > 0;) backwards.push_back(decodeUTF8Backward(a, pos));
        std::reverse(backwards.begin(), backwards.end());
        EXPECT_EQ(backwards, cps) << a;
    }
}

TEST(UTF8, FromUTF16ReplacesLoneSurrogates) {
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        {u"\xD83D\xDE00"s, "\xF0\x9F\x98\x80"},
        {std::u16string{0xD83D}, "\xEF\xBF\xBD"},
        {std::u16string{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::u16string{0xD83D, u'a'}, "\xEF\xBF\xBD" "a"},
    };
    for (const auto& [units, bytes] : cases) EXPECT_EQ(fromUTF16(units), bytes);
}

}  // namespace
}  // namespace dv
