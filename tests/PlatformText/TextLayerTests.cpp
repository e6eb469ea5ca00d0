#include "Platform/Graphics/MemoryHeadroom.hpp"
#include "Platform/Text/Font.hpp"
#include "Platform/Text/FontSystem.hpp"
#include "Platform/Text/detail/FontContext.hpp"

#include "tests/support/FatalGLibWarnings.hpp"
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace dv::gfx {
namespace {

using namespace std::string_literals;
using test::Pixel;
using test::TestSurface;

std::shared_ptr<const Font> font(const std::string& family, double size = 20, bool bold = false, bool italic = false) {
    return Font::create({family, bold, italic, size});
}

double width(const Font& f, std::string_view text) { return TextLine(f, text).typographicWidth(); }

TEST(FontSystem, AliasesLandOnInstalledFontsAndAreListed) {
    struct Case {
        const char* family;
        const char* postScriptPrefix;
    };
    const Case cases[] = {
        {"Helvetica", "LiberationSans"},  {"Helvetica Neue", "LiberationSans"}, {"Arial", "LiberationSans"},
        {"Times", "LiberationSerif"},     {"Times New Roman", "LiberationSerif"}, {"Georgia", "DejaVuSerif"},
        {"Courier", "LiberationMono"},    {"Courier New", "LiberationMono"},   {"Menlo", "DejaVuSansMono"},
        {"Apple Chancery", "DejaVuSerif"}, {"Papyrus", "DejaVuSans"},
    };
    const auto names = FontSystem::availableFamilyNames();
    for (const Case& c : cases) {
        EXPECT_EQ(font(c.family)->postScriptName().rfind(c.postScriptPrefix, 0), 0u)
            << c.family << " → " << font(c.family)->postScriptName();
        EXPECT_NE(std::find(names.begin(), names.end(), c.family), names.end()) << c.family;
    }
    for (const char* installed : {"DejaVu Sans", "Liberation Serif", "WenQuanYi Micro Hei"})
        EXPECT_NE(std::find(names.begin(), names.end(), installed), names.end()) << installed;
}

TEST(FontSystem, FoldsCaseOverUnicodeAndRepairsBadText) {
    ASSERT_TRUE(test::glibWarningsAreFatal);
    EXPECT_EQ(FontSystem::foldCase("DejaVu SANS"), "dejavu sans");
    EXPECT_EQ(FontSystem::foldCase("ÉCOLE Ω"), "école ω");
    EXPECT_EQ(FontSystem::foldCase("A\xff"), "a\xef\xbf\xbd");
    EXPECT_EQ(FontSystem::foldCase("A\0B"s), "a\xef\xbf\xbd" "b");
}

TEST(FontSystem, PollingIsRateLimitedAndQuietWhenNothingChanged) {
    font("Helvetica");
    const auto generation = FontSystem::generation();
    FontSystem::pollForChanges();
    EXPECT_FALSE(FontSystem::pollForChanges());
    EXPECT_EQ(FontSystem::generation(), generation);
}

TEST(Font, TraitsSizesMetricsAndTables) {
    EXPECT_EQ(font("Liberation Sans", 12, true, false)->postScriptName(), "LiberationSans-Bold");
    EXPECT_EQ(font("Liberation Sans", 12, false, true)->postScriptName(), "LiberationSans-Italic");
    EXPECT_EQ(font("Liberation Sans", 12, true, true)->postScriptName(), "LiberationSans-BoldItalic");
    for (double bad : {0.0, -3.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(font("Helvetica", bad)->size(), 10) << bad;

    // Liberation Sans: hhea ascender 1854, descender -434, 2048 units per em.
    const auto f = font("Helvetica", 20.48);
    EXPECT_NEAR(f->ascent(), 18.54, 1e-9);
    EXPECT_NEAR(f->descent(), 4.34, 1e-9);
    const auto os2 = f->copyTable(fontTableTag('O', 'S', '/', '2'));
    ASSERT_TRUE(os2.has_value());
    EXPECT_GE(os2->size(), 72u);
    EXPECT_FALSE(f->copyTable(fontTableTag('z', 'z', 'z', 'z')).has_value());
}

TEST(TextLine, WidthsAddUpAcrossRunsAndControlsAreDropped) {
    const auto f = font("Helvetica", 20);
    const double a = width(*f, "a"), space = width(*f, " "), b = width(*f, "b");
    EXPECT_GT(a, 0);
    EXPECT_NEAR(width(*f, "a b"), a + space + b, 1e-6);
    EXPECT_NEAR(width(*f, "a\tb"), a + space + b, 1e-6);
    EXPECT_NEAR(width(*f, "a\0b"s), width(*f, "ab"), 1e-6);
    EXPECT_NEAR(width(*f, "a\x01\x1b" "b"), width(*f, "ab"), 1e-6);
    EXPECT_NEAR(width(*f, "a\xff"), width(*f, "a\xef\xbf\xbd"), 1e-6);
    EXPECT_NEAR(width(*f, "  "), 2 * space, 1e-6); // trailing spaces count
    EXPECT_EQ(width(*f, ""), 0);
    // Widths are in user units: doubling the size doubles them.
    EXPECT_NEAR(width(*font("Helvetica", 40), "Hello"), 2 * width(*f, "Hello"), 1e-3);
}

TEST(TextLine, WithoutRoomForPangosFontThreadsTextRunsOutOfMemoryRatherThanEndingTheProcess) {
    struct Headroom {
        explicit Headroom(std::size_t bytes) { detail::setMemoryHeadroomForTesting(bytes); }
        ~Headroom() { detail::setMemoryHeadroomForTesting(std::nullopt); }
    };
    const auto f = font("Helvetica", 20);
    const double shown = width(*f, "Hello");
    {
        Headroom none(1 << 20);
        EXPECT_THROW(TextLine(*f, "Hello"), std::bad_alloc);
        EXPECT_THROW(font("Helvetica", 21.5), std::bad_alloc);
    }
    {
        Headroom room(std::size_t{1} << 30);
        EXPECT_EQ(width(*f, "Hello"), shown);
        EXPECT_GT(width(*font("Helvetica", 22.5), "Hello"), 0);
    }
}

TEST(TextLine, LongLinesAtLargeSizesMeasureAndDraw) {
    // A word of 10,000 letters kept whole in a text box at a large size runs to millions of
    // pixels: its width still adds up, and it still inks the picture where it starts.
    struct Case {
        double size;
        std::size_t letters;
    };
    for (const Case c : {Case{20, 10000}, Case{300, 10000}, Case{1000, 10000}, Case{20000, 40}, Case{1000, 100000}}) {
        const auto f = font("DejaVu Sans", c.size);
        const std::string word(c.letters, 'W');
        const TextLine line(*f, word);
        const double one = width(*f, "W");
        EXPECT_NEAR(line.typographicWidth(), static_cast<double>(c.letters) * one, 1e-4 * line.typographicWidth())
            << c.size << " px, " << c.letters << " letters";
        TestSurface s(60, 60);
        GraphicsContext g(s.get());
        g.scaleCTM(20 / c.size, 20 / c.size);
        const TextLine::Placed placed[] = {{&line, 0}};
        TextLine::draw(g, placed, 0, 40 * c.size / 20);
        EXPECT_GT(s.inkedTotal(), 100) << c.size << " px, " << c.letters << " letters";
    }
}

TEST(TextLine, SharedLinesAnswerOnlyForAnEqualFontAndText) {
    // Each case asks for a line that differs from "Hello" in Helvetica 20 in one respect; a
    // shared line must never be handed out for a font or text it was not shaped with.
    const auto base = font("Helvetica", 20);
    const auto first = TextLine::shared(*base, "Hello");
    EXPECT_NEAR(first->typographicWidth(), width(*base, "Hello"), 1e-9);
    EXPECT_EQ(TextLine::shared(*font("Helvetica", 20), "Hello"), first) << "an equal font made again";

    struct Case {
        const char* what;
        std::shared_ptr<const Font> font;
        std::string text;
    };
    const Case cases[] = {
        {"size", font("Helvetica", 20.000001), "Hello"},
        {"bold", font("Helvetica", 20, true), "Hello"},
        {"italic", font("Helvetica", 20, false, true), "Hello"},
        {"family", font("Courier", 20), "Hello"},
        {"text", base, "Hellp"},
        {"text with a NUL", base, "Hel\0lo"s},
        {"prefix", base, "Hell"},
    };
    for (const Case& c : cases) {
        const auto line = TextLine::shared(*c.font, c.text);
        EXPECT_NE(line, first) << c.what;
        EXPECT_NEAR(line->typographicWidth(), width(*c.font, c.text), 1e-9) << c.what;
    }

    // Past the cache's bound lines are still right, and a line made on another thread is the
    // same line (the bands of a picture share their lines).
    for (std::size_t i = 0; i <= TextLine::MAX_SHARED_LINES; ++i) TextLine::shared(*base, std::to_string(i));
    EXPECT_NEAR(TextLine::shared(*base, "Hello")->typographicWidth(), first->typographicWidth(), 1e-9);
    // Lines longer than all the text kept together are still right, and kept until the next.
    const std::string longLine(TextLine::MAX_SHARED_BYTES + 1, 'W');
    const auto wide = TextLine::shared(*base, longLine);
    EXPECT_NEAR(wide->typographicWidth(), width(*base, longLine), 1e-6 * wide->typographicWidth());
    EXPECT_EQ(TextLine::shared(*base, longLine), wide);
    EXPECT_NEAR(TextLine::shared(*base, "Hello")->typographicWidth(), first->typographicWidth(), 1e-9);
    const TextLine* mine = TextLine::shared(*base, "Hello").get();
    const TextLine* theirs = nullptr;
    std::thread([&] { theirs = TextLine::shared(*base, "Hello").get(); }).join();
    EXPECT_EQ(theirs, mine);
}

TEST(TextLine, DrawsOnTheBaselineWithFallbackForMissingGlyphs) {
    struct Case {
        const char* family;
        std::string text;
    };
    const Case cases[] = {
        {"Menlo", "\xe2\x9a\xa0"},             // ⚠
        {"Helvetica", "\xe4\xb8\xad"},         // 中
        {"Helvetica", "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d"}, // שלום
        {"Helvetica", "x\0y"s},
    };
    for (const Case& c : cases) {
        TestSurface s(80, 60);
        GraphicsContext g(s.get());
        const auto f = font(c.family, 24);
        TextLine line(*f, c.text);
        const TextLine::Placed placed[] = {{&line, 0}};
        TextLine::draw(g, placed, 10, 40);
        const auto rows = s.inkRows();
        EXPECT_GT(s.inkedTotal(), 20) << c.text;
        EXPECT_GE(rows.first, 40 - 26) << c.text;
        EXPECT_LE(rows.second, 40 + 8) << c.text;
        const auto cols = s.inkColumns();
        EXPECT_GE(cols.first, 9) << c.text;
        EXPECT_LE(cols.second, 10 + line.typographicWidth() + 2) << c.text;
    }
}

TEST(TextLine, DrawsUnderTheTransformInTheFillColourWithShadow) {
    TestSurface s(100, 60);
    GraphicsContext g(s.get());
    g.setFillColor({0, 0, 1, 1});
    g.setShadow(0, 20, 0, {0, 0, 0, 1});
    g.translateCTM(10, 0);
    const auto f = font("Helvetica", 20);
    TextLine line(*f, "I");
    const TextLine::Placed placed[] = {{&line, 0}};
    TextLine::draw(g, placed, 0, 25);
    const auto cols = s.inkColumns();
    EXPECT_GE(cols.first, 10);
    int blue = 0, shadow = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) {
            const auto p = s.at(x, y);
            if (p.a == 255 && p.b == 255) ++blue;
            if (p.a == 255 && p.b == 0 && y > 25) ++shadow;
        }
    EXPECT_GT(blue, 10);
    EXPECT_GT(shadow, 10);
}

// Pictures drawn in bands show the same text on several threads at once; the pixels are those
// the text has when drawn on one thread.
TEST(TextLine, ThreadsShowTheSameTextAtOnce) {
    auto draw = [](double size) {
        TestSurface s(160, 40);
        GraphicsContext g(s.get());
        g.scaleCTM(0.75, 0.75);
        const auto f = font("Helvetica", size);
        const auto line = TextLine::shared(*f, "Wavy glyphs");
        const TextLine::Placed placed[] = {{line.get(), 0}};
        TextLine::draw(g, placed, 3, 35);
        std::vector<Pixel> pixels;
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) pixels.push_back(s.at(x, y));
        return pixels;
    };
    const std::vector<Pixel> alone = draw(17.25);
    ASSERT_GT(std::count_if(alone.begin(), alone.end(), [](const Pixel& p) { return p.a > 0; }), 50);

    constexpr std::size_t THREADS = 6;
    std::vector<std::vector<Pixel>> drawn(THREADS);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < THREADS; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) drawn[t] = draw(17.25);
        });
    for (std::thread& t : threads) t.join();
    for (std::size_t t = 0; t < THREADS; ++t) {
        ASSERT_EQ(drawn[t].size(), alone.size());
        int differing = 0;
        for (std::size_t i = 0; i < alone.size(); ++i)
            differing += drawn[t][i].r != alone[i].r || drawn[t][i].g != alone[i].g || drawn[t][i].b != alone[i].b ||
                         drawn[t][i].a != alone[i].a;
        EXPECT_EQ(differing, 0) << "thread " << t;
    }
}

