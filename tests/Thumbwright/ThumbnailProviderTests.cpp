// The provider as the thumbnail host meets it: loaded from the module by class name, one request
// per file, the completion handler called once with a reply or an error.

#include "Platform/Defaults/UserDefaults.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Thumbnail/Thumbnailing.hpp"
#include "ThumbwrightTestSupport.hpp"
#include "tests/support/PointBudgetBoards.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

using dv::ql::Size;

class ThumbnailProviderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string path = std::string(DV_BINARY_DIR) + "/Thumbwright/libThumbwright.so";
        module_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << ::dlerror();
        factory_ = reinterpret_cast<dv::ql::ThumbnailProviderFactory>(
            ::dlsym(module_, dv::ql::thumbnailProviderFactorySymbol));
        ASSERT_NE(factory_, nullptr);
    }

    void TearDown() override { dv::platform::InMemoryUserDefaults::standard().removeObject("AppleInterfaceStyle"); }

    struct Answer {
        int calls = 0;
        std::shared_ptr<const dv::ql::ThumbnailReply> reply;
        std::optional<dv::ql::ThumbnailError> error;
    };

    static Answer ask(const std::string& file, Size maximum, double scale) {
        std::unique_ptr<dv::ql::ThumbnailProviderBase> provider(factory_("ThumbnailProvider"));
        Answer answer;
        provider->provideThumbnailForFileRequest(
            {file, maximum, scale}, [&](std::shared_ptr<const dv::ql::ThumbnailReply> reply,
                                        std::optional<dv::ql::ThumbnailError> error) {
                ++answer.calls;
                answer.reply = std::move(reply);
                answer.error = std::move(error);
            });
        return answer;
    }

    static void* module_;
    static dv::ql::ThumbnailProviderFactory factory_;
};

void* ThumbnailProviderTest::module_ = nullptr;
dv::ql::ThumbnailProviderFactory ThumbnailProviderTest::factory_ = nullptr;

TEST_F(ThumbnailProviderTest, FactoryKnowsOnlyItsPrincipalClass) {
    for (const char* name : {"thumbnailProvider", "ThumbnailProvider ", "", "Importer"}) {
        EXPECT_EQ(factory_(name), nullptr) << name;
    }
    EXPECT_EQ(factory_(nullptr), nullptr);
    std::unique_ptr<dv::ql::ThumbnailProviderBase> provider(factory_("ThumbnailProvider"));
    EXPECT_NE(provider, nullptr);
}

TEST_F(ThumbnailProviderTest, EmptyBoardGetsAFittedPlaceholder) {
    struct Case {
        Size maximum;
        Size expected;
    };
    const Case cases[] = {
        {{256, 256}, {256, 192}},
        {{1024, 1024}, {400, 300}},
        {{512, 256}, {341, 256}},
        {{64, 128}, {64, 48}},
    };
    for (const Case& c : cases) {
        Answer a = ask(dv::test::exampleBoard("empty"), c.maximum, 2);
        EXPECT_EQ(a.calls, 1);
        ASSERT_TRUE(a.reply);
        EXPECT_FALSE(a.error);
        EXPECT_EQ(a.reply->contextSize(), c.expected);
    }
}

// The placeholder takes the theme's background; a board without votes follows the system.
TEST_F(ThumbnailProviderTest, PlaceholderColourFollowsTheSystemAppearance) {
    struct Case {
        std::optional<std::string> appearance;
        std::uint32_t pixel;
    };
    const Case cases[] = {
        {std::nullopt, 0xffffffffu},
        {"Dark", 0xff080808u},
        {"dark", 0xff080808u},
        {"Light", 0xffffffffu},
    };
    for (const Case& c : cases) {
        auto& defaults = dv::platform::InMemoryUserDefaults::standard();
        if (c.appearance) defaults.setString("AppleInterfaceStyle", *c.appearance);
        else defaults.removeObject("AppleInterfaceStyle");
        Answer a = ask(dv::test::exampleBoard("empty"), {256, 256}, 1);
        ASSERT_TRUE(a.reply);
        auto bitmap = dv::gfx::Bitmap::create(256, 192);
        dv::gfx::GraphicsContext context(*bitmap);
        EXPECT_TRUE(a.reply->draw(context));
        EXPECT_EQ(bitmap->pixel(0, 0), c.pixel);
        EXPECT_EQ(bitmap->pixel(255, 191), c.pixel);
    }
}

