// Heavy strokes between rails: the segments that lie inside the rest of the stroke are left out,
// and the picture must stay that of cairo's own stroke of every segment, for every cap and join.

#include "Platform/Graphics/BandedDrawing.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/SparseStroke.hpp"

#include "tests/support/SamePicture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>
#include <string>
#include <thread>

namespace dv::gfx {
namespace {

using detail::Polyline;
using detail::Vec2;

constexpr int SIDE = 128;

// The hostile zigzag outline seen at thumbnail scale: every pass runs from the top row to the
// bottom one or along them, a small fraction of a pixel beside the pass before. Every
// `outlierEvery`-th point lies a few pixels away from where the pass would have it.
std::vector<Vec2> zigzag(int count, double step, int outlierEvery = 0) {
    std::vector<Vec2> points;
    for (int i = 0; i < count; ++i) {
        double x = (i % 2 ? -1 : 1) * (58 - i * step) + SIDE / 2.0;
        if (outlierEvery && i % outlierEvery == 0) x += 3.5;
        const double y = ((i / 2) % 2 ? -1 : 1) * 57.3 + SIDE / 2.0;
        points.push_back({x, y});
    }
    return points;
}

struct Style {
    const char* what;
    LineCap cap;
    LineJoin join;
};

constexpr Style STYLES[] = {
    {"round caps and joins", LineCap::round, LineJoin::round},
    {"butt caps, mitred joins", LineCap::butt, LineJoin::miter},
    {"butt caps, bevelled joins", LineCap::butt, LineJoin::bevel},
    {"square caps, mitred joins", LineCap::square, LineJoin::miter},
    {"square caps, round joins", LineCap::square, LineJoin::round},
    {"round caps, bevelled joins", LineCap::round, LineJoin::bevel},
};

cairo_line_cap_t cairoCap(LineCap cap) {
    return cap == LineCap::round ? CAIRO_LINE_CAP_ROUND : cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT;
}

cairo_line_join_t cairoJoin(LineJoin join) {
    return join == LineJoin::round ? CAIRO_LINE_JOIN_ROUND : join == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL : CAIRO_LINE_JOIN_MITER;
}

// cairo's own stroke of every segment, in user space under `scale` about the centre.
void cairoStroke(test::TestSurface& surface, const std::vector<Vec2>& points, bool closed, double scale, double width,
                 const Style& style) {
    cairo_t* cr = cairo_create(surface.get());
    cairo_translate(cr, SIDE / 2.0, SIDE / 2.0);
    cairo_scale(cr, scale, scale);
    for (std::size_t k = 0; k < points.size(); ++k) {
        const double x = (points[k].x - SIDE / 2.0) / scale, y = (points[k].y - SIDE / 2.0) / scale;
        if (k == 0) cairo_move_to(cr, x, y);
        else cairo_line_to(cr, x, y);
    }
    if (closed) cairo_close_path(cr);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, cairoCap(style.cap));
    cairo_set_line_join(cr, cairoJoin(style.join));
    cairo_set_miter_limit(cr, 10);
    cairo_set_source_rgba(cr, 0.2, 0.4, 0.8, 1);
    cairo_stroke(cr);
    cairo_destroy(cr);
}

void contextStroke(test::TestSurface& surface, const std::vector<Vec2>& points, bool closed, double scale,
                   double width, const Style& style) {
    GraphicsContext g(surface.get());
    g.setCTM({scale, 0, 0, scale, SIDE / 2.0, SIDE / 2.0});
    g.setLineWidth(width);
    g.setLineCap(style.cap);
    g.setLineJoin(style.join);
    g.setMiterLimit(10);
    g.setStrokeColor({0.2, 0.4, 0.8, 1});
    for (std::size_t k = 0; k < points.size(); ++k) {
        const double x = (points[k].x - SIDE / 2.0) / scale, y = (points[k].y - SIDE / 2.0) / scale;
        if (k == 0) g.moveTo(x, y);
        else g.addLineTo(x, y);
    }
    if (closed) g.closePath();
    g.strokePath();
}

// The points as cairo keeps them, on its 1/256 grid.
Polyline onGrid(const std::vector<Vec2>& points, bool closed) {
    Polyline line{{}, closed};
    for (const Vec2& p : points) line.points.push_back({std::round(p.x * 256) / 256, std::round(p.y * 256) / 256});
    return line;
}

std::size_t segmentsOf(const std::vector<Polyline>& pieces) {
    std::size_t n = 0;
    for (const Polyline& p : pieces) n += p.points.size() - 1 + (p.closed ? 1 : 0);
    return n;
}

TEST(SparseStroke, LeavesOutOnlyWhatTheRestOfTheStrokeCovers) {
    struct Shape {
        const char* what;
        std::vector<Vec2> points;
        double scale;  // device pixels per user unit
        double width;  // user units
        bool everyStyle;
    };
    const Shape shapes[] = {
        {"zigzag a pixel wide", zigzag(4500, 0.004), 0.01, 100, true},
        {"zigzag with passes out of line", zigzag(4500, 0.004, 7), 0.01, 100, false},
        {"zigzag three pixels wide", zigzag(4500, 0.004), 1, 3, false},
        {"zigzag of a hairline", zigzag(4500, 0.004), 1, 0.3, false},
        {"zigzag a twelfth of a pixel wide", zigzag(4500, 0.004), 0.01, 8, false},
    };
    for (const Shape& shape : shapes) {
        // Every style once on the first shape, the first three on the others; open and closed
        // in turn.
        const std::size_t styles = shape.everyStyle ? std::size(STYLES) : 3;
        for (std::size_t k = 0; k < styles; ++k) {
            const Style& style = STYLES[k];
            const bool closed = k % 2 == 1;
            const std::string what = std::string(shape.what) + ", " + style.what + (closed ? ", closed" : ", open");
            const detail::StrokePen pen{shape.width / 2, {shape.scale, 0, 0, shape.scale}, style.cap, style.join, 10};
            const auto pieces = detail::sparseStroke({onGrid(shape.points, closed)}, pen);
            ASSERT_TRUE(pieces.has_value()) << what;
            if (shape.everyStyle) {
                EXPECT_LT(segmentsOf(*pieces), shape.points.size() / 4) << what;
            }

            test::TestSurface expected(SIDE, SIDE), actual(SIDE, SIDE);
            cairoStroke(expected, shape.points, closed, shape.scale, shape.width, style);
            contextStroke(actual, shape.points, closed, shape.scale, shape.width, style);
            test::expectSamePicture(expected, actual, what);
            EXPECT_GT(actual.inkedTotal(), 2000) << what;
        }
    }
}

// Points from a fixed linear congruential sequence: long segments in every direction, none of
// them ending inside a rail.
std::vector<Vec2> scatter(int count, std::uint32_t seed) {
    std::vector<Vec2> points;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / double(1 << 24);
    };
    for (int i = 0; i < count; ++i) points.push_back({next() * SIDE, next() * SIDE});
    return points;
}

