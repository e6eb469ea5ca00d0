// Painting through the bitmap context: for one board element of every kind, in both themes, the
// background, the stroke, the fill and the label show where they should.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Scene/ConnectorLabels.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "PaintTrace.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

namespace dv {
namespace {

struct RGB {
    int r, g, b;
};

RGB rgbAt(const gfx::Bitmap& bitmap, int x, int y) {
    const std::uint32_t p = bitmap.pixel(x, y);  // opaque after the background fill
    return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

bool near(RGB a, RGB b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// Pixels within `tolerance` of a colour in [x0, x1) × [y0, y1).
int countNear(const gfx::Bitmap& bitmap, int x0, int y0, int x1, int y1, RGB color, int tolerance) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += near(rgbAt(bitmap, x, y), color, tolerance);
    return n;
}

struct Probe {
    const char* kind;
    Element element;
    int fillX = -1, fillY = -1;   // a pixel well inside the fill, when the kind is filled
    int labelX0 = 0, labelY0 = 0, labelX1 = 0, labelY1 = 0;  // where label glyphs must show
};

gfx::Bitmap render(const Element& element, const RenderTheme& theme, ImageProvider& images) {
    auto bitmap = gfx::Bitmap::create(200, 200);
    {
        CGDrawingContext context(std::make_shared<gfx::GraphicsContext>(*bitmap));
        context.setFillStyle(theme.canvasBackground);
        context.fillRect(0, 0, 200, 200);
        const RenderEnvironment environment(theme, images);
        drawElement(context, element, nullptr, std::nullopt, environment);
        drawConnectorLabels(context, {element}, theme.canvasBackground, std::nullopt, environment);
    }
    return std::move(*bitmap);
}

std::vector<Probe> probes() {
    std::vector<Probe> list;
    auto filled = [](Element e) {
        e.fillColor = CSSColor("#ff0000");
        e.strokeWidth = 4;
        if (LabelFields* l = e.payload.labels()) l->label = "MMMM";
        return e;
    };
    list.push_back({"rectangle", filled(test::rectangle("r", 20, 20, 160, 160)), 40, 40, 60, 85, 140, 115});
    list.push_back({"ellipse", filled(test::ellipseElement("e", 20, 20, 160, 160)), 100, 50, 60, 85, 140, 115});
    list.push_back({"rhombus", filled(test::rhombus("d", 20, 20, 160, 160)), 100, 60, 60, 85, 140, 115});
    Element::Shape shape;
    shape.kind = ShapeKind::terminator;
    shape.width = 160;
    shape.height = 120;
    list.push_back({"shape", filled(test::baseElement("s", 20, 40, Element::Payload(shape))), 100, 60, 60, 80, 140, 120});
    Probe st{"stencil", filled(test::stencil("st", 50, 20, 100, 100, StencilSource::builtin("generic/server")))};
    st.fillX = 100;
    st.fillY = 49;  // the middle of the icon's upper rounded box, clear of its strokes
    st.labelX0 = 60, st.labelY0 = 126, st.labelX1 = 140, st.labelY1 = 150;
    list.push_back(st);
    Element l = test::line("l", 20, 60, 180, 60);
    l.strokeWidth = 4;
    l.payload.line()->label = "MMMM";
    list.push_back({"line", l, -1, -1, 70, 50, 130, 70});
    Element a = test::arrow("a", 20, 60, 180, 60);
    a.strokeWidth = 4;
    a.payload.arrow()->label = "MMMM";
    list.push_back({"arrow", a, -1, -1, 70, 50, 130, 70});
    Element::Curve curve;
    curve.x2 = 180;
    curve.y2 = 100;
    curve.cx = 100;
    curve.cy = 20;
    Element c = test::baseElement("c", 20, 100, Element::Payload(curve));
    c.strokeWidth = 4;
    list.push_back({"curve", c});
    Element::Polygon polygon;
    polygon.points = {{20, 20}, {180, 20}, {180, 180}, {20, 180}};
    polygon.closed = true;
    list.push_back({"polygon", filled(test::baseElement("p", 20, 20, Element::Payload(polygon))), 100, 100});
    Element::Freehand freehand;
    for (int i = 0; i <= 16; ++i) freehand.points.push_back({20.0 + i * 10, 100});
    Element f = test::baseElement("f", 20, 100, Element::Payload(freehand));
    f.strokeWidth = 8;
    list.push_back({"freehand", f});
    Element t = test::text("t", 20, 20, "MMMM", 32);
    list.push_back({"text", t, -1, -1, 20, 20, 120, 60});
    list.push_back({"image", test::image("i", 20, 20, 160, 160, "missing"), 100, 100, 26, 24, 120, 40});
    return list;
}

TEST(PaintingPixels, EveryKindInBothThemes) {
    test::FakeImages images;
    for (const RenderTheme* theme : {&RenderTheme::light, &RenderTheme::dark}) {
        const RGB background = theme->isLight ? RGB{255, 255, 255} : RGB{8, 8, 8};
        for (const Probe& p : probes()) {
            // The default black ink turns light on the dark canvas, unless the element is filled.
            const bool filled = p.element.fillColor.rawValue != "transparent";
            const RGB ink = theme->isLight || filled ? RGB{0, 0, 0} : RGB{0xe2, 0xe2, 0xef};
            const std::string what = std::string(p.kind) + (theme->isLight ? " light" : " dark");
            const gfx::Bitmap bitmap = render(p.element, *theme, images);
            EXPECT_TRUE(near(rgbAt(bitmap, 2, 197), background, 0)) << what;
            // Stroke: ink pixels somewhere (the image placeholder has no ink stroke).
            if (std::string(p.kind) != "image") {
                EXPECT_GT(countNear(bitmap, 0, 0, 200, 200, ink, 12), 20) << what;
            }
            if (p.fillX >= 0) {
                const RGB expected = std::string(p.kind) == "image" ? RGB{-1, -1, -1} : RGB{255, 0, 0};
                if (expected.r >= 0) {
                    EXPECT_TRUE(near(rgbAt(bitmap, p.fillX, p.fillY), expected, 2)) << what;
                } else {
                    EXPECT_FALSE(near(rgbAt(bitmap, p.fillX, p.fillY), background, 10)) << what;
                }
            }
            if (p.labelX1 > p.labelX0) {
                // Glyphs differ from what lies under them: count pixels that are neither the
                // fill nor the background.
                int glyph = 0;
                for (int y = p.labelY0; y < p.labelY1; ++y)
                    for (int x = p.labelX0; x < p.labelX1; ++x) {
                        const RGB c = rgbAt(bitmap, x, y);
                        glyph += !near(c, background, 30) && !near(c, RGB{255, 0, 0}, 30);
                    }
                EXPECT_GT(glyph, 15) << what;
            }
        }
    }
}

TEST(PaintingPixels, ColoursWithoutAValue) {
    // Over a green patch on the dark canvas: a colour the canvas cannot read keeps the previous
    // paint (the canvas colour for fills, the default black for strokes); "none" paints nothing.
    struct Case { const char* fill; const char* stroke; RGB inside; RGB edge; };
    const Case cases[] = {
        {"blurple", "blurple", {8, 8, 8}, {0, 0, 0}},
        {"none", "#ff0000", {0, 255, 0}, {255, 0, 0}},
        {"#0000ff", "none", {0, 0, 255}, {0, 255, 0}},
    };
    test::FakeImages images;
    for (const auto& c : cases) {
        auto bitmap = gfx::Bitmap::create(200, 200);
        {
            CGDrawingContext context(std::make_shared<gfx::GraphicsContext>(*bitmap));
            context.setFillStyle(RenderTheme::dark.canvasBackground);
            context.fillRect(0, 0, 200, 200);
            context.save();
            context.setFillStyle("#00ff00");
            context.fillRect(10, 10, 180, 180);
            context.restore();
            Element e = test::rectangle("r", 20, 20, 160, 160);
            e.fillColor = CSSColor(c.fill);
            e.strokeColor = CSSColor(c.stroke);
            e.strokeWidth = 6;
            drawElement(context, e, nullptr, std::nullopt, RenderEnvironment(RenderTheme::dark, images));
        }
        EXPECT_TRUE(near(rgbAt(*bitmap, 100, 100), c.inside, 0)) << c.fill << " " << c.stroke;
        EXPECT_TRUE(near(rgbAt(*bitmap, 100, 18), c.edge, 0)) << c.fill << " " << c.stroke;
    }
}

// A long label or text runs far past the picture. Seen through a small picture that shows a
// band of it, the lines there look exactly as they do on a picture tall enough for all of them.
TEST(PaintingPixels, LongTextsShowTheSameLinesThroughAPartOfThePicture) {
    std::string word;
    for (int i = 0; i < 3000; ++i) word += static_cast<char>('a' + (i * 7) % 26);
    Element box = test::rectangle("r", 10, 10, 80, 1900);
    box.payload.labels()->label = word;
    Element text = test::text("t", 100, 10, word, 16);
    std::get<Element::Text>(text.payload.storage()).width = 40;
    // Lines just outside the picture still cast a shadow into it.
    Element shadowed = test::rectangle("s", 150, 10, 45, 1900);
    shadowed.payload.labels()->label = word;
    shadowed.strokeWidth = 0;
    shadowed.shadowBlur = 30;
    shadowed.shadowOffsetY = 20;
    test::FakeImages images;
    auto paint = [&](int width, int height, double shiftY) {
        auto bitmap = gfx::Bitmap::create(width, height);
        CGDrawingContext context(std::make_shared<gfx::GraphicsContext>(*bitmap));
        context.setFillStyle(RenderTheme::light.canvasBackground);
        context.fillRect(0, 0, width, height);
        context.translate(0, -shiftY);
        const RenderEnvironment environment(RenderTheme::light, images);
        drawElement(context, box, nullptr, std::nullopt, environment);
        drawElement(context, text, nullptr, std::nullopt, environment);
        drawElement(context, shadowed, nullptr, std::nullopt, environment);
        return std::move(*bitmap);
    };
    const gfx::Bitmap tall = paint(200, 2000, 0);
    // Bands that cut lines at every height along both edges.
    std::vector<int> shifts{0};
    for (int shift = 900; shift < 924; shift += 2) shifts.push_back(shift);
    for (const int shift : shifts) {
        const gfx::Bitmap band = paint(200, 120, shift);
        int differing = 0, inked = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 200; ++x) {
                differing += band.pixel(x, y) != tall.pixel(x, y + shift);
                inked += band.pixel(x, y) != 0xFFFFFFFFu;
            }
        EXPECT_EQ(differing, 0) << "band at " << shift;
        EXPECT_GT(inked, 1000) << "band at " << shift << " shows lines";
    }
}

}  // namespace
}  // namespace dv

