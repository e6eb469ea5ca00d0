#include "DVRender/Canvas/CGDrawingContext.hpp"

#include "DVRender/Canvas/FontResolver.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVText/TextMetrics.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"
#include "Platform/Text/Font.hpp"
#include "tests/support/FatalGLibWarnings.hpp"
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace dv {
namespace {

using namespace std::string_literals;
using test::TestSurface;

struct Canvas {
    TestSurface surface;
    std::shared_ptr<CGDrawingContext> ctx;
    Canvas(int w, int h)
        : surface(w, h), ctx(std::make_shared<CGDrawingContext>(std::make_shared<gfx::GraphicsContext>(surface.get()))) {}
    CGDrawingContext* operator->() { return ctx.get(); }
};

CanvasFont parsed(const std::string& font) { return *CanvasFont::parse(font); }

// ---- paths, fills and clips ----------------------------------------------------------------

TEST(CGDrawingContextPaths, FillRulesAndEmptyClip) {
    ASSERT_TRUE(test::glibWarningsAreFatal);
    struct Case {
        FillRule rule;
        int innerAlpha;
    };
    for (const Case c : {Case{FillRule::nonzero, 255}, Case{FillRule::evenodd, 0}}) {
        Canvas cv(100, 100);
        cv->setFillStyle("#ff0000");
        cv->rect(10, 10, 80, 80);
        cv->rect(30, 30, 40, 40);
        cv->fill(c.rule);
        EXPECT_EQ(cv.surface.at(15, 15).r, 255);
        EXPECT_EQ(cv.surface.alpha(50, 50), c.innerAlpha);
    }
    Canvas cv(20, 20);
    cv->save();
    cv->clip();
    cv->fillRect(0, 0, 20, 20);
    EXPECT_EQ(cv.surface.inkedTotal(), 0);
    cv->restore();
    cv->fillRect(0, 0, 20, 20);
    EXPECT_EQ(cv.surface.inkedTotal(), 400);
}

TEST(CGDrawingContextPaths, FillThenStrokeUsesTheSamePath) {
    Canvas cv(60, 60);
    cv->rect(20, 20, 20, 20);
    cv->fill();
    cv->setStrokeStyle("#0000ff");
    cv->setLineWidth(4);
    cv->stroke();
    EXPECT_EQ(cv.surface.at(18, 30).b, 255);
    EXPECT_EQ(cv.surface.at(30, 30).b, 0);
    EXPECT_EQ(cv.surface.at(30, 30).a, 255);
}

TEST(CGDrawingContextPaths, SingularTransformDrawsNothingButFillKeepsTheEarlierPath) {
    Canvas cv(100, 100);
    cv->setFont("20px sans-serif");
    cv->rect(10, 10, 20, 20);
    cv->scale(0, 1);
    cv->lineTo(90, 90); // dropped
    cv->stroke();
    cv->fillRect(50, 50, 40, 40);
    cv->strokeRect(50, 50, 40, 40);
    cv->fillText("Hello", 50, 80);
    cv->fillCircles({{70, 70}}, 10);
    EXPECT_EQ(cv.surface.inkedTotal(), 0);
    EXPECT_TRUE(cv.ctx->cgContext()->isHealthy());

    Canvas kept(100, 100);
    kept->rect(10, 10, 20, 20);
    kept->scale(0, 1);
    kept->lineTo(90, 90);
    kept->fill();
    EXPECT_EQ(kept.surface.inked(0, 0, 100, 100), 400); // the rectangle alone
    // One setTransform back to an invertible matrix brings everything back.
    kept->setTransform(2, 0, 0, 2, 0, 0);
    kept->fillRect(30, 30, 5, 5);
    EXPECT_EQ(kept.surface.alpha(65, 65), 255);
    EXPECT_EQ(kept.surface.alpha(71, 71), 0);
    EXPECT_TRUE(kept.ctx->cgContext()->isHealthy());
}

// A transform whose determinant is a few subnormals is invertible, but its inverse overflows:
// whatever transform comes after it must still reach the bitmap whole.
TEST(CGDrawingContextPaths, TransformsAfterANearlySingularOneTakeEffect) {
    struct Case {
        const char* what;
        void (*after)(CGDrawingContext&);
    };
    const Case cases[] = {
        {"setTransform", [](CGDrawingContext& c) { c.setTransform(1, 0, 0, 1, 0, 0); }},
        {"resetTransform", [](CGDrawingContext& c) { c.resetTransform(); }},
        {"restore", [](CGDrawingContext& c) { c.restore(); }},
    };
    for (const Case& c : cases) {
        Canvas cv(40, 40);
        cv->save();
        cv->setTransform(-1, -12.114, 5e-324, 0, 0, 0);
        cv->fillRect(0, 0, 1, 1);
        c.after(*cv.ctx);
        cv->fillRect(10, 10, 10, 10);
        EXPECT_EQ(cv.surface.inked(0, 0, 40, 40), 100) << c.what;
        EXPECT_EQ(cv.surface.alpha(15, 15), 255) << c.what;
        EXPECT_TRUE(cv.ctx->cgContext()->isHealthy()) << c.what;
    }
}

TEST(CGDrawingContextState, UnusableInputLeavesStateAndDrawingIntact) {
    Canvas cv(40, 40);
    cv->restore(); // nothing saved
    cv->setTransform(1, 0, 0, 1, std::numeric_limits<double>::infinity(), 0);
    EXPECT_EQ(cv->state().transform, CanvasMatrix::identity());
    cv->setFillStyle("#00ff00");
    cv->setFillStyle("no such colour");
    EXPECT_EQ(cv->fillStyle(), "no such colour");
    cv->fillRect(0, 0, 10, 10);
    EXPECT_EQ(cv.surface.at(5, 5).g, 255); // still the last usable colour
    cv->save();
    cv->setFillStyle("#0000ff");
    cv->translate(20, 20);
    cv->restore();
    cv->fillRect(0, 20, 10, 10);
    EXPECT_EQ(cv.surface.at(5, 25).g, 255);
    EXPECT_EQ(cv.surface.alpha(25, 25), 0);
    EXPECT_TRUE(cv.ctx->cgContext()->isHealthy());
}

// Every element sets its colours again: each text keeps its own colour whatever was parsed
// before it, over more colours than are kept and texts alike but for one character.
TEST(CGDrawingContextState, ColoursKeepTheirValuesWhenSetOverAndOver) {
    struct Row {
        std::string css;
        std::optional<gfx::Color> expected;
    };
    const std::string longName(100, 'r');
    const std::vector<Row> rows = {
        {"#ff0000", gfx::Color{1, 0, 0, 1}},          {"#ff0001", gfx::Color{1, 0, 1.0 / 255, 1}},
        {"#00ff00", gfx::Color{0, 1, 0, 1}},          {"#0000ff", gfx::Color{0, 0, 1, 1}},
        {"#f00", gfx::Color{1, 0, 0, 1}},             {"transparent", gfx::Color{0, 0, 0, 0}},
        {"white", gfx::Color{1, 1, 1, 1}},            {"black", gfx::Color{0, 0, 0, 1}},
        {"#1e1e1e", gfx::Color{30.0 / 255, 30.0 / 255, 30.0 / 255, 1}},
        {"#a5d8ff", gfx::Color{165.0 / 255, 216.0 / 255, 1, 1}},
        {"no such colour", std::nullopt},             {"#ff000", std::nullopt},
        {longName, std::nullopt},                     {"", std::nullopt},
    };
    for (int round = 0; round < 3; ++round) {
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const Row& row = rows[round == 1 ? rows.size() - 1 - k : k];
            SCOPED_TRACE(row.css);
            for (int twice = 0; twice < 2; ++twice) {
                const std::optional<gfx::Color> got = CGDrawingContext::color(row.css);
                ASSERT_EQ(got.has_value(), row.expected.has_value());
                if (!got) continue;
                EXPECT_NEAR(got->red, row.expected->red, 1e-9);
                EXPECT_NEAR(got->green, row.expected->green, 1e-9);
                EXPECT_NEAR(got->blue, row.expected->blue, 1e-9);
                EXPECT_NEAR(got->alpha, row.expected->alpha, 1e-9);
            }
        }
    }
}

// ---- strokes and shadows ------------------------------------------------------------------

TEST(CGDrawingContextStrokes, DashesAndCaps) {
    struct Case {
        std::vector<double> dash;
        bool solid;
    };
    for (const Case& c : {Case{{4, 4}, false}, Case{{0, 0}, true}, Case{{}, true}}) {
        Canvas cv(60, 20);
        cv->setLineWidth(2);
        cv->setLineDash(c.dash);
        cv->moveTo(0, 10);
        cv->lineTo(60, 10);
        cv->stroke();
        for (int x = 0; x < 56; ++x) EXPECT_EQ(cv.surface.alpha(x, 10) > 0, c.solid || (x / 4) % 2 == 0) << x;
    }
    Canvas round(60, 20);
    round->setLineWidth(2);
    round->setLineCap("round");
    round->moveTo(10, 10);
    round->lineTo(50, 10);
    round->stroke();
    EXPECT_EQ(round.surface.inkColumns(), (std::pair<int, int>{9, 50}));
}

TEST(CGDrawingContextShadows, DirectionExtentAndSwitches) {
    Canvas down(100, 100);
    down->setShadowColor("#000000");
    down->setShadowOffsetY(10);
    down->setFillStyle("#ff0000");
    down->fillRect(20, 20, 20, 20);
    EXPECT_EQ(down.surface.at(30, 45).a, 255);
    EXPECT_EQ(down.surface.at(30, 45).r, 0);
    EXPECT_EQ(down.surface.alpha(30, 15), 0);

    // The blurred shadow fades away from the edge and stays within the drawn-bounds pad
    // max(|dx|, |dy|) + 1.5·blur + 1 = 26 around the rectangle.
    Canvas blur(120, 120);
    blur->setShadowColor("#000000");
    blur->setShadowOffsetY(10);
    blur->setShadowBlur(10);
    blur->fillRect(40, 40, 20, 20);
    int previous = 256;
    for (int y = 61; y < 120; ++y) {
        const int a = blur.surface.alpha(50, y);
        EXPECT_LE(a, previous) << y;
        previous = a;
    }
    EXPECT_EQ(blur.surface.inked(0, 0, 120, 40 - 26), 0);
    EXPECT_EQ(blur.surface.inked(0, 60 + 26, 120, 120), 0);
    EXPECT_EQ(blur.surface.inked(0, 0, 40 - 26, 120), 0);
    EXPECT_GT(blur.surface.alpha(50, 65), 0);

    struct Case {
        const char* colour;
        double blurRadius;
        LevelOfDetail level;
    };
    for (const Case& c : {Case{"rgba(0, 0, 0, 0)", 10, LevelOfDetail::full()}, Case{"#000", 0, LevelOfDetail::full()},
                          Case{"#000", 10, LevelOfDetail::canvas(0.1)}}) {
        Canvas cv(60, 60);
        cv->setLevelOfDetail(c.level);
        cv->setShadowColor(c.colour);
        cv->setShadowBlur(c.blurRadius);
        cv->fillRect(20, 20, 20, 20);
        EXPECT_EQ(cv.surface.inkedTotal(), 400) << c.colour;
    }
}

TEST(CGDrawingContextShadows, NoShadowLeaksIntoAnOperationWithout) {
    Canvas cv(80, 80);
    cv->setShadowColor("#000");
    cv->setShadowOffsetX(30);
    cv->save();
    cv->fillRect(0, 0, 10, 10);
    cv->restore();
    cv->setShadowColor("rgba(0,0,0,0)");
    cv->fillRect(0, 40, 10, 10);
    EXPECT_GT(cv.surface.inked(30, 0, 40, 10), 0);
    EXPECT_EQ(cv.surface.inked(30, 40, 40, 50), 0);
}

// ---- circles --------------------------------------------------------------------------------

TEST(CGDrawingContextCircles, SmallDotsAreSquaresLargerOnesCircles) {
    Canvas small(20, 20);
    small->moveTo(0, 0);
    small->lineTo(19, 0);
    small->lineTo(19, 19);
    small->fillCircles({{5, 5}, {12, 12}}, 1);
    EXPECT_EQ(small.surface.inkedTotal(), 8);
    for (auto [x, y] : {std::pair{4, 4}, {5, 5}, {11, 11}, {12, 12}}) EXPECT_EQ(small.surface.alpha(x, y), 255);
    small->fill(); // the path was discarded
    EXPECT_EQ(small.surface.inkedTotal(), 8);

    Canvas big(20, 20);
    big->scale(2, 2);
    big->fillCircles({{5, 5}}, 1); // device radius 2
    int partial = 0;
    for (int y = 6; y < 14; ++y)
        for (int x = 6; x < 14; ++x) partial += big.surface.alpha(x, y) > 0 && big.surface.alpha(x, y) < 255;
    EXPECT_GT(partial, 0);
    EXPECT_EQ(big.surface.alpha(10, 10), 255);
    EXPECT_LT(big.surface.alpha(8, 8), 255); // the corner of the square is not filled
}

// ---- images -------------------------------------------------------------------------------

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned n = (bytes[i] << 16) | ((i + 1 < bytes.size() ? bytes[i + 1] : 0) << 8) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
    }
    return out;
}