TEST_F(ThumbnailProviderTest, FailuresAnswerOnceWithAnErrorAndNoReply) {
    dv::test::TempDir dir;
    auto notBoard = dir.write("notes.drevalin", "just some text");
    auto badElements = dir.write("bad.drevalin", R"({"version":1,"elements":[{"id":1}]})");
    auto fifo = dir.path() / "pipe.drevalin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // 100,000 points wide at one pixel per point: beyond the largest bitmap side.
    auto huge = dir.write("huge.drevalin", dv::test::rectangleBoard(99952, 10));

    struct Case {
        std::string file;
        Size maximum;
        double scale;
        std::string messagePart;
    };
    const Case cases[] = {
        {(dir.path() / "missing.drevalin").string(), {256, 256}, 1, "missing.drevalin"},
        {notBoard.string(), {256, 256}, 1, ""},
        {badElements.string(), {256, 256}, 1, "None of the file's 1 elements is valid."},
        {fifo.string(), {256, 256}, 1, "is not a regular file."},
        {dir.path().string(), {256, 256}, 1, "is not a regular file."},
        {huge.string(), {100000, 100000}, 1, "cannot export a 100000 x 58 pixel image"},
    };
    for (const Case& c : cases) {
        Answer a = ask(c.file, c.maximum, c.scale);
        EXPECT_EQ(a.calls, 1) << c.file;
        EXPECT_FALSE(a.reply) << c.file;
        ASSERT_TRUE(a.error) << c.file;
        EXPECT_FALSE(a.error->message.empty());
        EXPECT_NE(a.error->message.find(c.messagePart), std::string::npos) << a.error->message;
    }
}

TEST_F(ThumbnailProviderTest, BoardsHoldingTooManyPointsAreTooLargeToRead) {
    for (const dv::test::PointBudgetCase& c : dv::test::kPointBudgetCases) {
        SCOPED_TRACE(c.numbers);
        dv::test::TempDir dir;
        auto board = dir.write("points.drevalin", dv::test::boardOf(dv::test::strokesHolding(c.numbers)));
        Answer a = ask(board.string(), {256, 256}, 1);
        EXPECT_EQ(a.calls, 1);
        EXPECT_EQ(static_cast<bool>(a.reply), c.read);
        if (c.read) continue;
        ASSERT_TRUE(a.error);
        EXPECT_EQ(a.error->message, "The file is too large to read.");
    }
}

// Each stroke a straight line long enough to be resampled into the most points a stroke can
// have: 64 of them are drawn, one more is too complex for a thumbnail.
TEST_F(ThumbnailProviderTest, BoardsWhoseStrokesResampleIntoTooManyPointsAreTooComplex) {
    for (const int strokes : {64, 65}) {
        std::string entries;
        for (int i = 0; i < strokes; ++i)
            entries += std::string(i ? "," : "") + "{\"id\":\"f" + std::to_string(i) +
                       "\",\"type\":\"freehand\",\"x\":0,\"y\":0,\"strokeColor\":\"#1e1e1e\",\"fillColor\":"
                       "\"transparent\",\"strokeWidth\":2,\"opacity\":1,\"roughness\":1,\"points\":[[0," +
                       std::to_string(i) + "],[1000000," + std::to_string(i) + "]]}";
        dv::test::TempDir dir;
        auto board = dir.write("lines.drevalin", dv::test::boardOf(entries));
        Answer a = ask(board.string(), {256, 256}, 1);
        EXPECT_EQ(a.calls, 1);
        EXPECT_EQ(static_cast<bool>(a.reply), strokes == 64) << strokes;
        if (strokes == 64) continue;
        ASSERT_TRUE(a.error);
        EXPECT_EQ(a.error->message, "The board is too complex to draw.");
    }
}

TEST_F(ThumbnailProviderTest, PictureIsFittedAndNeverEnlarged) {
    dv::test::TempDir dir;
    // Export areas of 148 x 98 and 1200 x 600 board units (24 units of padding on each side).
    auto small = dir.write("small.drevalin", dv::test::rectangleBoard(100, 50));
    auto wide = dir.write("wide.drevalin", dv::test::rectangleBoard(1152, 552));
    struct Case {
        std::string file;
        Size maximum;
        double scale;
        Size expected;
    };
    const Case cases[] = {
        {small.string(), {256, 256}, 2, {148, 98}},  // 296 x 196 pixels: kept at its point size
        {small.string(), {256, 256}, 1, {256, 170}},  // budget 256: 256 x 169.5 pixels, rounded
        {wide.string(), {300, 200}, 2, {300, 150}},  // budget 600: 600 x 300 pixels
        {wide.string(), {200, 300}, 2, {200, 100}},  // the same budget, fitted into the width
        {wide.string(), {256, 256}, 2, {256, 128}},
        {"file://" + wide.string(), {128, 128}, 1, {128, 64}},
    };
    for (const Case& c : cases) {
        Answer a = ask(c.file, c.maximum, c.scale);
        EXPECT_EQ(a.calls, 1);
        ASSERT_TRUE(a.reply) << (a.error ? a.error->message : "");
        EXPECT_EQ(a.reply->contextSize(), c.expected) << c.file << " in " << c.maximum.width << "x" << c.maximum.height;
    }
}

