// Long fills whose edges coincide on cairo's grid are handed over as the trapezoids of what they
// fill; the picture must stay that of cairo's own fill of every edge.

#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/BandedFill.hpp"
#include "Platform/Graphics/detail/OpposedEdges.hpp"

#include "tests/support/ContextPath.hpp"
#include "tests/support/SamePicture.hpp"
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dv::gfx {
namespace {

struct Point2 {
    double x, y;
};

// A five-pointed star drawn `turns` times, each time shifted by a step far below cairo's grid,
// so that its runs coincide once rounded.
std::vector<Point2> repeatedStar(int turns) {
    std::vector<Point2> points;
    for (int t = 0; t < turns; ++t) {
        const double jitter = (t % 7) * 1e-4;
        for (int k = 0; k < 5; ++k) {
            const double angle = -1.5707963267948966 + k * 2.5132741228718345;
            points.push_back({60.3 + 45 * std::cos(angle) + jitter, 52.7 + 45 * std::sin(angle) - jitter});
        }
    }
    return points;
}

// The zigzag of a hostile polygon seen at thumbnail scale: each point swings across the picture.
std::vector<Point2> zigzag(int count) {
    std::vector<Point2> points;
    for (int i = 0; i < count; ++i) {
        const double x = (i % 2 ? -1 : 1) * (55 - i * 1.3e-5) + 60;
        const double y = ((i / 2) % 2 ? -1 : 1) * 45.5 + 52;
        points.push_back({x, y});
    }
    return points;
}

using test::compare;
using test::Difference;

// cairo's own fill of the closed polygon, every edge given to it.
void cairoFill(test::TestSurface& surface, const std::vector<Point2>& points, FillRule rule = FillRule::winding) {
    cairo_t* cr = cairo_create(surface.get());
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0) cairo_move_to(cr, points[i].x, points[i].y);
        else cairo_line_to(cr, points[i].x, points[i].y);
    }
    cairo_close_path(cr);
    cairo_set_fill_rule(cr, rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_set_source_rgba(cr, 0.2, 0.4, 0.8, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
}

TEST(BandedFill, CoincidingRunsFillAsCairoFillsEveryEdge) {
    struct Case {
        const char* what;
        std::vector<Point2> points;
        FillRule rule;
        // Pixels the star's own geometry decides: its centre and one of its points.
        int centreAlpha, pointAlpha;
    };
    const Case cases[] = {
        {"star, winding", repeatedStar(2001), FillRule::winding, 255, 255},
        {"star, even-odd", repeatedStar(2001), FillRule::evenOdd, 0, 255},
        {"star twice over, even-odd", repeatedStar(2000), FillRule::evenOdd, 0, 0},
        {"zigzag, winding", zigzag(20000), FillRule::winding, -1, -1},
        {"zigzag, even-odd", zigzag(20000), FillRule::evenOdd, -1, -1},
    };
    for (const Case& c : cases) {
        test::TestSurface expected(120, 110), actual(120, 110);
        cairoFill(expected, c.points, c.rule);

        GraphicsContext g(actual.get());
        g.setFillColor({0.2, 0.4, 0.8, 1});
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            if (i == 0) g.moveTo(c.points[i].x, c.points[i].y);
            else g.addLineTo(c.points[i].x, c.points[i].y);
        }
        g.closePath();
        g.fillPath(c.rule);

        const Difference d = compare(expected, actual);
        // Edges that cross within one of cairo's sample rows can move a pixel by a few levels;
        // a wrong winding or a lost span would change whole runs of pixels.
        EXPECT_LE(d.worst, 48) << c.what;
        EXPECT_LE(d.beyondFew, 120 * 110 / 100) << c.what;
        if (c.centreAlpha >= 0) {
            EXPECT_EQ(actual.alpha(60, 55), c.centreAlpha) << c.what;
            EXPECT_EQ(actual.alpha(60, 14), c.pointAlpha) << c.what;
        }
    }
}

// A stroke run along the same segments many times, with round caps and joins or with butt caps
// and any join, draws the picture of cairo's stroke of every one of them; square caps and
// dashes are left to cairo as they are.
TEST(BandedFill, RetracedRoundStrokesDrawAsCairoStrokesEveryRun) {
    struct Case {
        const char* what;
        std::vector<Point2> points;
        LineCap cap;
        LineJoin join;
        bool dashed;
    };
    const Case cases[] = {
        {"star", repeatedStar(900), LineCap::round, LineJoin::round, false},
        {"zigzag", zigzag(4500), LineCap::round, LineJoin::round, false},
        {"zigzag, butt ends, mitred", zigzag(4500), LineCap::butt, LineJoin::miter, false},
        {"star, butt ends, bevelled", repeatedStar(900), LineCap::butt, LineJoin::bevel, false},
        {"star, dashed", repeatedStar(900), LineCap::round, LineJoin::round, true},
    };
    for (const Case& c : cases) {
        test::TestSurface expected(120, 110), actual(120, 110);
        const double dash[] = {60, 3};
        cairo_t* cr = cairo_create(expected.get());
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            if (i == 0) cairo_move_to(cr, c.points[i].x, c.points[i].y);
            else cairo_line_to(cr, c.points[i].x, c.points[i].y);
        }
        cairo_set_line_width(cr, 3);
        cairo_set_line_cap(cr, c.cap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                               : c.cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                          : CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(cr, c.join == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                                : c.join == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                            : CAIRO_LINE_JOIN_MITER);
        if (c.dashed) cairo_set_dash(cr, dash, 2, 0);
        cairo_set_source_rgba(cr, 0.6, 0.1, 0.3, 1);
        cairo_stroke(cr);
        cairo_destroy(cr);

        GraphicsContext g(actual.get());
        g.setStrokeColor({0.6, 0.1, 0.3, 1});
        g.setLineWidth(3);
        g.setLineCap(c.cap);
        g.setLineJoin(c.join);
        if (c.dashed) g.setLineDash(dash, 0);
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            if (i == 0) g.moveTo(c.points[i].x, c.points[i].y);
            else g.addLineTo(c.points[i].x, c.points[i].y);
        }
        g.strokePath();

        const Difference d = compare(expected, actual);
        EXPECT_LE(d.worst, 48) << c.what;
        EXPECT_LE(d.beyondFew, 120 * 110 / 100) << c.what;
        EXPECT_GT(actual.inkedTotal(), 500) << c.what;
    }
}

