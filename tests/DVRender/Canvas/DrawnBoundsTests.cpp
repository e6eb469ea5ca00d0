#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "DVRender/Canvas/DrawnBounds.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVText/TextMetrics.hpp"

namespace dv {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();
const double SQRT2 = 1.4142135623730951;

DrawnBounds boundsOf(const std::function<void(DrawingContext&)>& paint) {
    RecordingContext context;
    paint(context);
    return context.displayList().drawnBounds();
}

void strokeLine(DrawingContext& c) {
    c.setLineWidth(2);
    c.beginPath();
    c.moveTo(0, 0);
    c.lineTo(100, 0);
    c.stroke();
}

struct BoundsRow {
    const char* name;
    std::function<void(DrawingContext&)> paint;
    std::optional<NormalizedRect> rect;
    double pad;
};

void checkRows(const std::vector<BoundsRow>& rows) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DrawnBounds bounds = boundsOf(row.paint);
        ASSERT_EQ(bounds.rect.has_value(), row.rect.has_value());
        if (row.rect) {
            EXPECT_NEAR(bounds.rect->x, row.rect->x, 1e-9);
            EXPECT_NEAR(bounds.rect->y, row.rect->y, 1e-9);
            EXPECT_NEAR(bounds.rect->w, row.rect->w, 1e-9);
            EXPECT_NEAR(bounds.rect->h, row.rect->h, 1e-9);
        }
        EXPECT_EQ(bounds.devicePad, row.pad);
    }
}

TEST(DrawnBounds, FillsAndRectangles) {
    checkRows({
        {"empty list", [](DrawingContext&) {}, std::nullopt, 1},
        {"state only", [](DrawingContext& c) { c.setFillStyle("red"); c.translate(3, 3); c.save(); c.restore(); },
         std::nullopt, 1},
        {"fillRect", [](DrawingContext& c) { c.fillRect(10, 20, 30, 40); }, NormalizedRect{10, 20, 30, 40}, 1},
        {"fillRect translated", [](DrawingContext& c) { c.translate(5, 5); c.fillRect(10, 20, 30, 40); },
         NormalizedRect{15, 25, 30, 40}, 1},
        {"fillRect with a negative width", [](DrawingContext& c) { c.fillRect(10, 20, -30, 40); },
         NormalizedRect{-20, 20, 30, 40}, 1},
        {"fillRect with NaN adds nothing", [](DrawingContext& c) { c.fillRect(NaN, 0, 1, 1); }, std::nullopt, 1},
        {"scaled and rotated", [](DrawingContext& c) { c.rotate(1.5707963267948966); c.scale(2, 1); c.fillRect(0, 0, 10, 5); },
         NormalizedRect{-5, 0, 5, 20}, 1},
        {"restore brings the transform back",
         [](DrawingContext& c) { c.save(); c.translate(100, 0); c.restore(); c.fillRect(0, 0, 1, 1); },
         NormalizedRect{0, 0, 1, 1}, 1},
        {"setTransform and resetTransform",
         [](DrawingContext& c) { c.setTransform(1, 0, 0, 1, 50, 50); c.fillRect(0, 0, 1, 1); c.resetTransform(); c.fillRect(0, 0, 1, 1); },
         NormalizedRect{0, 0, 51, 51}, 1},
        {"a filled arc adds its whole square", [](DrawingContext& c) { c.arc(10, 10, 5, 0, 0.1); c.fill(); },
         NormalizedRect{5, 5, 10, 10}, 1},
        {"curve control points count",
         [](DrawingContext& c) { c.moveTo(0, 0); c.quadraticCurveTo(50, -20, 10, 0); c.bezierCurveTo(0, 30, 5, 5, 1, 1); c.fill(); },
         NormalizedRect{0, -20, 50, 50}, 1},
        {"path rect", [](DrawingContext& c) { c.rect(1, 2, 3, 4); c.fill(); }, NormalizedRect{1, 2, 3, 4}, 1},
        {"points before beginPath no longer count",
         [](DrawingContext& c) { c.moveTo(-100, -100); c.beginPath(); c.moveTo(1, 1); c.lineTo(2, 3); c.fill(); },
         NormalizedRect{1, 1, 1, 2}, 1},
        {"points are mapped when added",
         [](DrawingContext& c) { c.moveTo(0, 0); c.translate(10, 0); c.lineTo(0, 5); c.fill(); },
         NormalizedRect{0, 0, 10, 5}, 1},
        {"a path without a fill adds nothing", [](DrawingContext& c) { c.rect(0, 0, 5, 5); c.clip(); }, std::nullopt, 1},
        {"clip changes nothing", [](DrawingContext& c) { c.rect(0, 0, 1, 1); c.clip(); c.fillRect(5, 5, 1, 1); },
         NormalizedRect{5, 5, 1, 1}, 1},
        {"image rectangle", [](DrawingContext& c) { c.drawImage(RenderImage::sizeOnly("s", 1, 1), 1, 2, 3, 4); },
         NormalizedRect{1, 2, 3, 4}, 1},
        {"circles", [](DrawingContext& c) { c.fillCircles({{0, 0}, {10, 20}, {NaN, 0}}, 2); },
         NormalizedRect{-2, -2, 14, 24}, 1},
        {"circles with an infinite radius add nothing", [](DrawingContext& c) { c.fillCircles({{0, 0}}, inf); },
         std::nullopt, 1},
    });
}