// Without a bitmap of its own (zero size), the block draws into the reply's size.
TEST_F(ThumbnailProviderTest, PictureFillsTheHostBitmapUpright) {
    dv::test::TempDir dir;
    // A dark stroke votes for a light canvas even on a dark system.
    dv::platform::InMemoryUserDefaults::standard().setString("AppleInterfaceStyle", "Dark");
    auto board = dir.write("b.drevalin", dv::test::rectangleBoard(100, 50, "#1e1e1e"));
    Answer a = ask(board.string(), {256, 256}, 2);
    ASSERT_TRUE(a.reply);
    auto bitmap = dv::gfx::Bitmap::create(296, 196);
    dv::gfx::GraphicsContext context(*bitmap);
    EXPECT_TRUE(a.reply->draw(context));
    EXPECT_EQ(bitmap->pixel(2, 2), 0xffffffffu);          // white canvas corner
    EXPECT_EQ(bitmap->pixel(100, 100), 0xffffffffu);      // inside the transparent-filled box
    // The rectangle's top edge is drawn 48 pixels from the top, its bottom edge at 148.
    auto dark = [&](int x, int y) { return (bitmap->pixel(x, y) & 0xff) < 0x80; };
    bool topEdge = dark(148, 47) || dark(148, 48) || dark(148, 49);
    bool bottomEdge = dark(148, 147) || dark(148, 148) || dark(148, 149);
    EXPECT_TRUE(topEdge);
    EXPECT_TRUE(bottomEdge);
    EXPECT_FALSE(dark(148, 20));
    EXPECT_FALSE(dark(148, 175));
}

// Providers answering on several threads at once (each starting the font system beside its own
// drawing) draw exactly what one provider draws alone.
TEST_F(ThumbnailProviderTest, ConcurrentRequestsDrawTheSamePicture) {
    auto picture = [](const std::string& board) {
        Answer a = ask(board, {256, 256}, 1);
        std::vector<std::uint32_t> pixels;
        if (!a.reply) return pixels;
        const Size size = a.reply->contextSize();
        auto bitmap = dv::gfx::Bitmap::create(static_cast<int>(size.width), static_cast<int>(size.height));
        {
            dv::gfx::GraphicsContext context(*bitmap);
            if (!a.reply->draw(context)) return pixels;
        }
        for (int y = 0; y < bitmap->height(); ++y)
            for (int x = 0; x < bitmap->width(); ++x) pixels.push_back(bitmap->pixel(x, y));
        return pixels;
    };
    for (const char* name : {"architecture", "flowchart", "sketch"}) {
        const std::string board = dv::test::exampleBoard(name);
        const auto alone = picture(board);
        ASSERT_FALSE(alone.empty()) << name;
        std::vector<std::vector<std::uint32_t>> together(4);
        std::vector<std::thread> threads;
        for (auto& result : together) threads.emplace_back([&] { result = picture(board); });
        for (auto& t : threads) t.join();
        for (const auto& result : together) EXPECT_TRUE(result == alone) << name;
    }
}

// Opening the SVG library costs more than every other library of the module together: boards
// without SVG images leave it closed, and the first SVG stencil opens it. Only a process that has
// drawn no SVG yet can show this, so CTest runs it on its own (thumbwright_svg_library_opened_on_demand).
TEST_F(ThumbnailProviderTest, DISABLED_OnlyBoardsWithSVGOpenTheSVGLibrary) {
    auto draw = [&](const char* name) {
        Answer a = ask(dv::test::exampleBoard(name), {256, 256}, 1);
        ASSERT_TRUE(a.reply) << name;
        auto bitmap = dv::gfx::Bitmap::create(64, 64);
        dv::gfx::GraphicsContext context(*bitmap);
        EXPECT_TRUE(a.reply->draw(context));
    };
    auto isOpen = [] { return ::dlopen("librsvg-2.so.2", RTLD_LAZY | RTLD_NOLOAD) != nullptr; };
    ASSERT_FALSE(isOpen()) << "open before any board was drawn";
    for (const char* name : {"flowchart", "sketch"}) {
        draw(name);
        EXPECT_FALSE(isOpen()) << name;
    }
    draw("architecture");  // its stencils come from an SVG icon pack
    EXPECT_TRUE(isOpen());
}

}  // namespace
