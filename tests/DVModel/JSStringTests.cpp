#include "DVModel/JSString.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct TrimCase {
    const char* name;
    std::string input;
    std::string expected;
};

TEST(JSString, TrimStripsJavaScriptWhiteSpaceOnly) {
    const TrimCase cases[] = {
        {"mixed white space around letters", " \t\u00A0abc\u3000\n", "abc"},
        {"zero width space is kept", "\u200Babc ", "\u200Babc"},
        {"mongolian vowel separator is kept", "\u180Eabc", "\u180Eabc"},
        {"only a byte order mark", "\uFEFF", ""},
        {"empty", "", ""},
        {"line separators and ogham space", "\u2028\u1680x\u2029", "x"},
        {"en quad to hair space", "\u2000\u200Ay y\u202F\u205F", "y y"},
        {"vertical tab and form feed", "\v\fz\r", "z"},
        {"inner white space stays", "a \u3000 b", "a \u3000 b"},
        {"NUL is no white space", "\0 a"s, "\0 a"s},
        {"ill-formed bytes stay", " \xC3 ", "\xC3"},
        {"next to U+00A0 but not it", "\u00A1", "\u00A1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, dv::jsTrim(c.input)) << c.name;
    }
}

struct MatchCase {
    const char* name;
    std::string text;
    std::string other;
    bool expected;
};

TEST(JSString, IncludesMatchesCodeUnits) {
    const MatchCase cases[] = {
        {"empty search in empty text", "", "", true},
        {"empty search in text", "abc", "", true},
        {"letter in empty text", "", "a", false},
        {"overlapping start", "aab", "ab", true},
        {"accented letter is not e", "caf\u00E9", "e", false},
        {"decomposed accent holds e", "cafe\u0301", "e", true},
        {"search longer than text", "ab", "abc", false},
        {"emoji", "x\U0001F600y", "\U0001F600y", true},
        {"NUL inside", "a\0b"s, "\0"s, true},
        {"replacement matches ill-formed byte", "a\xFF" "b", "\uFFFD" "b", true},
        {"case matters", "Abc", "abc", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, dv::jsStringIncludes(c.text, c.other)) << c.name;
    }
}

TEST(JSString, PrefixIgnoresOnlyTheTextsASCIICapitals) {
    const MatchCase cases[] = {
        {"upper-case text", "RGBA(1,2,3)", "rgba(", true},
        {"text runs out", "rgb", "rgb(", false},
        {"upper-case prefix never matches", "rgba(", "RGBA(", false},
        {"empty prefix", "", "", true},
        {"empty prefix on text", "x", "", true},
        {"mixed case", "HsLa(0", "hsla(", true},
        {"different letter", "rgc(", "rgb(", false},
        {"data url", "DATA:image/png", "data:image/", true},
        {"non-ASCII capitals are not folded", "\u00C9t\u00E9", "\u00E9", false},
        {"non-ASCII equal", "\u00E9t\u00E9", "\u00E9t", true},
        {"symbols are not folded", "@", "`", false},
        {"exact length", "hsl(", "hsl(", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, dv::hasPrefixIgnoringASCIICase(c.text, c.other)) << c.name;
    }
}

} // namespace