TEST(SparseStroke, OnlyHeavyEvenlyStretchedStrokesWithRailsQualify) {
    const detail::StrokePen pen{0.5, {1, 0, 0, 1}, LineCap::round, LineJoin::round, 10};
    const Polyline heavy = onGrid(zigzag(4500, 0.004), false);
    EXPECT_TRUE(detail::sparseStroke({heavy}, pen).has_value());
    EXPECT_FALSE(detail::sparseStroke({onGrid(zigzag(3000, 0.004), false)}, pen).has_value()) << "light enough for cairo";
    EXPECT_FALSE(detail::sparseStroke({heavy}, {0.5, {1, 0, 0, 0.5}, LineCap::round, LineJoin::round, 10}).has_value())
        << "a pen squeezed one way";
    EXPECT_FALSE(detail::sparseStroke({heavy}, {0.01, {1, 0, 0, 1}, LineCap::round, LineJoin::round, 10}).has_value())
        << "a pen narrower than cairo's grid";
    EXPECT_FALSE(detail::sparseStroke({onGrid(scatter(6000, 3), false)}, pen).has_value()) << "no rails";
}

// The same zigzag drawn as a painter draws a hostile outline: in user units a thousand times
// larger, with a sharp mitre at every turn.
TEST(SparseStroke, HostileOutlineDrawsAsCairoStrokesEverySegment) {
    const std::vector<Vec2> points = zigzag(6000, 0.003);
    const Style style{"mitred", LineCap::butt, LineJoin::miter};
    test::TestSurface expected(SIDE, SIDE), actual(SIDE, SIDE);
    cairoStroke(expected, points, true, 0.001, 1300, style);
    contextStroke(actual, points, true, 0.001, 1300, style);
    test::expectSamePicture(expected, actual, "mitred zigzag");
    EXPECT_GT(actual.inkedTotal(), 2000);
}

