#include "DVRender/Canvas/FontResolver.hpp"

#include "tests/support/FatalGLibWarnings.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace dv {
namespace {

using Probe = detail::FontResolverProbe;

CanvasFont canvasFont(std::string family, double size, bool bold = false, bool italic = false) {
    CanvasFont f;
    f.family = std::move(family);
    f.size = size;
    f.bold = bold;
    f.italic = italic;
    return f;
}

TEST(FontResolverFamilies, SplitsAndCleansLists) {
    ASSERT_TRUE(test::glibWarningsAreFatal);
    struct Case {
        std::string list;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"Arial,  \"Times New Roman\" ", {"Arial", "Times New Roman"}},
        {"'Menlo', serif", {"Menlo", "serif"}},
        {"\"", {"\""}},                         // a lone quote stays
        {"\"Arial'", {"\"Arial'"}},             // mismatched quotes stay
        {"a,,b, ,", {"a", "b"}},                // empty pieces go
        {"\"\"", {}},                           // an emptied name goes too
        {"\" padded \"", {" padded "}},         // the inside is not trimmed again
        {"\"x, y\"", {"\"x", "y\""}},           // commas split even inside quotes
        {"\u3000Arial\u2028", {"Arial"}},       // Unicode white space and line breaks
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(FontResolver::families(c.list), c.names) << c.list;
}

TEST(FontResolverFamilies, ResolvesGenericInstalledAndUnknownNames) {
    using namespace std::string_literals;
    struct Case {
        std::string list;
        const char* family;
    };
    const Case cases[] = {
        {"NoSuchFont, serif", "Times"},
        {"", "Helvetica"},
        {"NoSuchFont", "Helvetica"},
        {"SANS-SERIF", "Helvetica"},
        {"monospace", "Menlo"},
        {"cursive", "Apple Chancery"},
        {"fantasy", "Papyrus"},
        {"system-ui", "Helvetica Neue"},
        {"ui-sans-serif", "Helvetica Neue"},
        {"ui-serif", "Times"},
        {"ui-monospace", "Menlo"},
        {"dejavu SANS, serif", "dejavu SANS"}, // installed: the name as written
        {"Georgia", "Georgia"},                // a shipped alias counts as installed
        {"x\0y, Arial"s, "Arial"},
    };
    for (const Case& c : cases) EXPECT_EQ(FontResolver::resolveFamily(c.list), c.family) << c.list;
}

TEST(FontResolverFonts, SizesTraitsAndCache) {
    FontResolver::invalidate();
    for (double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(FontResolver::ctFont(canvasFont("Arial", bad))->size(), 10) << bad;
    EXPECT_EQ(FontResolver::ctFont(canvasFont("Arial", 12, true, true))->postScriptName(), "LiberationSans-BoldItalic");
    const auto first = FontResolver::ctFont(canvasFont("serif", 13));
    EXPECT_EQ(FontResolver::ctFont(canvasFont("serif", 13)), first);
    EXPECT_EQ(first->postScriptName(), "LiberationSerif");

    FontResolver::invalidate();
    for (int i = 0; i < 512; ++i) FontResolver::ctFont(canvasFont("Arial", 1 + i * 0.25));
    EXPECT_EQ(Probe::cachedFontCount(), 512u);
    FontResolver::ctFont(canvasFont("Arial", 1000));
    EXPECT_EQ(Probe::cachedFontCount(), 1u);
}

TEST(FontResolverFonts, FontsMadeAcrossAnInvalidationAreNotCached) {
    FontResolver::invalidate();
    Probe::setAfterFontMade([] { FontResolver::invalidate(); });
    const auto font = FontResolver::ctFont(canvasFont("Arial", 17));
    Probe::setAfterFontMade(nullptr);
    EXPECT_TRUE(font != nullptr);
    EXPECT_EQ(Probe::cachedFontCount(), 0u);
    EXPECT_NE(FontResolver::ctFont(canvasFont("Arial", 17)), font);
    EXPECT_EQ(Probe::cachedFontCount(), 1u);
    FontResolver::resolveFamily("Arial");
    FontResolver::invalidate();
    EXPECT_EQ(Probe::cachedResolutionCount(), 0u);
}

TEST(FontResolverFamilies, ResolutionCacheIsBounded) {
    FontResolver::invalidate();
    for (std::size_t i = 0; i < FontResolver::MAX_CACHED_RESOLUTIONS; ++i)
        FontResolver::resolveFamily("Family" + std::to_string(i) + ", serif");
    EXPECT_EQ(Probe::cachedResolutionCount(), FontResolver::MAX_CACHED_RESOLUTIONS);
    EXPECT_EQ(FontResolver::resolveFamily("one more, serif"), "Times");
    EXPECT_EQ(Probe::cachedResolutionCount(), 1u);
}

std::vector<std::uint8_t> os2(int ascender, int descender, std::size_t size = 78) {
    std::vector<std::uint8_t> t(size, 0);
    const auto put = [&](std::size_t at, int v) {
        if (at + 1 < t.size()) {
            t[at] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
            t[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
        }
    };
    put(68, ascender);
    put(70, descender);
    return t;
}

TEST(FontResolverEmBox, RatioFromTheOS2Table) {
    struct Case {
        std::vector<std::uint8_t> table;
        std::optional<double> ratio;
    };
    const Case cases[] = {
        {os2(800, -200), 0.8},
        {os2(800, -200, 72), 0.8},
        {os2(800, -200, 71), std::nullopt},
        {os2(-1, -200), std::nullopt},
        {os2(0, -200), 0.0},
        {os2(800, 0), 1.0},
        {os2(800, 100), std::nullopt}, // descender above the baseline: ascent exceeds the total
        {os2(0, 0), std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(FontResolver::typoAscentRatio(c.table), c.ratio);

    EXPECT_EQ(FontResolver::emBoxForRatio(0.8, 16), (FontResolver::EmBox{12.796875, 3.203125}));
    EXPECT_EQ(FontResolver::emBoxForRatio(0.5, 1.0 / 128), (FontResolver::EmBox{0.0, 1.0 / 64})); // 0.25 → 0, 0.5 → 1

    // A real font: its own table through the same helper.
    const auto font = FontResolver::ctFont(canvasFont("Arial", 20));
    const auto table = font->copyTable(gfx::fontTableTag('O', 'S', '/', '2'));
    ASSERT_TRUE(table.has_value());
    const auto ratio = FontResolver::typoAscentRatio(*table);
    ASSERT_TRUE(ratio.has_value());
    EXPECT_EQ(FontResolver::emBox(*font, 20), FontResolver::emBoxForRatio(*ratio, 20));
    EXPECT_EQ(FontResolver::emBox(*font, 20), FontResolver::emBox(*font, 20)); // cached
}

TEST(FontResolverConcurrency, ManyThreadsResolveAndInvalidate) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 150; ++i) {
                const auto f = FontResolver::ctFont(canvasFont(i % 3 ? "Arial, serif" : "monospace", 8 + (i + t) % 20, i % 2));
                if (!f || f->size() <= 0) ++failures;
                const auto box = FontResolver::emBox(*f, f->size());
                if (!(box.ascent > 0)) ++failures;
                if (FontResolver::resolveFamily("NoSuch" + std::to_string(i) + ", serif") != "Times") ++failures;
                if (t == 0 && i % 25 == 0) FontResolver::invalidate();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
} // namespace dv