// A PNG image from premultiplied ARGB words, resolved as a board would resolve it.
std::shared_ptr<RenderImage> pngImage(int w, int h, const std::vector<std::uint32_t>& words) {
    const auto png = gfx::encodePNG({reinterpret_cast<const std::uint8_t*>(words.data()), w, h, w * 4});
    const auto lookup = RenderImage::make("data:image/png;base64," + base64(*png));
    return lookup.image;
}

TEST(CGDrawingContextImages, MirroredHardEdgedAndSafeWithExtremeSizes) {
    const auto redBlue = pngImage(2, 1, {0xFFFF0000u, 0xFF0000FFu});
    ASSERT_TRUE(redBlue);
    Canvas mirrored(20, 10);
    mirrored->drawImage(redBlue, 10, 0, -10, 10);
    EXPECT_EQ(mirrored.surface.at(1, 5).b, 255);
    EXPECT_EQ(mirrored.surface.at(8, 5).r, 255);
    EXPECT_EQ(mirrored.surface.inked(10, 0, 20, 10), 0);

    const auto green = pngImage(16, 16, std::vector<std::uint32_t>(256, 0xFF00FF00u));
    ASSERT_TRUE(green);
    Canvas scaled(100, 100);
    scaled->drawImage(green, 10, 10, 80, 80);
    for (auto [x, y] : {std::pair{10, 10}, {11, 11}, {89, 89}, {10, 89}}) EXPECT_EQ(scaled.surface.alpha(x, y), 255);
    EXPECT_EQ(scaled.surface.alpha(9, 9), 0);
    EXPECT_EQ(scaled.surface.alpha(90, 90), 0);

    Canvas nothing(20, 20);
    nothing->drawImage(green, 0, 0, 0, 10);
    nothing->drawImage(green, 0, 0, 10, std::numeric_limits<double>::infinity());
    nothing->drawImage(nullptr, 0, 0, 10, 10);
    nothing->scale(0, 1);
    nothing->drawImage(green, 0, 0, 10, 10);
    EXPECT_EQ(nothing.surface.inkedTotal(), 0);

    // A device size far beyond any integer: capped before it becomes one.
    Canvas huge(20, 20);
    huge->drawImage(green, 0, 0, 1e300, 1e300);
    huge->setGlobalAlpha(0.5);
    huge->scale(1e200, 1e200);
    huge->drawImage(green, 0, 0, 1e200, 1);
    EXPECT_EQ(huge.surface.alpha(5, 5), 255);
    EXPECT_TRUE(huge.ctx->cgContext()->isHealthy());
}