// A picture drawn in bands, each band clipped to its rows, is the same to the bit as the picture
// drawn at once, wherever the band edges fall; and it is cairo's fill of every edge within the
// tolerance. The zigzag's passes cross each other near its middle, and keep their order above
// and below, over more than one tile of rows.
TEST(BandedFill, BandsFillTheSamePixelsAsTheWholePicture) {
    constexpr int W = 300, H = 700;
    std::vector<Point2> points;
    for (int i = 0; i < 40000; ++i)
        points.push_back({(i % 2 ? -1 : 1) * (140 - i * 1e-4) + W / 2.0, ((i / 2) % 2 ? -1 : 1) * 340.3 + H / 2.0});
    auto draw = [&](test::TestSurface& surface, int top, int bottom) {
        GraphicsContext g(surface.get());
        g.clipToRect({0, static_cast<double>(top), W, static_cast<double>(bottom - top)});
        g.setFillColor({0.2, 0.4, 0.8, 1});
        test::traceClosed(g, points);
        g.fillPath(FillRule::winding);
    };
    test::TestSurface whole(W, H);
    draw(whole, 0, H);
    const std::vector<std::vector<int>> cuts = {{0, 350, H}, {0, 193, 410, 611, H}, {0, 255, 257, 513, H}, {0, 1, 300, H}};
    for (const auto& edges : cuts) {
        test::TestSurface banded(W, H);
        for (std::size_t b = 0; b + 1 < edges.size(); ++b) draw(banded, edges[b], edges[b + 1]);
        const Difference d = compare(whole, banded);
        EXPECT_EQ(d.worst, 0) << "band edge at " << edges[1];
    }

    test::TestSurface expected(W, H);
    cairoFill(expected, points);
    test::expectSamePicture(expected, whole, "zigzag filled at once");
    EXPECT_GT(whole.inkedTotal(), W * H / 4);
}

TEST(BandedFill, OnlyPathsThatLoseMostOfTheirEdgesQualify) {
    auto grid = [](const std::vector<Point2>& points) {
        detail::GridPath path;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const auto p = detail::gridPoint(points[i].x, points[i].y);
            if (i == 0) path.moveTo(*p);
            else path.lineTo(*p);
        }
        return path.subpaths();
    };
    // 5,000 distinct points on a circle: nothing coincides.
    std::vector<Point2> circle;
    for (int i = 0; i < 5000; ++i) circle.push_back({60 + 50 * std::cos(i * 0.0012566), 55 + 50 * std::sin(i * 0.0012566)});
    EXPECT_FALSE(detail::bandedFill(grid(circle), false, 0, 110).has_value());
    EXPECT_FALSE(detail::bandedFill(grid(repeatedStar(20)), false, 0, 110).has_value()) << "too short to bother";
    const auto star = detail::bandedFill(grid(repeatedStar(2001)), false, 0, 110);
    ASSERT_TRUE(star.has_value());
    EXPECT_LT(star->size(), 3000u);
    // Rows outside the picture cost nothing.
    const auto above = detail::bandedFill(grid(repeatedStar(2001)), false, -500, -400);
    ASSERT_TRUE(above.has_value());
    EXPECT_TRUE(above->empty());
}