TEST(DrawnBounds, StrokesWithJoinsAndCaps) {
    checkRows({
        {"miter join (default)", strokeLine, NormalizedRect{-10, -10, 120, 20}, 1},
        {"round join", [](DrawingContext& c) { c.setLineJoin("round"); strokeLine(c); }, NormalizedRect{-1, -1, 102, 2}, 1},
        {"bevel join, square cap",
         [](DrawingContext& c) { c.setLineJoin("bevel"); c.setLineCap("square"); strokeLine(c); },
         NormalizedRect{-SQRT2, -SQRT2, 100 + 2 * SQRT2, 2 * SQRT2}, 1},
        {"miter join, square cap keeps 10",
         [](DrawingContext& c) { c.setLineCap("square"); strokeLine(c); }, NormalizedRect{-10, -10, 120, 20}, 1},
        {"round cap, round join",
         [](DrawingContext& c) { c.setLineCap("round"); c.setLineJoin("round"); strokeLine(c); },
         NormalizedRect{-1, -1, 102, 2}, 1},
        {"the larger axis of the transform scales the pad",
         [](DrawingContext& c) { c.setLineJoin("round"); c.scale(2, 3); strokeLine(c); },
         NormalizedRect{-3, -3, 206, 6}, 1},
        {"strokeRect widened by the pad",
         [](DrawingContext& c) { c.setLineJoin("bevel"); c.setLineWidth(4); c.strokeRect(0, 0, 10, 10); },
         NormalizedRect{-2, -2, 14, 14}, 1},
    });
}

TEST(DrawnBounds, Text) {
    const std::string text = "Drawn text";
    double m10 = measureTextWidth(text, 10, "sans-serif", false);
    double m20 = measureTextWidth(text, 20, "serif", true);
    ASSERT_GT(m10, 0);
    checkRows({
        {"default font, start", [&](DrawingContext& c) { c.fillText(text, 0, 0); },
         NormalizedRect{-5, -15, 1.25 * m10 + 10, 30}, 1},
        {"center", [&](DrawingContext& c) { c.setTextAlign("center"); c.fillText(text, 0, 0); },
         NormalizedRect{-(1.25 * m10 + 10) / 2, -15, 1.25 * m10 + 10, 30}, 1},
        {"right", [&](DrawingContext& c) { c.setTextAlign("right"); c.fillText(text, 0, 0); },
         NormalizedRect{-(1.25 * m10 + 10) + 5, -15, 1.25 * m10 + 10, 30}, 1},
        {"end", [&](DrawingContext& c) { c.setTextAlign("end"); c.fillText(text, 0, 0); },
         NormalizedRect{-(1.25 * m10 + 10) + 5, -15, 1.25 * m10 + 10, 30}, 1},
        {"bold font and baseline ignored",
         [&](DrawingContext& c) { c.setFont("bold 20px serif"); c.setTextBaseline("top"); c.fillText(text, 100, 100); },
         NormalizedRect{90, 70, 1.25 * m20 + 20, 60}, 1},
        {"font size 0 adds nothing and no shadow",
         [&](DrawingContext& c) { c.setFont("0px x"); c.setShadowColor("#000"); c.setShadowBlur(4); c.fillText(text, 0, 0); },
         std::nullopt, 1},
        {"non-finite position adds nothing", [&](DrawingContext& c) { c.fillText(text, NaN, 0); }, std::nullopt, 1},
    });
}

