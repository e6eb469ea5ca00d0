#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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

// Cluster boundaries by the extended grapheme cluster rules; ill-formed UTF-8 reads as one U+FFFD
// per maximal ill-formed subpart.
struct BoundaryCase {
    std::string text;
    std::vector<std::size_t> bounds;
};

const std::vector<BoundaryCase>& boundaryCases() {
    static const std::vector<BoundaryCase> cases = {
        {"", {0}},
        {"abc", {0, 1, 2, 3}},
        {"a\r\nb", {0, 1, 3, 4}},                                  // CR LF is one cluster
        {"\r\r", {0, 1, 2}},
        {"e\xCC\x81x", {0, 3, 4}},                                 // combining acute joins its base
        {std::string("\0\xCC\x81", 3), {0, 1, 3}},                // but never a control
        {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD!", {0, 8, 9}},       // skin tone modifier
        {"\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", {0, 8, 16}},  // two flags
        {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", {0, 18}},  // ZWJ family
        {"\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", {0, 9}},          // Hangul L V T
        {"\xE6\x97\xA5\xE6\x9C\xAC", {0, 3, 6}},
        {"a\xFF" "b", {0, 1, 2, 3}},
        {"\xE6\x97" "a", {0, 2, 3}},                                // truncated sequence: one U+FFFD
        {"\xE6\x97\xCC\x81", {0, 4}},                            // which a mark extends
    };
    return cases;
}

TEST(UnicodeSearchText, GraphemeBoundariesFollowTheClusterRules) {
    for (const BoundaryCase& c : boundaryCases()) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(graphemeBoundaries(c.text), c.bounds);
        // The prefix search segments with the same per-thread iterator: it must not disturb
        // the next text's boundaries, nor they its count.
        std::size_t clusters = 0;
        EXPECT_EQ(graphemePrefix(c.text, 1, clusters), c.bounds.size() > 1 ? c.bounds[1] : 0);
        EXPECT_EQ(graphemeClusters(c.text).size(), c.bounds.size() - 1);
    }
}

// Each thread segments with its own iterator; threads that segment at once and threads that end
// (releasing theirs) leave the others' results unchanged.
TEST(UnicodeSearchText, GraphemeBoundariesOnManyThreadsAtOnce) {
    const std::vector<BoundaryCase>& cases = boundaryCases();
    std::vector<int> failures(8, 0);
    for (int round = 0; round < 2; ++round) {
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < failures.size(); ++t) {
            threads.emplace_back([&cases, &failures, t] {
                for (std::size_t k = 0; k < 400; ++k) {
                    const BoundaryCase& c = cases[(k + t) % cases.size()];
                    std::size_t clusters = 0;
                    if (graphemeBoundaries(c.text) != c.bounds) ++failures[t];
                    if (graphemePrefix(c.text, 2, clusters) != c.bounds[std::min<std::size_t>(2, c.bounds.size() - 1)])
                        ++failures[t];
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    for (std::size_t t = 0; t < failures.size(); ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace dv::unicode