// ---- text -----------------------------------------------------------------------------------

TEST(CGDrawingContextText, PreparingAndSplitting) {
    EXPECT_EQ(CGDrawingContext::prepareCanvasText("a\tb\nc\fd\re\vf"), "a b c d e\vf");
    struct Case {
        std::string text;
        bool splits;
    };
    const Case cases[] = {
        {"a b", true},
        {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d", false}, // Hebrew
        {"a \xd8\xb9", false},                                                   // Arabic
        {"x \xe2\x80\x8f", false},                                               // RLM
        {"x \xee\x80\x80", false},                                               // private use
        {"a \xcc\x81x", false},                                                  // space + combining mark
        {"a  b", true},
        // Marks that join a space into one cluster, and non-ASCII neighbours that do not.
        {"a\xe0\xb5\x8e b", false},          // prepended mark before the space
        {"a \xe2\x80\x8d" "b", false},        // zero-width joiner after it
        {"a \xe0\xa4\x83", false},            // spacing mark after it, at the end
        {"\xe6\x97\xa5\xe6\x9c\xac \xc3\x9c" "ber", true},
        {"\xe0\xa4\x95 \xe0\xa4\x95", true}, // letters on both sides
    };
    for (const Case& c : cases) EXPECT_EQ(CGDrawingContext::canSplitAtSpaces(c.text), c.splits) << c.text;

    const auto font = FontResolver::ctFont(parsed("20px sans-serif"));
    const auto layout = CGDrawingContext::textRunLayout(*font, "a b");
    ASSERT_EQ(layout.runs, (std::vector<std::string>{"a", " ", "b"}));
    const double a = gfx::TextLine(*font, "a").typographicWidth();
    const double space = gfx::TextLine(*font, " ").typographicWidth();
    EXPECT_EQ(layout.offsets, (std::vector<double>{0, a, a + space}));
    EXPECT_EQ(CGDrawingContext::textRunLayout(*font, cases[1].text).runs.size(), 1u);
}

// Draws one text and returns the canvas.
std::unique_ptr<Canvas> drawText(const std::string& text, double x, double y, const std::string& align = "start",
                                 const std::string& baseline = "alphabetic", const std::string& font = "20px sans-serif") {
    auto cv = std::make_unique<Canvas>(120, 80);
    (*cv)->setFont(font);
    (*cv)->setTextAlign(align);
    (*cv)->setTextBaseline(baseline);
    (*cv)->fillText(text, x, y);
    return cv;
}

TEST(CGDrawingContextText, AlignmentPutsTheInkOnTheRightSide) {
    struct Case {
        const char* align;
        int minLeft, maxLeft, minRight, maxRight;
    };
    const auto font = FontResolver::ctFont(parsed("20px sans-serif"));
    const double w = gfx::TextLine(*font, "Hi").typographicWidth();
    const int iw = static_cast<int>(w);
    const Case cases[] = {
        {"start", 60, 63, 60 + iw - 6, 60 + iw + 1},
        {"left", 60, 63, 60 + iw - 6, 60 + iw + 1},
        {"end", 60 - iw, 60 - iw + 3, 54, 60},
        {"right", 60 - iw, 60 - iw + 3, 54, 60},
        {"center", 60 - iw / 2 - 1, 60 - iw / 2 + 3, 60 + iw / 2 - 6, 60 + iw / 2 + 1},
    };
    for (const Case& c : cases) {
        const auto cv = drawText("Hi", 60, 50, c.align);
        const auto [left, right] = cv->surface.inkColumns();
        EXPECT_GE(left, c.minLeft) << c.align;
        EXPECT_LE(left, c.maxLeft) << c.align;
        EXPECT_GE(right, c.minRight) << c.align;
        EXPECT_LE(right, c.maxRight) << c.align;
    }
}

TEST(CGDrawingContextText, BaselinesFollowTheEmBox) {
    const auto font = FontResolver::ctFont(parsed("20px sans-serif"));
    const auto em = FontResolver::emBox(*font, 20);
    // "H" sits on the baseline: its lowest inked row is the row just above it.
    struct Case {
        const char* baseline;
        double shift;
    };
    const Case cases[] = {
        {"alphabetic", 0},
        {"top", em.ascent},
        {"middle", (em.ascent - em.descent) / 2},
        {"bottom", -em.descent},
        {"ideographic", -font->descent()},
        {"hanging", 0.8 * font->ascent()},
    };
    for (const Case& c : cases) {
        const auto cv = drawText("H", 20, 40, "start", c.baseline);
        const int baselineRow = static_cast<int>(std::ceil(40 + c.shift - 0.5));
        EXPECT_EQ(cv->surface.inkRows().second, baselineRow - 1) << c.baseline;
    }
}

TEST(CGDrawingContextText, BaselinesSnapToWholeRowsRoundingHalvesUp) {
    struct Case {
        double y;
        double same;
    };
    for (const Case c : {Case{40.5, 40}, Case{40.4, 40}, Case{40.6, 41}, Case{39.5, 39}}) {
        const auto a = drawText("Hg", 20, c.y);
        const auto b = drawText("Hg", 20, c.same);
        EXPECT_TRUE(a->surface.samePixels(b->surface)) << c.y;
    }
}

TEST(CGDrawingContextText, SpacesTabsAndNulDrawAsExpected) {
    const auto spaced = drawText("a b", 10, 40);
    EXPECT_TRUE(drawText("a\tb", 10, 40)->surface.samePixels(spaced->surface));
    // Drawn in runs, the ink matches one layout of the whole text within antialiasing.
    const auto font = FontResolver::ctFont(parsed("20px sans-serif"));
    TestSurface whole(120, 80);
    {
        gfx::GraphicsContext g(whole.get());
        gfx::TextLine line(*font, "a b");
        const gfx::TextLine::Placed placed[] = {{&line, 0}};
        gfx::TextLine::draw(g, placed, 10, 40);
    }
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x) ASSERT_NEAR(spaced->surface.alpha(x, y), whole.alpha(x, y), 2) << x << "," << y;

    // A label holding U+0000 is drawn whole, not cut at the NUL.
    const auto nul = drawText("ab\0cd"s, 10, 40);
    const auto plain = drawText("abcd", 10, 40);
    EXPECT_TRUE(nul->surface.samePixels(plain->surface));
    EXPECT_GT(nul->surface.inkColumns().second, drawText("ab", 10, 40)->surface.inkColumns().second + 10);
    EXPECT_EQ(drawText("", 10, 40)->surface.inkedTotal(), 0);
    EXPECT_EQ(drawText("x", 10, 40, "start", "alphabetic", "0px serif")->surface.inkedTotal(), 0);
}