namespace dv {
namespace {

// The ideal rounded rhombus outline, sampled densely: straight edges between the points where each
// corner's arc touches them, and the arcs, computed here from plain geometry.
std::vector<Point> roundedRhombusOutline(double x0, double y0, double W, double H, double r) {
    const Point v[4] = {{x0 + W / 2, y0}, {x0 + W, y0 + H / 2}, {x0 + W / 2, y0 + H}, {x0, y0 + H / 2}};
    Point arcStart[4], arcEnd[4];
    std::vector<Point> out;
    for (int i = 0; i < 4; ++i) {
        const Point V = v[i], P = v[(i + 3) % 4], N = v[(i + 1) % 4];
        const double l1 = std::hypot(P.x - V.x, P.y - V.y), l2 = std::hypot(N.x - V.x, N.y - V.y);
        const double ux = (P.x - V.x) / l1, uy = (P.y - V.y) / l1, nx = (N.x - V.x) / l2, ny = (N.y - V.y) / l2;
        const double half = std::acos(ux * nx + uy * ny) / 2;
        const double t = r / std::tan(half);
        const double bx = ux + nx, by = uy + ny, bl = std::hypot(bx, by);
        const Point C{V.x + bx / bl * r / std::sin(half), V.y + by / bl * r / std::sin(half)};
        arcStart[i] = {V.x + ux * t, V.y + uy * t};
        arcEnd[i] = {V.x + nx * t, V.y + ny * t};
        const double a0 = std::atan2(arcStart[i].y - C.y, arcStart[i].x - C.x);
        const double sweep = std::remainder(std::atan2(arcEnd[i].y - C.y, arcEnd[i].x - C.x) - a0, 2 * M_PI);
        for (int k = 0; k <= 200; ++k) {
            out.push_back({C.x + r * std::cos(a0 + sweep * k / 200), C.y + r * std::sin(a0 + sweep * k / 200)});
        }
    }
    for (int i = 0; i < 4; ++i) {
        const Point a = arcEnd[i], b = arcStart[(i + 1) % 4];
        for (int k = 0; k <= 400; ++k) out.push_back({a.x + (b.x - a.x) * k / 400.0, a.y + (b.y - a.y) * k / 400.0});
    }
    return out;
}

TEST(PaintingPixels, RoundedRhombusHasNoSpursAtSharpCorners) {
    // 160 x 100 with corner radius 30 (cut to 25): the side corners are sharper than a right angle.
    Element diamond = test::rhombus("d", 20, 50, 160, 100);
    diamond.payload.box()->cornerRadius = 30;
    diamond.strokeWidth = 2;
    diamond.roughness = 0;
    test::FakeImages images;
    const gfx::Bitmap bitmap = render(diamond, RenderTheme::light, images);
    // Every ink pixel lies on the ideal outline, within the half width plus a pixel and a half.
    const std::vector<Point> outline = roundedRhombusOutline(20, 50, 160, 100, 25);
    int inked = 0, stray = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (!near(rgbAt(bitmap, x, y), RGB{0, 0, 0}, 110)) continue;
            ++inked;
            double best = 1e9;
            for (const Point& p : outline) best = std::min(best, std::hypot(p.x - (x + 0.5), p.y - (y + 0.5)));
            if (best > 1.0 + 1.5) ++stray;
        }
    }
    EXPECT_GT(inked, 300);
    EXPECT_EQ(stray, 0);
}

}  // namespace
}  // namespace dv

namespace dv {
namespace {

TEST(PaintingPixels, StrokeOnlyIconOnDarkCanvasTakesTheLightInk) {
    // A filled stencil keeps a black stroke on the dark canvas for its shape, but its icon and
    // caption are ink drawn over the canvas: both turn light.
    Element user = test::stencil("u", 40, 20, 120, 120, StencilSource::builtin("generic/user"));
    user.strokeColor = CSSColor("#000");
    user.fillColor = CSSColor("#ff0000");
    user.strokeWidth = 2;
    user.roughness = 0;
    test::FakeImages images;
    const gfx::Bitmap dark = render(user, RenderTheme::dark, images);
    EXPECT_GT(countNear(dark, 40, 20, 160, 140, RGB{0xe2, 0xe2, 0xef}, 12), 100);
    const gfx::Bitmap light = render(user, RenderTheme::light, images);
    EXPECT_GT(countNear(light, 40, 20, 160, 140, RGB{0, 0, 0}, 12), 100);
}

}  // namespace
}  // namespace dv