// Passes that repeat on cairo's grid many times over, with a pen a few grid steps wide: the
// rails leave out more of them than dropping the repeats would, and the picture stays that of
// cairo's stroke of every segment.
TEST(SparseStroke, PassesRepeatedOnTheGridDrawAsCairoStrokesEverySegment) {
    const std::vector<Vec2> points = zigzag(12000, 1.0 / 4000);
    for (const Style& style : STYLES) {
        const bool closed = style.cap != LineCap::square;
        const auto pieces = detail::sparseStroke({onGrid(points, closed)}, {0.03, {1, 0, 0, 1}, style.cap, style.join, 10});
        ASSERT_TRUE(pieces.has_value()) << style.what;
        EXPECT_LT(segmentsOf(*pieces), points.size() / 4) << style.what;
        test::TestSurface expected(SIDE, SIDE), actual(SIDE, SIDE);
        cairoStroke(expected, points, closed, 0.001, 60, style);
        contextStroke(actual, points, closed, 0.001, 60, style);
        test::expectSamePicture(expected, actual, std::string(style.what) + (closed ? ", closed" : ", open"));
        EXPECT_GT(actual.inkedTotal(), 800) << style.what;
    }
}

// The bands of a picture stroke the same path with the same pen, on threads of their own or one
// after another: the pieces are found once for all of them, and a path or pen that differs in
// anything gets pieces of its own.
TEST(SparseStroke, BandsShareTheStrokesWork) {
    // A zigzag no other test strokes: the pieces are kept across calls.
    const Polyline open = onGrid(zigzag(4600, 0.0041), false);
    const std::size_t segments = open.points.size() - 1;
    const detail::StrokePen pen{0.5, {1, 0, 0, 1}, LineCap::butt, LineJoin::miter, 10};

    std::vector<detail::SparseStrokeWork> work(4);
    std::vector<std::optional<std::vector<Polyline>>> found(4);
    std::vector<std::thread> threads;
    for (std::size_t band = 0; band < 4; ++band)
        threads.emplace_back([&, band] { found[band] = detail::sparseStroke({open}, pen, detail::SPARSE_STROKE_MIN_SEGMENTS, &work[band]); });
    for (auto& t : threads) t.join();
    std::size_t weighed = 0, working = 0;
    for (const auto& w : work) {
        weighed += w.segmentsWeighed;
        working += w.segmentsWeighed > 0;
    }
    EXPECT_EQ(weighed, segments) << "every segment examined once across the bands";
    EXPECT_EQ(working, 1u);
    ASSERT_TRUE(found[0].has_value());
    EXPECT_LT(segmentsOf(*found[0]), segments / 4);
    auto same = [](const std::vector<Polyline>& a, const std::vector<Polyline>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t k = 0; k < a.size(); ++k) {
            if (a[k].closed != b[k].closed || a[k].points.size() != b[k].points.size()) return false;
            for (std::size_t i = 0; i < a[k].points.size(); ++i)
                if (a[k].points[i].x != b[k].points[i].x || a[k].points[i].y != b[k].points[i].y) return false;
        }
        return true;
    };
    for (std::size_t band = 1; band < 4; ++band) {
        ASSERT_TRUE(found[band].has_value()) << band;
        EXPECT_TRUE(same(*found[0], *found[band])) << band;
    }

    // A band drawn later finds them kept.
    detail::SparseStrokeWork later;
    const auto again = detail::sparseStroke({open}, pen, detail::SPARSE_STROKE_MIN_SEGMENTS, &later);
    EXPECT_EQ(later.segmentsWeighed, 0u);
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(same(*found[0], *again));

    // Anything else is stroked afresh.
    Polyline closed = open;
    closed.closed = true;
    Polyline moved = open;
    moved.points[2300].x += 1.0 / 256;
    detail::StrokePen rounder = pen, wider = pen, turned = pen, sharper = pen;
    rounder.join = LineJoin::round;
    wider.halfWidth = 0.75;
    turned.map = {0, 1, -1, 0};
    sharper.miterLimit = 4;
    const struct {
        const char* what;
        Polyline line;
        detail::StrokePen pen;
        std::size_t segments;
    } others[] = {
        {"closed", closed, pen, segments + 1}, {"a point moved", moved, pen, segments},
        {"round joins", open, rounder, segments}, {"a wider pen", open, wider, segments},
        {"a turned pen", open, turned, segments},  {"a lower mitre limit", open, sharper, segments},
    };
    for (const auto& other : others) {
        detail::SparseStrokeWork own;
        const auto pieces = detail::sparseStroke({other.line}, other.pen, detail::SPARSE_STROKE_MIN_SEGMENTS, &own);
        EXPECT_EQ(own.segmentsWeighed, other.segments) << other.what;
        EXPECT_TRUE(pieces.has_value()) << other.what;
    }
    // The closed path's pieces are its own, though its open twin's were found first.
    const auto closedPieces = detail::sparseStroke({closed}, pen);
    ASSERT_TRUE(closedPieces.has_value());
    EXPECT_FALSE(same(*found[0], *closedPieces));
}

