// The thumbnail host run as a file browser runs it: PNG output, determinism, refusals, no output
// file left behind by any failure, and an output file that the caller made filled in place.

#include "ThumbwrightTestSupport.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

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

// Some file browsers run thumbnailers under an address-space limit. The host reserves heap
// space up front for speed; the reserve must leave room for the module's libraries and the
// drawing under a limit of which the host needs about half.
TEST(ThumbwrightHost, DrawsUnderATightAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's shadow memory alone is larger than the limit";
#else
    dv::test::TempDir dir;
    const fs::path out = dir.path() / "out.png";
    std::string host = std::string(DV_BINARY_DIR) + "/hosts/thumbwright-host/thumbwright-host";
    std::vector<std::string> args{host, "-s", "512", dv::test::exampleBoard("architecture"), out.string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const rlimit limit{rlim_t{256} << 20, rlim_t{256} << 20};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
        ::execv(host.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(dv::test::readPNG(out));
#endif
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
        {{"-s", "256", "--time-limit", "0", board, out.string()}, "time limit"},
        {{"-s", "256", "--time-limit", "nan", board, out.string()}, "time limit"},
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

TEST(ThumbwrightHost, GivesUpAtItsTimeLimitAndLeavesNoFile) {
    dv::test::TempDir dir;
    // The most elements a board may hold, rough, labelled and shadowed: far more work than the
    // hundredth of a second allowed (a board over the element limit would fail on reading instead).
    std::string board = R"({"version":1,"elements":[)";
    for (int i = 0; i < 5000; ++i) {
        if (i) board += ",";
        const std::string n = std::to_string(i);
        board += R"({"id":"e)" + n + R"(","type":")" + (i % 2 ? "ellipse" : "rhombus") + R"(","x":)" +
                 std::to_string(i % 150 * 30) + R"(,"y":)" + std::to_string(i / 150 * 30) +
                 R"(,"width":25,"height":20,"strokeColor":"#1e1e1e","fillColor":"#a0c0e0","strokeWidth":2,)"
                 R"("opacity":1,"roughness":2,"shadowBlur":40,"label":"shape number )" + n + R"("})";
    }
    board += "]}";
    const auto input = dir.write("heavy.drevalin", board);
    const fs::path out = dir.path() / "out.png";
    const auto start = std::chrono::steady_clock::now();
    auto run = runHost({"-s", "256", "--time-limit", "0.01", input.string(), out.string()});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.exitCode, 3) << run.errorText;
    EXPECT_NE(run.errorText.find("gave up after the time limit"), std::string::npos) << run.errorText;
    EXPECT_LT(seconds, 15) << "the limit given, not the default of 20 s, ended the run";
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(directoryHoldsOnly(dir.path(), 1));
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

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A thumbnail service that creates OUTPUT itself reads the picture back through the handle it keeps
// open, so an existing file must receive the bytes itself; anything else is replaced.
TEST(ThumbwrightHost, FillsAnOutputFileThatExistsInPlace) {
    dv::test::TempDir dir;
    const std::string board = dv::test::exampleBoard("architecture");
    const fs::path fresh = dir.path() / "fresh.png";
    ASSERT_EQ(runHost({"-s", "128", board, fresh.string()}).exitCode, 0);
    const auto picture = dv::test::fileBytes(fresh);
    ASSERT_FALSE(picture.empty());

    // Longer than the picture, so that a write without truncation would leave a tail behind.
    const fs::path out = dir.write("out.png", std::string(picture.size() * 3, 'x'));
    const fs::path link = dir.path() / "link.png";
    fs::create_hard_link(out, link);
    struct stat before {};
    ASSERT_EQ(::stat(out.c_str(), &before), 0);
    int held = ::open(out.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);

    auto run = runHost({"-s", "128", board, out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.errorText;
    struct stat after {};
    ASSERT_EQ(::stat(out.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(dv::test::fileBytes(out), picture);
    EXPECT_EQ(dv::test::fileBytes(link), picture);
    std::vector<std::uint8_t> throughHandle(picture.size() + 1);
    ssize_t n = ::pread(held, throughHandle.data(), throughHandle.size(), 0);
    ::close(held);
    ASSERT_EQ(n, static_cast<ssize_t>(picture.size()));
    throughHandle.resize(picture.size());
    EXPECT_EQ(throughHandle, picture);
    EXPECT_TRUE(directoryHoldsOnly(dir.path(), 3));

    // A symbolic link at OUTPUT is replaced by the picture; the file it points to is not written.
    const fs::path target = dir.write("target.txt", "not a picture");
    const fs::path symlink = dir.path() / "symlink.png";
    fs::create_symlink(target, symlink);
    run = runHost({"-s", "128", board, symlink.string()});
    ASSERT_EQ(run.exitCode, 0) << run.errorText;
    EXPECT_FALSE(fs::is_symlink(symlink));
    EXPECT_EQ(dv::test::fileBytes(symlink), picture);
    EXPECT_EQ(dv::test::fileBytes(target), bytes("not a picture"));
}

TEST(ThumbwrightHost, FailuresLeaveAnOutputFileThatExistsAlone) {
    dv::test::TempDir dir;
    const fs::path notBoard = dir.write("notes.drevalin", "{\"elements\": 3}");
    const fs::path out = dir.write("out.png", "made by the caller");
    const std::string board = dv::test::exampleBoard("empty");
    const std::vector<std::vector<std::string>> cases = {
        {"-s", "256", notBoard.string(), out.string()},
        {"-s", "256", (dir.path() / "missing").string(), out.string()},
        {"-s", "256", "--scale", "0", board, out.string()},
        {"-s", "256", board, out.string(), "extra"},
    };
    for (const auto& args : cases) {
        auto run = runHost(args);
        EXPECT_NE(run.exitCode, 0) << args[2];
        EXPECT_EQ(dv::test::fileBytes(out), bytes("made by the caller")) << args[2];
        EXPECT_TRUE(directoryHoldsOnly(dir.path(), 2)) << run.errorText;
    }
}

TEST(ThumbwrightHost, DoubleDashEndsTheOptions) {
    dv::test::TempDir dir;
    fs::copy_file(dv::test::exampleBoard("empty"), dir.path() / "-board.drevalin");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string made;
        std::uint32_t width;
    };
    const Case cases[] = {
        {{"-s", "64", "--", "-board.drevalin", "-out.png"}, 0, "-out.png", 64},
        {{"-s", "64", "--scale", "2", "--", "-board.drevalin", "--help"}, 0, "--help", 128},
        {{"-s", "64", "-board.drevalin", "-out.png"}, 2, "", 0},
        {{"--", "-s", "64", "-board.drevalin", "out.png"}, 2, "", 0},
    };
    for (const Case& c : cases) {
        auto run = runHost(c.args, dir.path());
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.back() << ": " << run.errorText;
        if (c.made.empty()) {
            EXPECT_NE(run.errorText.find("usage"), std::string::npos) << run.errorText;
            EXPECT_TRUE(directoryHoldsOnly(dir.path(), 1));
        } else {
            auto png = dv::test::readPNG(dir.path() / c.made);
            ASSERT_TRUE(png) << c.made;
            EXPECT_EQ(png->width, c.width);
            fs::remove(dir.path() / c.made);
        }
    }
}

}  // namespace