// The outline of a scribble seen at thumbnail scale: quick passes back and forth, each crossing
// the others, no two runs of an edge alike.
std::vector<Point2> scribble(int count) {
    std::vector<Point2> points;
    for (int k = 0; k < count; ++k) points.push_back({60 + 55 * std::sin(k * 0.9), 55 + 45 * std::sin(k * 0.0123) + 3 * std::sin(k * 2.1)});
    for (int k = count - 1; k >= 0; --k) points.push_back({points[k].x + 0.4, points[k].y + 0.3});
    return points;
}

detail::GridPath onGrid(const std::vector<Point2>& points) {
    detail::GridPath path;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto p = detail::gridPoint(points[i].x, points[i].y);
        if (i == 0) path.moveTo(*p);
        else path.lineTo(*p);
    }
    path.close();
    return path;
}

// The tally of opposed runs refuses a path before its edges are sorted only where the sort would
// refuse it too, and changes nothing about the paths it lets through: the trapezoids, and so the
// pixels, are those of the sort to the bit.
TEST(BandedFill, TheTallyOfRunsRefusesOnlyWhatMergingRefuses) {
    std::vector<Point2> circle;  // nothing coincides
    for (int i = 0; i < 9000; ++i) circle.push_back({60 + 50 * std::cos(i * 0.000698), 55 + 50 * std::sin(i * 0.000698)});
    std::vector<Point2> there = repeatedStar(3000), back(there.rbegin(), there.rend());
    there.insert(there.end(), back.begin(), back.end());
    std::vector<Point2> level;  // level runs, which change no winding, among sloped ones
    for (int i = 0; i < 9000; ++i) level.push_back({(i % 4 < 2 ? 5.0 : 115.0), 5.0 + (i / 2 % 50) * 2});
    struct Case {
        const char* what;
        std::vector<Point2> points;
        bool fills;
    };
    const Case cases[] = {
        {"scribble", scribble(6000), false},
        {"circle", circle, false},
        {"star", repeatedStar(2001), true},
        {"zigzag", zigzag(20000), true},
        {"star there and back", there, true},
        {"level runs", level, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const detail::GridPath path = onGrid(c.points);
        detail::EdgeRunCounts runs;
        detail::dropOpposedEdges(path.subpaths(), detail::OPPOSED_EDGES_MIN_EDGES, &runs);
        EXPECT_TRUE(runs.known);
        const auto sorted = detail::bandedFill(path.subpaths(), false, 0, 110);
        const auto tallied = detail::bandedFill(path.subpaths(), false, 0, 110, detail::OPPOSED_EDGES_MIN_EDGES, &runs);
        EXPECT_EQ(sorted.has_value(), c.fills);
        ASSERT_EQ(tallied.has_value(), sorted.has_value());
        if (!sorted) {
            EXPECT_GT(runs.slopedLeft * 2, runs.sloped) << "refused by the tally itself";
            continue;
        }
        ASSERT_EQ(tallied->size(), sorted->size());
        for (std::size_t i = 0; i < sorted->size(); ++i)
            for (std::size_t k = 0; k < 4; ++k) {
                EXPECT_EQ((*tallied)[i][k].x, (*sorted)[i][k].x);
                EXPECT_EQ((*tallied)[i][k].y, (*sorted)[i][k].y);
            }
    }
}

// A scribble no thinning takes goes to cairo as it is: its pixels are cairo's to the bit.
TEST(BandedFill, AScribbleRefusedEarlyIsCairosOwnFill) {
    const std::vector<Point2> points = scribble(6000);
    test::TestSurface expected(120, 110), actual(120, 110);
    cairoFill(expected, points);
    {
        GraphicsContext g(actual.get());
        g.setFillColor({0.2, 0.4, 0.8, 1});
        test::traceClosed(g, points);
        g.fillPath(FillRule::winding);
    }
    EXPECT_EQ(compare(expected, actual).worst, 0);
    EXPECT_GT(actual.inkedTotal(), 120 * 110 / 4);
}

} // namespace
} // namespace dv::gfx
