// The thumbnail host run as a file browser runs it: PNG output, determinism, refusals, and no
// output file left behind by any failure.

#include "ThumbwrightTestSupport.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using dv::test::runHost;

bool directoryHoldsOnly(const fs::path& dir, std::size_t count) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator())) == count;
}

TEST(ThumbwrightHost, WritesAnRGBAPictureThatFitsTheSize) {
    dv::test::TempDir dir;
    struct Case {
        std::string board;
        std::vector<std::string> options;
        std::uint32_t width, height;
    };
    const Case cases[] = {
        {dv::test::exampleBoard("empty"), {"-s", "256"}, 256, 192},
        {dv::test::exampleBoard("empty"), {"-s", "1024"}, 400, 300},
        {dv::test::exampleBoard("empty"), {"-s", "128", "--scale", "2"}, 256, 192},
        {dv::test::exampleBoard("architecture"), {"-s", "256"}, 0, 0},
        {dv::test::exampleBoard("flowchart"), {"-s", "128"}, 0, 0},
        {"file://" + dv::test::exampleBoard("sketch"), {"-s", "512"}, 0, 0},
    };
    for (const Case& c : cases) {
        fs::path out = dir.path() / "out.png";
        std::vector<std::string> args = c.options;
        args.push_back(c.board);
        args.push_back(out.string());
        auto run = runHost(args);
        ASSERT_EQ(run.exitCode, 0) << c.board << ": " << run.errorText;
        auto png = dv::test::readPNG(out);
        ASSERT_TRUE(png) << c.board;
        EXPECT_EQ(png->bitDepth, 8);
        EXPECT_EQ(png->colorType, 6);  // RGBA
        if (c.width) {
            EXPECT_EQ(png->width, c.width) << c.board;
            EXPECT_EQ(png->height, c.height) << c.board;
        }
        double scale = c.options.size() > 2 ? 2 : 1;
        double size = std::stod(c.options[1]) * scale;
        EXPECT_LE(std::max(png->width, png->height), size) << c.board;
        EXPECT_EQ(png->rgba[3], 255) << "opaque corner";
        fs::remove(out);
    }
}

TEST(ThumbwrightHost, TwoRunsGiveIdenticalBytes) {
    dv::test::TempDir dir;
    for (const char* name : {"architecture", "sketch"}) {
        fs::path a = dir.path() / "a.png", b = dir.path() / "b.png";
        ASSERT_EQ(runHost({"-s", "256", dv::test::exampleBoard(name), a.string()}).exitCode, 0);
        ASSERT_EQ(runHost({"-s", "256", dv::test::exampleBoard(name), b.string()}).exitCode, 0);
        EXPECT_EQ(dv::test::fileBytes(a), dv::test::fileBytes(b)) << name;
    }
}

TEST(ThumbwrightHost, FailuresLeaveNoFile) {
    dv::test::TempDir dir;
    auto notBoard = dir.write("notes.drevalin", "{\"elements\": 3}");
    auto fifo = dir.path() / "pipe.drevalin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto board = dv::test::exampleBoard("empty");
    fs::path out = dir.path() / "out.png";

    struct Case {
        std::vector<std::string> args;
        std::string messagePart;
    };
    const std::vector<Case> cases = {
        {{"-s", "256", notBoard.string(), out.string()}, ""},
        {{"-s", "256", fifo.string(), out.string()}, "is not a regular file."},
        {{"-s", "256", dir.path().string(), out.string()}, "is not a regular file."},
        {{"-s", "256", (dir.path() / "missing").string(), out.string()}, "couldn\xE2\x80\x99t be read"},
        {{"-s", "0", board, out.string()}, "size"},
        {{"-s", "-5", board, out.string()}, "size"},
        {{"-s", "nan", board, out.string()}, "size"},
        {{"-s", "inf", board, out.string()}, "size"},
        {{"-s", "256", "--scale", "0", board, out.string()}, "scale"},
        {{"-s", "256", "--scale", "1e999", board, out.string()}, "scale"},
        {{"-s", "256", "--appearance", "purple", board, out.string()}, "appearance"},
        {{"-s", "256", board}, "usage"},
        {{"-s", "256", board, (dir.path() / "no-such-dir" / "out.png").string()}, "cannot"},
    };
    for (const Case& c : cases) {
        auto run = runHost(c.args);
        EXPECT_NE(run.exitCode, 0) << c.args[c.args.size() - 2];
        EXPECT_NE(run.errorText.find(c.messagePart), std::string::npos) << run.errorText;
        EXPECT_FALSE(fs::exists(out));
        // No temporary file either: the directory holds only the inputs.
        EXPECT_TRUE(directoryHoldsOnly(dir.path(), 2)) << run.errorText;
    }
}

TEST(ThumbwrightHost, AppearanceOptionReachesTheModule) {
    dv::test::TempDir dir;
    struct Case {
        std::vector<std::string> options;
        std::uint8_t channel;
    };
    const Case cases[] = {
        {{}, 255},
        {{"--appearance", "light"}, 255},
        {{"--appearance", "dark"}, 8},
    };
    for (const Case& c : cases) {
        fs::path out = dir.path() / "out.png";
        std::vector<std::string> args{"-s", "64"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(dv::test::exampleBoard("empty"));
        args.push_back(out.string());
        ASSERT_EQ(runHost(args).exitCode, 0);
        auto png = dv::test::readPNG(out);
        ASSERT_TRUE(png);
        EXPECT_EQ(png->rgba[0], c.channel);
        EXPECT_EQ(png->rgba[png->rgba.size() - 2], c.channel);
    }
}

}  // namespace