TEST(DrawnBounds, Shadows) {
    auto shadowed = [](const char* colour, double blur, double dx, double dy) {
        return [=](DrawingContext& c) {
            c.setShadowColor(colour);
            c.setShadowBlur(blur);
            c.setShadowOffsetX(dx);
            c.setShadowOffsetY(dy);
            c.fillRect(0, 0, 1, 1);
        };
    };
    checkRows({
        {"transparent shadow", shadowed("rgba(0, 0, 0, 0)", 4, 3, -8), NormalizedRect{0, 0, 1, 1}, 1},
        {"no blur, no offset", shadowed("#000", 0, 0, 0), NormalizedRect{0, 0, 1, 1}, 1},
        {"blur 4, offsets 3 and -8", shadowed("#000", 4, 3, -8), NormalizedRect{0, 0, 1, 1}, 15},
        {"unparsable colour", shadowed("not a colour", 4, 3, -8), NormalizedRect{0, 0, 1, 1}, 1},
        {"offset only", shadowed("red", 0, 2, 0), NormalizedRect{0, 0, 1, 1}, 3},
        {"the pad never shrinks",
         [&](DrawingContext& c) { shadowed("#000", 4, 3, -8)(c); c.setShadowBlur(0); c.fillRect(0, 0, 1, 1); },
         NormalizedRect{0, 0, 1, 1}, 15},
        {"shadows of strokes", [](DrawingContext& c) { c.setShadowColor("#000"); c.setShadowBlur(2); strokeLine(c); },
         NormalizedRect{-10, -10, 120, 20}, 4},
        {"the shadow counts in the state of the drawing call",
         [&](DrawingContext& c) { c.save(); c.setShadowColor("#000"); c.setShadowBlur(2); c.restore(); c.fillRect(0, 0, 1, 1); },
         NormalizedRect{0, 0, 1, 1}, 1},
    });
}

TEST(DrawnBounds, DeviceScaleAndMerging) {
    DrawnBounds bounds{NormalizedRect{10, 20, 30, 40}, 15};
    EXPECT_EQ(bounds.rectForDeviceScale(2), (NormalizedRect{2.5, 12.5, 45, 55}));
    EXPECT_EQ(bounds.rectForDeviceScale(0), (NormalizedRect{10, 20, 30, 40}));
    EXPECT_EQ(bounds.rectForDeviceScale(NaN), (NormalizedRect{10, 20, 30, 40}));
    EXPECT_EQ(bounds.rectForDeviceScale(inf), (NormalizedRect{10, 20, 30, 40}));
    EXPECT_EQ(bounds.rectForDeviceScale(-1), (NormalizedRect{10, 20, 30, 40}));
    EXPECT_EQ(DrawnBounds{}.rectForDeviceScale(2), std::nullopt);

    DrawnBounds withRect{NormalizedRect{0, 0, 10, 10}, 1};
    DrawnBounds withoutRect{std::nullopt, 5};
    EXPECT_EQ(withRect.merged(withoutRect), (DrawnBounds{NormalizedRect{0, 0, 10, 10}, 5}));
    EXPECT_EQ(withoutRect.merged(withRect), (DrawnBounds{NormalizedRect{0, 0, 10, 10}, 5}));
    EXPECT_EQ(withRect.merged(DrawnBounds{NormalizedRect{-5, 5, 1, 20}, 2}),
              (DrawnBounds{NormalizedRect{-5, 0, 15, 25}, 2}));
    EXPECT_EQ(withoutRect.merged(DrawnBounds{}), (DrawnBounds{std::nullopt, 5}));

    DrawnBounds grown;
    grown.unionWith({1, 1, 1, 1});
    EXPECT_EQ(grown, (DrawnBounds{NormalizedRect{1, 1, 1, 1}, 1}));
    grown.unionWith({3, -1, 1, 1});
    EXPECT_EQ(grown, (DrawnBounds{NormalizedRect{1, -1, 3, 3}, 1}));

    DrawnBounds zero{NormalizedRect{0.0, 0, 1, 1}, 1};
    DrawnBounds minusZero{NormalizedRect{-0.0, 0, 1, 1}, 1};
    EXPECT_EQ(zero, minusZero);
    EXPECT_EQ(std::hash<DrawnBounds>{}(zero), std::hash<DrawnBounds>{}(minusZero));
    EXPECT_NE(DrawnBounds{}, (DrawnBounds{std::nullopt, 2}));

    NormalizedRect poisoned = unionRect({NaN, 0, 1, 1}, {0, 0, 1, 1});
    EXPECT_TRUE(std::isnan(poisoned.x));
    EXPECT_TRUE(std::isnan(poisoned.w));
}

} // namespace
} // namespace dv