TEST(CGDrawingContextText, FallbackGlyphsAndRightToLeftLines) {
    struct Case {
        std::string text;
        const char* font;
    };
    const Case cases[] = {
        {"\xe2\x9a\xa0", "12px monospace"},                                          // ⚠
        {"\xe6\xbc\xa2", "20px serif"},                                              // 漢
        {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d", "20px sans-serif"}, // שלום עולם
    };
    for (const Case& c : cases) {
        const auto cv = drawText(c.text, 10, 40, "start", "alphabetic", c.font);
        EXPECT_GT(cv->surface.inkedTotal(), 15) << c.text;
    }
    // The image-error label: the warning sign gets ink of its own ahead of the words.
    const auto label = drawText("\xe2\x9a\xa0 image error", 2, 40, "start", "alphabetic", "12px monospace");
    EXPECT_GT(label->surface.inked(2, 20, 9, 45), 10);
}

TEST(CGDrawingContextText, TinyTextBecomesABarAtALevelOfDetail) {
    Canvas cv(60, 30);
    cv->setLevelOfDetail({4, false});
    cv->setFont("2px sans-serif");
    cv->fillText("Hello", 10, 20);
    const double width = measureTextWidth("Hello", 2, "sans-serif", false);
    // top = 20 − 0.8·2 = 18.4; the bar spans 18.8 … 20.0.
    EXPECT_NEAR(cv.surface.alpha(10, 19), 102, 2);
    EXPECT_NEAR(cv.surface.alpha(10, 18), 20, 2);
    EXPECT_EQ(cv.surface.alpha(10, 20), 0);
    EXPECT_EQ(cv.surface.inkColumns().second, static_cast<int>(std::ceil(10 + width)) - 1);
}

// ---- record and replay ----------------------------------------------------------------------

void paintScene(DrawingContext& c) {
    c.setFillStyle("#336699");
    c.fillRect(5, 5, 30, 20);
    c.save();
    c.translate(40, 10);
    c.rotate(0.3);
    c.setStrokeStyle("rgba(200, 30, 30, 0.8)");
    c.setLineWidth(3);
    c.setLineJoin("round");
    c.beginPath();
    c.moveTo(0, 0);
    c.quadraticCurveTo(20, 40, 50, 10);
    c.bezierCurveTo(60, 0, 70, 30, 40, 45);
    c.arcTo(10, 50, 0, 20, 8);
    c.closePath();
    c.stroke();
    c.restore();
    c.setLineDash({6, 3});
    c.beginPath();
    c.ellipse(60, 60, 25, 12, 0.4, 0, 5);
    c.roundRect(10, 50, 30, 25, 6);
    c.fill(FillRule::evenodd);
    c.stroke();
    c.setFont("bold 14px serif");
    c.setTextAlign("center");
    c.setGlobalAlpha(0.7);
    c.fillText("Board \xe6\xbc\xa2 A b", 60, 95);
    c.fillCircles({{100, 10}, {110, 10}}, 2);
    c.setLineDash({});
    c.strokeRect(2.5, 2.5, 115, 95);
}

TEST(CGDrawingContextReplay, ReplayingARecordingPaintsTheSamePixels) {
    Canvas direct(120, 100);
    paintScene(*direct.ctx);
    RecordingContext recorder;
    paintScene(recorder);
    Canvas replayed(120, 100);
    recorder.displayList().replay(*replayed.ctx);
    EXPECT_GT(direct.surface.inkedTotal(), 1000);
    EXPECT_TRUE(direct.surface.samePixels(replayed.surface));
    EXPECT_EQ(direct->state(), replayed->state());
}

} // namespace
} // namespace dv

