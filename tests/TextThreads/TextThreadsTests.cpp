// Text drawn in bands, each band on a thread of its own, over boards whose text reaches more font
// files than cairo keeps faces open: every picture is the one drawn at once, to the bit, however
// often it is drawn, and nothing crashes. Before the faces were guarded, such boards crashed the
// host or lost runs of text in most runs.

#include "TextBoards.hpp"

#include "DVRender/Images/ImageStore.hpp"
#include "DVRender/Scene/RenderTheme.hpp"
#include "Platform/Graphics/Image.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using dv::test::planOfSide;

struct Board {
    std::string what;
    std::vector<dv::Element> elements;
    std::size_t leastFiles;
};

std::vector<Board> boards() {
    std::vector<Board> all;
    for (const dv::test::TextBoard& b : dv::test::textBoards())
        all.push_back({b.what, dv::test::readBoard(dv::test::textBoardJSON(b)), b.leastFiles});
    all.push_back({"seven texts", dv::test::readBoard(dv::test::fileText(std::string(DV_SOURCE_DIR) +
                                                                         "/tests/data/boards/seven-texts.json")),
                   5});
    return all;
}

std::string firstDifference(const dv::gfx::ImageRef& a, const dv::gfx::ImageRef& b) {
    if (a->width() != b->width() || a->height() != b->height()) return "size";
    for (int y = 0; y < a->height(); ++y)
        for (int x = 0; x < a->width(); ++x)
            if (a->pixel(x, y) != b->pixel(x, y)) return std::to_string(x) + "," + std::to_string(y);
    return "";
}

TEST(TextThreads, BoardsReachTheirFontFiles) {
    for (const Board& board : boards()) {
        ASSERT_FALSE(board.elements.empty()) << board.what;
        EXPECT_GE(dv::test::fontFilesOf(board.elements).size(), board.leastFiles) << board.what;
    }
}

TEST(TextThreads, BandsDrawTextOverManyFontFilesAsAtOnce) {
    constexpr int DRAWS = 50;
    const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
    for (const Board& board : boards()) {
        const dv::ExportRasterPlan plan = planOfSide(board.elements, 480);
        const auto whole = dv::detail::renderExportImageInBands(board.elements, plan, environment, 1);
        for (const int bands : {2, 4, 8}) {
            int differing = 0;
            std::string first;
            for (int draw = 0; draw < DRAWS; ++draw) {
                const std::string difference =
                    firstDifference(whole, dv::detail::renderExportImageInBands(board.elements, plan, environment, bands));
                if (difference.empty()) continue;
                if (differing++ == 0) first = difference;
            }
            EXPECT_EQ(differing, 0) << board.what << " in " << bands << " bands, first at " << first;
        }
    }
}

// Two pictures at once, as a host serving two requests draws them: each in bands, every thread
// of both showing text through the same faces.
TEST(TextThreads, PicturesDrawnAtOnceInBandsKeepTheirPixels) {
    const dv::RenderEnvironment environment(dv::RenderTheme::light, dv::ImageStore::shared());
    const std::vector<Board> all = boards();
    std::vector<dv::ExportRasterPlan> plans;
    std::vector<dv::gfx::ImageRef> wholes;
    for (const Board& board : all) {
        plans.push_back(planOfSide(board.elements, 320));
        wholes.push_back(dv::detail::renderExportImageInBands(board.elements, plans.back(), environment, 1));
    }
    std::vector<int> differing(all.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < all.size(); ++k)
        threads.emplace_back([&, k] {
            for (int draw = 0; draw < 10; ++draw)
                differing[k] += !firstDifference(wholes[k], dv::detail::renderExportImageInBands(all[k].elements, plans[k],
                                                                                                environment, 3))
                                     .empty();
        });
    for (std::thread& t : threads) t.join();
    for (std::size_t k = 0; k < all.size(); ++k) EXPECT_EQ(differing[k], 0) << all[k].what;
}

}  // namespace