// Text is laid out at sizes shared by sizes close together (Pango makes a font for each size it
// is asked for). On the grid the picture is the one laid out at the text's own size, to the
// bit; off it, glyphs are rasterised at their own size and only their places move, by the
// rounding of the shaper's positions: the width stays within a ten-thousandth and hardly a pixel
// changes by more than a few levels.
TEST(TextLine, SizesCloseTogetherShareTheirLayoutSize) {
    struct Case {
        double size;
        bool onGrid;
    };
    const Case cases[] = {{10, true},      {18, true},      {96, true},     {144, true},    {0.5, true},
                          {10.001, false}, {17.25, false},  {17.3, false},  {33.33, false}, {99.9, false},
                          {100, false},    {150.5, false},  {1234.5, false}};
    const std::string text = "Hamburgefonstiv WAVY, 12.5% fi ffl";
    struct Drawn {
        double width;
        std::vector<Pixel> pixels;
    };
    auto draw = [&](double size, bool own) {
        detail::layOutAtOwnSizes(own);
        const auto f = font("Helvetica", size);
        const TextLine line(*f, text);
        detail::layOutAtOwnSizes(false);
        TestSurface s(400, 60);
        GraphicsContext g(s.get());
        g.scaleCTM(30 / size, 30 / size);  // about 30 pixels a line, whatever the size
        const TextLine::Placed placed[] = {{&line, 0}};
        TextLine::draw(g, placed, 0.37 * size, 1.4 * size);
        Drawn d{line.typographicWidth(), {}};
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) d.pixels.push_back(s.at(x, y));
        return d;
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sharedLayoutSize(c.size) == c.size, c.onGrid) << c.size;
        EXPECT_LT(std::fabs(sharedLayoutSize(c.size) - c.size), 0.0625 * c.size) << c.size;
        const Drawn shared = draw(c.size, false), own = draw(c.size, true);
        EXPECT_NEAR(shared.width, own.width, 1e-4 * own.width) << c.size;
        int inked = 0, changed = 0, far = 0;
        for (std::size_t i = 0; i < own.pixels.size(); ++i) {
            const int difference = std::abs(int(shared.pixels[i].a) - int(own.pixels[i].a));
            inked += own.pixels[i].a > 0;
            changed += difference > 0;
            far += difference > 8;
        }
        ASSERT_GT(inked, 500) << c.size;
        if (c.onGrid) {
            EXPECT_EQ(changed, 0) << c.size;
        }
        // A glyph lands on a whole pixel; one just at the middle between two may move over.
        EXPECT_LE(far, inked / 100) << c.size;
    }
}

} // namespace
} // namespace dv::gfx