namespace dv {
namespace {

// Random call sequences with hostile numbers and texts: nothing may crash, the graphics
// context never enters an error state, and drawing still works afterwards.
TEST(CGDrawingContextRobustness, RandomCallSequencesLeaveAWorkingContext) {
    const double specials[] = {0, -0.0, 1, -1, 0.5, 3, 17.25, 1e-300, 1e7, -1e7, 1e300, -1e300,
                               std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min(), 50, 99.5};
    const std::string texts[] = {"", "a", "a b", "\0x"s, "\xd7\xa9\xd7\x9c \xd7\x95", "\xe2\x9a\xa0", std::string(2000, 'w'),
                                 "\xff\xfe", "e\xcc\x81 \xcc\x81", "\t\n\r\f\v"};
    const std::string fonts[] = {"10px sans-serif", "bold italic 30px serif", "1e-300px x", "1000px monospace"};
    const std::string colours[] = {"#f00", "rgba(0,0,255,0.5)", "bogus", "transparent", "#000"};
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    auto num = [&] { return specials[next() % std::size(specials)]; };
    const auto image = pngImage(3, 2, std::vector<std::uint32_t>(6, 0xFF808080u));
    for (int round = 0; round < 4; ++round) {
        Canvas cv(100, 100);
        for (int i = 0; i < 600; ++i) {
            switch (next() % 24) {
            case 0: cv->save(); break;
            case 1: cv->restore(); break;
            case 2: cv->translate(num(), num()); break;
            case 3: cv->rotate(num()); break;
            case 4: cv->scale(num(), num()); break;
            case 5: cv->setTransform(num(), num(), num(), num(), num(), num()); break;
            case 6: cv->setLineDash({num(), num(), num()}); break;
            case 7: cv->moveTo(num(), num()); break;
            case 8: cv->lineTo(num(), num()); break;
            case 9: cv->bezierCurveTo(num(), num(), num(), num(), num(), num()); break;
            case 10: cv->arc(num(), num(), num(), num(), num(), next() % 2); break;
            case 11: cv->ellipse(num(), num(), num(), num(), num(), num(), num(), next() % 2); break;
            case 12: cv->arcTo(num(), num(), num(), num(), num()); break;
            case 13: cv->roundRect(num(), num(), num(), num(), num()); break;
            case 14: cv->clip(next() % 2 ? FillRule::evenodd : FillRule::nonzero); break;
            case 15: cv->fill(); break;
            case 16: cv->stroke(); break;
            case 17: cv->fillRect(num(), num(), num(), num()); break;
            case 18: cv->fillText(texts[next() % std::size(texts)], num(), num()); break;
            case 19: cv->drawImage(image, num(), num(), num(), num()); break;
            case 20: cv->fillCircles({{num(), num()}, {num(), num()}}, num()); break;
            case 21: cv->setFont(fonts[next() % std::size(fonts)]); break;
            case 22:
                cv->setShadowColor(colours[next() % std::size(colours)]);
                cv->setShadowBlur(num());
                cv->setShadowOffsetY(num());
                break;
            default:
                cv->setFillStyle(colours[next() % std::size(colours)]);
                cv->setLineWidth(num());
                break;
            }
            ASSERT_TRUE(cv.ctx->cgContext()->isHealthy()) << round << ":" << i;
        }
        // A clip made outside any save stays; a fresh unclipped context draws normally.
        for (int k = 0; k < 300; ++k) cv->restore();
        cv->resetTransform();
        cv->fillRect(0, 0, 100, 100);
        EXPECT_TRUE(cv.ctx->cgContext()->isHealthy());
    }
}

} // namespace
} // namespace dv
