// A context that measures draws nothing, and what it measures is enough to leave drawing out:
// calls measured outside a clip, shadows cast from outside it included, change no pixel in it.

#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dv::gfx {
namespace {

bool meets(const DeviceBox& a, const DeviceBox& b) { return !(a.x1 < b.x0 || a.x0 > b.x1 || a.y1 < b.y0 || a.y0 > b.y1); }

using Call = std::function<void(GraphicsContext&)>;

// Shapes of every kind of call, several with shadows thrown far from them (both ways), and
// some under a rotation.
std::vector<Call> calls() {
    std::vector<Call> all;
    std::uint64_t state = 3;
    auto next = [&](double range) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0 * range;
    };
    for (int i = 0; i < 120; ++i) {
        const Rect r{next(360) - 30, next(360) - 30, 2 + next(60), 2 + next(40)};
        const int kind = static_cast<int>(next(6));
        const bool shadow = next(2) < 1;
        const double sx = next(120) - 60, sy = next(120) - 60, blur = next(30), angle = next(6.3);
        all.push_back([=](GraphicsContext& g) {
            g.saveGState();
            if (shadow) g.setShadow(sx, sy, blur, {0, 0, 0, 0.7});
            if (kind >= 4) {
                g.translateCTM(r.x, r.y);
                g.concatCTM({std::cos(angle), std::sin(angle), -std::sin(angle), std::cos(angle), 0, 0});
                g.translateCTM(-r.x, -r.y);
            }
            g.setFillColor({0.1, 0.5, 0.3, 0.8});
            g.setStrokeColor({0.8, 0.2, 0.1, 1});
            g.setLineWidth(1 + kind * 3);
            switch (kind) {
            case 0: g.fillRect(r); break;
            case 1: g.strokeRect(r); break;
            case 2: {
                const Rect rects[] = {r, {r.x + 5, r.y + 50, 8, 8}};
                g.fillRects(rects);
                break;
            }
            case 3:
                g.beginPath();
                g.addEllipseInRect(r);
                g.fillPath(FillRule::winding);
                break;
            default:
                g.beginPath();
                g.moveTo(r.x, r.y);
                g.addCurveTo(r.x + r.width, r.y, r.x, r.y + r.height, r.x + r.width, r.y + r.height);
                g.strokePath();
                break;
            }
            g.restoreGState();
        });
    }
    return all;
}

std::vector<std::uint32_t> pixelsOf(const Bitmap& b) {
    std::vector<std::uint32_t> all;
    for (int y = 0; y < b.height(); ++y) all.insert(all.end(), b.row(y), b.row(y) + b.width());
    return all;
}

TEST(Measuring, CallsMeasuredOutsideAClipChangeNoPixelInIt) {
    const std::vector<Call> all = calls();
    // What each call reaches, measured on a context of one pixel.
    std::vector<DeviceBox> reach;
    {
        auto pixel = *Bitmap::create(1, 1);
        GraphicsContext measuring(pixel);
        measuring.setMeasuring(true);
        for (const Call& call : all) {
            measuring.clearMeasured();
            call(measuring);
            reach.push_back(measuring.measured());
        }
        EXPECT_EQ(pixel.row(0)[0], 0u) << "measuring drew";
    }
    const Rect clips[] = {{0, 0, 300, 40}, {0, 130, 300, 21}, {120, 0, 30, 300}, {200, 210, 50, 60}, {0, 299, 300, 1}};
    int culled = 0;
    for (const Rect& clip : clips) {
        auto whole = *Bitmap::create(300, 300);
        auto some = *Bitmap::create(300, 300);
        GraphicsContext a(whole), b(some);
        a.clipToRect(clip);
        b.clipToRect(clip);
        const DeviceBox window = b.visibleReach();
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i](a);
            if (meets(reach[i], window)) all[i](b);
            else ++culled;
        }
        EXPECT_EQ(pixelsOf(whole), pixelsOf(some)) << "clip " << clip.x << "," << clip.y;
    }
    // Most calls lie outside most clips: the test leaves out enough to mean something.
    EXPECT_GT(culled, 300);
}

