// An offscreen render of a whole board must look like the raster export of the same area: an
// editor view and the exported picture come out of the same painting, one through recordings
// replayed from the cache, the other drawn straight into the bitmap.

#include "DVRender/Editor/OffscreenRenderer.hpp"
#include "DVRender/Export/RasterExport.hpp"

#include "../Scene/PaintTrace.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace dv::test {
namespace {

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

TEST(OffscreenFidelity, WholeBoardMatchesTheRasterExportOfTheSameArea) {
    Element box = rectangle("r0", 0, 0, 120, 80);
    box.fillColor = CSSColor("#a5d8ff");
    Element oval = ellipseElement("e1", 300, 40, 100, 60);
    oval.strokeColor = CSSColor("#1971c2");
    Element words = text("t2", 20, 160, "Fidelity of the view", 20);
    Element link = arrow("a3", 120, 40, 300, 70);
    link.payload.arrow()->startElementId = "r0";
    link.payload.arrow()->endElementId = "e1";
    link.payload.connector()->label = "labelled";
    Element diamond = rhombus("d4", 200, 150, 90, 70);
    diamond.strokeWidth = 4;
    const std::vector<Element> board{box, oval, words, link, diamond};

    for (const RenderTheme* theme : {&RenderTheme::light, &RenderTheme::dark}) {
        const RenderEnvironment environment(*theme);
        const std::string& canvas = theme->canvasBackground;
        const auto plan = exportRasterPlan(board, true, canvas);
        ASSERT_TRUE(plan);
        const gfx::ImageRef exported = renderExportImage(board, *plan, environment);

        // The export maps a board point p to scale × (p + translate) pixels; a viewport maps it to
        // ratio × (zoom × p + offset), so the same pixels need ratio = scale, zoom 1 and the
        // translation as the offset.
        const OffscreenRenderOptions options{.viewport = Viewport{plan->translateX, plan->translateY, 1},
                                             .width = plan->pixelWidth / plan->scale,
                                             .height = plan->pixelHeight / plan->scale,
                                             .devicePixelRatio = plan->scale,
                                             .environment = environment,
                                             .drawsBackground = true,
                                             .grid = std::nullopt,
                                             .editingId = std::nullopt,
                                             .editingShapeLabelId = std::nullopt};
        const gfx::ImageRef offscreen = OffscreenRenderer::render(board, options);

        ASSERT_EQ(offscreen->width(), exported->width());
        ASSERT_EQ(offscreen->height(), exported->height());
        const std::uint32_t background = exported->pixel(0, 0);
        int inked = 0, differing = 0, worst = 0;
        for (int y = 0; y < exported->height(); ++y) {
            for (int x = 0; x < exported->width(); ++x) {
                const int distance = channelDistance(offscreen->pixel(x, y), exported->pixel(x, y));
                inked += exported->pixel(x, y) != background;
                differing += distance > 8;
                worst = std::max(worst, distance);
            }
        }
        // A blank pair of pictures would match trivially.
        EXPECT_GT(inked, 5000);
        EXPECT_EQ(differing, 0) << "worst channel difference " << worst;
    }
}

}  // namespace
}  // namespace dv::test
