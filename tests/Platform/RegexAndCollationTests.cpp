#include <gtest/gtest.h>

#include <string>

#include "Platform/Unicode/Collation.hpp"
#include "Platform/Unicode/Regex.hpp"
#include "Platform/Unicode/Unicode.hpp"

namespace dv::unicode {
namespace {

Regex compiled(std::u16string_view source) {
    std::optional<Regex> regex = Regex::compile(source);
    EXPECT_TRUE(regex.has_value());
    return std::move(*regex);
}

TEST(Regex, ReplacementsAreLiteralAndCoverEveryMatch) {
    const Regex runs = compiled(u"[_-]+");
    EXPECT_EQ(runs.replaceAll(u"a__b-c", u" "), u"a b c");
    EXPECT_EQ(runs.replaceFirst(u"a__b-c", u" "), u"a b-c");
    EXPECT_EQ(runs.replaceAll(u"a__b", u"$0\\1"), u"a$0\\1b");  // no group references
    EXPECT_EQ(runs.replaceAll(u"none", u" "), u"none");
    // An empty match is replaced once at each position, as ICU finds them.
    EXPECT_EQ(compiled(u"x*").replaceAll(u"ab", u"-"), u"-a-b-");
    // \A and \z anchor at the whole text only, and \p{Z} takes every space separator.
    const Regex anchored = compiled(u"\\A[0-9]+\\z");
    EXPECT_TRUE(anchored.search(u"123"));
    EXPECT_FALSE(anchored.search(u"12\n3"));
    EXPECT_FALSE(anchored.search(u"123\n"));
    EXPECT_TRUE(compiled(u"a\\p{Z}b").search(u"a\u3000b"));
    // NUL is an ordinary character.
    EXPECT_EQ(runs.replaceAll(std::u16string(u"a\0_b", 4), u"."), std::u16string(u"a\0.b", 4));
}

TEST(Regex, GroupsAndCompileFailures) {
    const Regex size = compiled(u"[_-](16|32)(px)?\\z");
    EXPECT_EQ(size.firstMatchGroup(u"x_32px", 1), u"32");
    EXPECT_EQ(size.firstMatchGroup(u"x_32", 2), std::nullopt);  // took no part
    EXPECT_EQ(size.firstMatchGroup(u"x_33", 1), std::nullopt);
    EXPECT_EQ(size.firstMatchGroup(u"x_16", 5), std::nullopt);
    std::string error;
    EXPECT_FALSE(Regex::compile(u"(unclosed", &error).has_value());
    EXPECT_FALSE(error.empty());
}

TEST(Collation, LocalesOrderLettersDifferentlyAndKeysAgreeWithCompare) {
    const char* armen = "\xC3\x84rm";
    EXPECT_LT(Collator("de_DE").compare(armen, "Zebra"), 0);
    EXPECT_GT(Collator("sv_SE").compare(armen, "Zebra"), 0);
    EXPECT_GT(Collator("sv-SE").compare(armen, "Zebra"), 0);
    // Unknown locales order as the root locale: letters before case, unlike code units.
    const Collator unknown("xx_NOWHERE");
    EXPECT_LT(unknown.compare("apple", "Birch"), 0);
    const char* texts[] = {"apple", "Apple", "Birch", armen, "Zebra", "", "a\xCC\x88", "\xC3\xA4"};
    for (const char* locale : {"de_DE", "sv_SE", "en"}) {
        const Collator collator(locale);
        for (const char* a : texts) {
            for (const char* b : texts) {
                const int byCompare = collator.compare(a, b);
                const int byKey = collator.sortKey(a).compare(collator.sortKey(b));
                EXPECT_EQ(byCompare < 0, byKey < 0) << locale << " " << a << " " << b;
                EXPECT_EQ(byCompare == 0, byKey == 0) << locale << " " << a << " " << b;
            }
        }
    }
}

TEST(Collation, UpperCaseIsFullAndLocaleIndependent) {
    EXPECT_EQ(toUpperCase("stra\xC3\x9F" "e"), "STRASSE");
    EXPECT_EQ(toUpperCase("i"), "I");
    EXPECT_EQ(toUpperCase("\xC3\xA9"), "\xC3\x89");
    EXPECT_EQ(toUpperCase(std::string("a\0b", 3)), std::string("A\0B", 3));
}

}  // namespace
}  // namespace dv::unicode
