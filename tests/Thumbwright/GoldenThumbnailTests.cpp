// Whole thumbnails of example boards against stored pictures, with the test fonts. Anti-aliasing
// may move a little between library versions, so a channel may differ by a few levels and a few
// pixels may differ more. Set DV_REGENERATE_GOLDENS=1 to rewrite the stored pictures (and look at
// them before committing). A failing case leaves its picture next to the build for inspection.

#include "ThumbwrightTestSupport.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr int channelTolerance = 3;
constexpr double allowedOutliers = 0.005;

TEST(GoldenThumbnails, ExampleBoardsLookAsStored) {
    struct Case {
        const char* board;
        const char* appearance;
        const char* size;
    };
    const Case cases[] = {
        {"architecture", "light", "256"},
        {"flowchart", "light", "256"},  // its light strokes choose the dark canvas
        {"sketch", "dark", "256"},
        {"architecture", "dark", "128"},  // its dark strokes keep the light canvas
    };
    const bool regenerate = std::getenv("DV_REGENERATE_GOLDENS") != nullptr;
    dv::test::TempDir dir;
    for (const Case& c : cases) {
        std::string name = std::string(c.board) + "-" + c.appearance + "-" + c.size + ".png";
        fs::path golden = fs::path(DV_SOURCE_DIR) / "tests/data/thumbnails" / name;
        fs::path out = regenerate ? golden : dir.path() / name;
        auto run = dv::test::runHost({"-s", c.size, "--appearance", c.appearance, dv::test::exampleBoard(c.board),
                                      out.string()});
        ASSERT_EQ(run.exitCode, 0) << run.errorText;
        if (regenerate) continue;

        auto expected = dv::test::readPNG(golden);
        auto actual = dv::test::readPNG(out);
        ASSERT_TRUE(expected) << golden;
        ASSERT_TRUE(actual);
        ASSERT_EQ(actual->width, expected->width) << name;
        ASSERT_EQ(actual->height, expected->height) << name;
        std::size_t outliers = 0;
        for (std::size_t i = 0; i < actual->rgba.size(); i += 4) {
            for (std::size_t k = 0; k < 4; ++k) {
                if (std::abs(int(actual->rgba[i + k]) - int(expected->rgba[i + k])) > channelTolerance) {
                    ++outliers;
                    break;
                }
            }
        }
        double share = double(outliers) / double(actual->width * actual->height);
        EXPECT_LE(share, allowedOutliers) << name << ": " << outliers << " pixels differ";
        if (share > allowedOutliers) fs::copy_file(out, fs::path(DV_BINARY_DIR) / ("failed-" + name),
                                                   fs::copy_options::overwrite_existing);
    }
}

}  // namespace
