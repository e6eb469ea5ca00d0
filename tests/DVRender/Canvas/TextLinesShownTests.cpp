// The lines of a tall text block a context leaves out must never show: each line drawn on its
// own, glyphs and underline, inks a picture only when the context counted it among the lines
// shown, under scales, rotations, clips, shadows and every baseline; and the lines counted stay
// close to those that can show, however many the block has.

#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

namespace dv {
namespace {

using test::TestSurface;

struct Block {
    const char* what;
    double scale = 1, rotation = 0, dy = 0;
    std::string baseline = "top";
    double fontSize = 10;
    double shadowBlur = 0, shadowY = 0;
    bool clipped = false;
    bool underline = false;
};

constexpr int SIDE = 80;

// The state a painter of a text block sets before its lines.
void prepare(CGDrawingContext& c, const Block& s) {
    if (s.clipped) {
        c.beginPath();
        c.rect(10, 30, 50, 12);
        c.clip();
    }
    c.translate(20, s.dy);
    c.scale(s.scale, s.scale);
    c.rotate(s.rotation);
    c.setFont(std::to_string(s.fontSize) + "px sans-serif");
    c.setFillStyle("#000");
    c.setStrokeStyle("#000");
    c.setTextBaseline(s.baseline);
    if (s.shadowBlur > 0 || s.shadowY != 0) {
        c.setShadowColor("rgba(0,0,0,0.9)");
        c.setShadowBlur(s.shadowBlur);
        c.setShadowOffsetY(s.shadowY);
    }
}

double underlineReach(const Block& s) { return s.underline ? s.fontSize + 2 * std::fmax(1.0, s.fontSize * 0.06) : 0; }

void drawLine(CGDrawingContext& c, const Block& s, double y) {
    c.fillText("Wgj", 0, y);
    if (!s.underline) return;
    c.setLineWidth(std::fmax(1.0, s.fontSize * 0.06));
    c.beginPath();
    c.moveTo(0, y + s.fontSize + c.lineWidth());
    c.lineTo(30, y + s.fontSize + c.lineWidth());
    c.stroke();
}

struct Drawn {
    TestSurface surface{SIDE, SIDE};
    CGDrawingContext context{std::make_shared<gfx::GraphicsContext>(surface.get())};
};

TEST(TextLinesShown, LinesLeftOutNeverShow) {
    const Block setups[] = {
        {"plain"},
        {"scaled down", 0.1},
        {"scaled down a lot", 0.01, 0, 0, "alphabetic", 20},
        {"scaled up", 3, 0, -40},
        {"rotated", 1, 0.4},
        {"upside down", 1, 3.14159, 70},
        {"clipped", 0.5, 0, 0, "bottom", 10, 0, 0, true},
        {"blurred shadow", 0.5, 0, 0, "middle", 10, 8},
        {"far shadow", 1, 0, -200, "hanging", 10, 0, 150},
        {"underlined", 0.25, 0, 0, "ideographic", 10, 0, 0, false, true},
        {"underlined at a tiny size", 4, 0, 0, "top", 0.1, 0, 0, false, true},
    };
    constexpr std::size_t LINES = 700;
    for (const Block& s : setups) {
        const double y0 = -30, step = s.fontSize * 1.2;
        Drawn probe;
        prepare(probe.context, s);
        const DrawingContext::LineRange shown = probe.context.textLinesShown(y0, step, underlineReach(s));
        std::size_t inked = 0;
        for (std::size_t i = 0; i < LINES; ++i) {
            Drawn one;
            prepare(one.context, s);
            drawLine(one.context, s, y0 + static_cast<double>(i) * step);
            if (one.surface.inkedTotal() == 0) continue;
            ++inked;
            EXPECT_TRUE(i >= shown.first && i < shown.end)
                << s.what << ": line " << i << " shows, outside [" << shown.first << ", " << shown.end << ")";
        }
        EXPECT_GT(inked, 0u) << s.what;
        // The lines counted are about those within reach of the picture, not the whole block.
        if (s.scale >= 0.05 || s.rotation != 0) {
            EXPECT_LT(shown.end, LINES) << s.what;
            EXPECT_LE(shown.end - shown.first, 3 * inked + 10) << s.what;
        }
    }
}

TEST(TextLinesShown, EveryLineWhereTheContextCannotTell) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const DrawingContext::LineRange all{};
    struct Case {
        const char* what;
        double y0, step, reach;
    };
    for (const Case& c : {Case{"NaN start", nan, 12, 0}, Case{"no step", 0, 0, 0}, Case{"negative step", 0, -12, 0},
                          Case{"infinite step", 0, inf, 0}, Case{"NaN reach", 0, 12, nan}}) {
        Drawn d;
        d.context.setFont("10px sans-serif");
        EXPECT_EQ(d.context.textLinesShown(c.y0, c.step, c.reach), all) << c.what;
    }
    // A recording knows nothing of the picture it will be replayed into.
    RecordingContext recording;
    EXPECT_EQ(recording.textLinesShown(0, 12, 0), all);
    // Clipped away entirely: nothing shows.
    Drawn clipped;
    clipped.context.beginPath();
    clipped.context.clip();
    EXPECT_EQ(clipped.context.textLinesShown(0, 12, 0).end, 0u);
    // Far below the picture: no line can show, whatever their number.
    Drawn below;
    below.context.setFont("10px sans-serif");
    EXPECT_EQ(below.context.textLinesShown(1000, 12, 0).end, 0u);
    // Far above it: every line shown lies past the first thousand.
    Drawn above;
    above.context.setFont("10px sans-serif");
    const DrawingContext::LineRange late = above.context.textLinesShown(-1e6, 12, 0);
    EXPECT_GT(late.first, 1000u);
    EXPECT_LT(late.end - late.first, 20u);
}

}  // namespace
}  // namespace dv
