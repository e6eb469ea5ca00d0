// A frame drawn from a snapshot in bands, each band replaying only what can reach its rows, is
// the same to the bit as the frame drawn at once: views that cut elements at every edge, band
// edges through rough strokes, shadows, text and connector labels, a grid under it all, and
// pixel sides that are not whole points. A frame that shows a picture from an image source is
// drawn whole.

#include "../Export/BandBoards.hpp"

#include "DVRender/Editor/OffscreenRenderer.hpp"
#include "DVRender/Images/ImageStore.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dv::test {
namespace {

OffscreenRenderOptions options(const RenderEnvironment& environment, Viewport viewport, double width, double height,
                               double ratio, std::optional<OffscreenRenderOptions::Grid> grid) {
    return OffscreenRenderOptions{.viewport = viewport,
                                  .width = width,
                                  .height = height,
                                  .devicePixelRatio = ratio,
                                  .environment = environment,
                                  .drawsBackground = true,
                                  .grid = grid,
                                  .editingId = std::nullopt,
                                  .editingShapeLabelId = std::nullopt};
}

TEST(BandedOffscreen, BandsGiveTheFrameDrawnAtOnce) {
    struct View {
        const char* what;
        Viewport viewport;
        double width, height, ratio;
        std::optional<OffscreenRenderOptions::Grid> grid;
    };
    // The whole board; a zoomed view whose edges cut through elements, at a ratio that leaves a
    // partial last row; a view showing the board's middle under a line grid.
    const View views[] = {
        {"whole", Viewport{20, 20, 0.165}, 512, 512, 2, std::nullopt},
        {"zoomed", Viewport{-700, -520, 1.7}, 500.3, 410.7, 1.5, OffscreenRenderOptions::Grid{GridPattern::dot, 20}},
        {"middle", Viewport{-300, -350, 0.8}, 600, 540, 2, OffscreenRenderOptions::Grid{GridPattern::line, 25}},
    };
    for (const BandBoard& board : bandBoards) {
        const std::vector<Element> elements = board.elements();
        ASSERT_GT(elements.size(), static_cast<std::size_t>(board.count * 9 / 10)) << board.what;
        const RenderEnvironment environment = board.environment();
        RenderCache cache;
        const RenderSnapshot snapshot = cache.snapshot(elements, environment, std::nullopt, std::nullopt);
        ASSERT_FALSE(snapshot.labels.empty()) << board.what;
        for (const View& view : views) {
            const auto frame = options(environment, view.viewport, view.width, view.height, view.ratio, view.grid);
            const auto whole = detail::renderOffscreenInBands(snapshot, frame, 1);
            for (const int bands : {2, 3, 4}) {
                EXPECT_EQ(firstDifference(whole, detail::renderOffscreenInBands(snapshot, frame, bands)), "")
                    << board.what << ", " << view.what << " view in " << bands << " bands";
            }
        }
    }
}

TEST(BandedOffscreen, AFrameShowingAPictureIsDrawnWhole) {
    const std::string common =
        ",\"width\":700,\"height\":650,\"strokeColor\":\"#1e1e1e\",\"fillColor\":\"transparent\",\"strokeWidth\":2,"
        "\"opacity\":1,\"roughness\":0";
    const std::string picture = "{\"id\":\"p\",\"type\":\"image\",\"x\":0,\"y\":0" + common + ",\"src\":\"" +
                                noisePictureURL() + "\",\"naturalWidth\":97,\"naturalHeight\":89}";
    const std::string box = "{\"id\":\"b\",\"type\":\"rectangle\",\"x\":0,\"y\":900" + common + "}";
    const std::vector<Element> elements = read("{\"version\":1,\"elements\":[" + picture + "," + box + "]}");
    ASSERT_EQ(elements.size(), 2u);
    const RenderEnvironment environment(RenderTheme::light, ImageStore::shared());
    RenderCache cache;
    const RenderSnapshot snapshot = cache.snapshot(elements, environment, std::nullopt, std::nullopt);
    ASSERT_TRUE(snapshot.elements.front()->drawsImages);
    ASSERT_FALSE(snapshot.elements.back()->drawsImages);
    // In view, and (the box alone) out of view.
    for (const Viewport viewport : {Viewport{0, 0, 1.3}, Viewport{0, -880, 1.3}}) {
        const auto frame = options(environment, viewport, 800, 800, 1.25, std::nullopt);
        EXPECT_EQ(firstDifference(detail::renderOffscreenInBands(snapshot, frame, 1),
                                  detail::renderOffscreenInBands(snapshot, frame, 4)),
                  "")
            << viewport.offsetY;
    }
}

}  // namespace
}  // namespace dv::test
