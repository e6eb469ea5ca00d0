// A heavy fill drawn again on the same picture lays the coverage kept from the last one; the
// picture must stay that of cairo filling the path every time, and only a fill like the last
// one in everything that decides its coverage may take it.

#include "Platform/Graphics/detail/RepeatedFill.hpp"

#include "tests/support/SamePicture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace dv::gfx {
namespace {

constexpr int SIDE = 160;

// A thin zigzag star of many points, so that its coverage has every level somewhere.
void star(cairo_t* cr, double shift) {
    for (int i = 0; i < 2001; ++i) {
        const double angle = i * 2.5132741228718345 + i * 1e-5;
        const double x = 80 + 70 * std::cos(angle) + shift, y = 80 + 70 * std::sin(angle);
        if (i == 0) cairo_move_to(cr, x, y);
        else cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
}

struct Fill {
    double shift = 0;                  // moves the star: another path
    cairo_fill_rule_t rule = CAIRO_FILL_RULE_WINDING;
    double red = 0.2, alpha = 1;       // the source, which may change freely
    double clipTop = 0;                // the clip's top row
    cairo_operator_t op = CAIRO_OPERATOR_OVER;
};

// Draws the fills one after another, each through `fill`, with its path on the context.
void draw(test::TestSurface& surface, const std::vector<Fill>& fills, const std::function<void(cairo_t*, const Fill&)>& fill) {
    cairo_t* cr = cairo_create(surface.get());
    for (const Fill& f : fills) {
        cairo_save(cr);
        cairo_rectangle(cr, 0, f.clipTop, SIDE, SIDE - f.clipTop);
        cairo_clip(cr);
        star(cr, f.shift);
        cairo_set_fill_rule(cr, f.rule);
        cairo_set_source_rgba(cr, f.red, 0.4, 0.8, f.alpha);
        cairo_set_operator(cr, f.op);
        fill(cr, f);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
}

// A fill as a painter asks for it: the kept coverage if there is one, else the path on `cr`.
// The star's path is spelled out by its shift alone.
void fillThrough(detail::RepeatedFill& repeated, cairo_t* cr, const Fill& f) {
    auto key = detail::RepeatedFill::keyOf(cr, {f.shift});
    if (!repeated.lay(cr, key)) repeated.fill(cr, std::move(key));
    EXPECT_FALSE(cairo_has_current_point(cr)) << "the path is used up";
}

TEST(RepeatedFill, LaysTheKeptCoverageOnlyForAFillLikeTheLast) {
    struct Case {
        const char* what;
        std::vector<Fill> fills;
        std::size_t reused;
    };
    const Fill plain;
    Fill moved = plain, evenOdd = plain, otherInk = plain, seeThrough = plain, clipped = plain, underneath = plain;
    underneath.op = CAIRO_OPERATOR_DEST_OVER;
    moved.shift = 1.0 / 64;
    evenOdd.rule = CAIRO_FILL_RULE_EVEN_ODD;
    otherInk.red = 0.9;
    seeThrough.alpha = 0.3;
    clipped.clipTop = 40;
    const Case cases[] = {
        {"the same fill twelve times", std::vector<Fill>(12, seeThrough), 11},
        {"the same path in other inks", {plain, otherInk, seeThrough, plain}, 3},
        {"paths that take turns", {plain, moved, plain, moved}, 0},
        {"another fill rule", {plain, evenOdd, plain}, 0},
        {"another clip", {plain, clipped, clipped, plain}, 1},
        {"a fill laid under the picture", {plain, underneath, underneath}, 0},
    };
    for (const Case& c : cases) {
        test::TestSurface expected(SIDE, SIDE), actual(SIDE, SIDE);
        draw(expected, c.fills, [](cairo_t* cr, const Fill&) { cairo_fill(cr); });
        detail::RepeatedFill repeated;
        draw(actual, c.fills, [&](cairo_t* cr, const Fill& f) { fillThrough(repeated, cr, f); });
        EXPECT_EQ(repeated.reused(), c.reused) << c.what;
        test::expectSamePicture(expected, actual, c.what);
        // Only the blending may round a level the other way.
        EXPECT_LE(test::compare(expected, actual).worst, 1) << c.what;
        if (c.reused == 0) {
            EXPECT_EQ(test::compare(expected, actual).worst, 0) << c.what;
        }
        EXPECT_GT(actual.inkedTotal(), SIDE * SIDE / 5) << c.what;
    }
}

// On a target whose pixels are offset from its user space, the kept coverage lies where the
// fill does.
TEST(RepeatedFill, KeptCoverageFollowsTheDeviceOffset) {
    test::TestSurface expected(SIDE, SIDE), actual(SIDE, SIDE);
    for (test::TestSurface* s : {&expected, &actual}) cairo_surface_set_device_offset(s->get(), -13, 21);
    const std::vector<Fill> fills(3, Fill{});
    draw(expected, fills, [](cairo_t* cr, const Fill&) { cairo_fill(cr); });
    detail::RepeatedFill repeated;
    draw(actual, fills, [&](cairo_t* cr, const Fill& f) { fillThrough(repeated, cr, f); });
    EXPECT_EQ(repeated.reused(), 2u);
    EXPECT_LE(test::compare(expected, actual).worst, 1);
}

} // namespace
} // namespace dv::gfx