// Through the drawing context, drawn in bands with every cap and join (the bands clip some of
// them to their rows): the picture drawn at once, to the bit.
TEST(SparseStroke, HeavyStrokesDrawnInBandsGiveThePictureDrawnAtOnce) {
    const int width = 256, height = 256;
    const std::vector<Vec2> points = zigzag(9000, 0.0037, 11);
    for (const Style& style : STYLES) {
        auto draw = [&](GraphicsContext& g) {
            g.setCTM({0.02, 0, 0, 0.02, 0, 0});
            g.setLineWidth(60);
            g.setLineCap(style.cap);
            g.setLineJoin(style.join);
            g.setStrokeColor({0.2, 0.4, 0.8, 1});
            for (std::size_t k = 0; k < points.size(); ++k) {
                const double x = points[k].x * 2 / 0.02, y = points[k].y * 2 / 0.02;
                if (k == 0) g.moveTo(x, y);
                else g.addLineTo(x, y);
            }
            g.closePath();
            g.strokePath();
        };
        auto whole = Bitmap::create(width, height);
        {
            GraphicsContext g(*whole);
            draw(g);
        }
        for (const int count : {2, 3, 5, 8}) {
            const std::vector<BandRows> bands = bandsByCost(height, count, {}, ASKED_BAND_MIN_ROWS);
            ASSERT_EQ(bands.size(), static_cast<std::size_t>(count));
            auto bitmap = Bitmap::create(width, height);
            ASSERT_TRUE(drawInBands(*bitmap, bands, [&](const auto& context, const BandRows&) { draw(*context); }));
            int differing = 0, inked = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    differing += whole->pixel(x, y) != bitmap->pixel(x, y);
                    inked += whole->pixel(x, y) != 0;
                }
            EXPECT_EQ(differing, 0) << style.what << ", " << count << " bands";
            EXPECT_GT(inked, 4000) << style.what;
        }
    }
}

} // namespace
} // namespace dv::gfx