TEST(Measuring, MeasuresWhatADrawingCallCovers) {
    auto pixel = *Bitmap::create(1, 1);
    GraphicsContext g(pixel);
    g.setMeasuring(true);
    EXPECT_TRUE(g.measured().isEmpty());
    g.fillRect({10, 20, 30, 40});
    EXPECT_TRUE(meets(g.measured(), {10, 20, 40, 60}));
    EXPECT_FALSE(meets(g.measured(), {100, 20, 140, 60}));
    // Everything counts as visible, so callers that skip work out of sight measure it all.
    EXPECT_FALSE(g.visibleReach().isEmpty());
    EXPECT_LE(g.visibleReach().x0, -1e300);
    EXPECT_GE(g.visibleReach().y1, 1e300);
}

// A stroke far wider than its path: whatever the joins and caps, every pixel it inks lies in
// what is measured for it, and without mitred corners that is no more than the square cap's
// reach beyond the path (it sizes the masks of wide shadows and what bands redraw).
TEST(Measuring, AWideStrokeOfASmallPathIsMeasuredClosely) {
    struct Path {
        const char* what;
        std::vector<std::pair<double, double>> points;
        bool closed;
    };
    const Path paths[] = {
        {"acute zigzag", {{150, 150}, {170, 152}, {151, 156}, {169, 160}}, false},
        {"closed sliver", {{140, 150}, {175, 153}, {141, 151}}, true},
    };
    constexpr double width = 60;
    for (const Path& p : paths)
        for (const LineJoin join : {LineJoin::miter, LineJoin::round, LineJoin::bevel})
            for (const LineCap cap : {LineCap::butt, LineCap::round, LineCap::square}) {
                const std::string what = std::string(p.what) + ", join " + std::to_string(static_cast<int>(join)) +
                                         ", cap " + std::to_string(static_cast<int>(cap));
                auto stroke = [&](GraphicsContext& g) {
                    g.setLineWidth(width);
                    g.setLineJoin(join);
                    g.setLineCap(cap);
                    g.setStrokeColor({0, 0, 0, 1});
                    g.beginPath();
                    g.moveTo(p.points[0].first, p.points[0].second);
                    for (std::size_t i = 1; i < p.points.size(); ++i) g.addLineTo(p.points[i].first, p.points[i].second);
                    if (p.closed) g.closePath();
                    g.strokePath();
                };
                auto one = *Bitmap::create(1, 1);
                GraphicsContext measuring(one);
                measuring.setMeasuring(true);
                stroke(measuring);
                const DeviceBox box = measuring.measured();

                auto picture = *Bitmap::create(400, 400);
                {
                    GraphicsContext g(picture);
                    stroke(g);
                }
                int inked = 0, outside = 0;
                for (int y = 0; y < picture.height(); ++y)
                    for (int x = 0; x < picture.width(); ++x) {
                        if (picture.row(y)[x] == 0) continue;
                        ++inked;
                        outside += x < box.x0 || x + 1 > box.x1 || y < box.y0 || y + 1 > box.y1;
                    }
                EXPECT_GT(inked, 2000) << what;
                EXPECT_EQ(outside, 0) << what;
                if (join != LineJoin::miter) {
                    // The path spans x 140 .. 175; the square cap reaches 0.75 of the width.
                    EXPECT_GE(box.x0, 140 - 0.75 * width - 6) << what;
                    EXPECT_LE(box.x1, 175 + 0.75 * width + 6) << what;
                }
            }
}

TEST(Measuring, WithinAWindowOnlyTheWindowIsVisible) {
    auto pixel = *Bitmap::create(1, 1);
    GraphicsContext g(pixel);
    // A window on whole pixels from one in between, as a clip rounds out.
    g.setMeasuring(true, DeviceBox{-0.5, 10, 200.2, 100});
    const DeviceBox plain = g.visibleReach();
    EXPECT_EQ(plain.x0, -1);
    EXPECT_EQ(plain.y0, 10);
    EXPECT_EQ(plain.x1, 201);
    EXPECT_EQ(plain.y1, 100);
    // A shadow thrown far down from above the window still reaches it.
    g.setShadow(0, 500, 4, {0, 0, 0, 1});
    EXPECT_LE(g.visibleReach().y0, 10 - 500);
    EXPECT_GE(g.visibleReach().y1, 100);
    // What is drawn is measured as before, outside the window too.
    g.fillRect({10, 1000, 5, 5});
    EXPECT_TRUE(meets(g.measured(), {10, 1500, 15, 1505}));
    g.setMeasuring(true);
    EXPECT_LE(g.visibleReach().y0, -1e300);
}

}  // namespace
}  // namespace dv::gfx
