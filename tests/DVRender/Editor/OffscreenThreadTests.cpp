// An offscreen frame is drawn and encoded on the caller's thread alone: a fill heavy enough to
// share its rows among threads elsewhere, and the PNG of a frame large enough to deflate in
// pieces, start no thread. Counted in a process of its own, which has started no band thread
// before, while a watcher counts the process's threads the whole time.

#include "DVIO/BoardFile.hpp"
#include "DVRender/Editor/OffscreenRenderer.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace dv {
namespace {

int threadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

// A closed polygon of `points` corners swinging across the frame at every corner: its edges
// cross the frame's rows by the million.
std::vector<Element> zigzagBoard(int points, double side) {
    std::string board = "{\"version\":1,\"elements\":[{\"id\":\"z\",\"type\":\"polygon\",\"x\":0,\"y\":0,"
                        "\"fillColor\":\"#1971c2\",\"strokeColor\":\"transparent\",\"strokeWidth\":1,\"opacity\":1,\"roughness\":0,"
                        "\"closed\":true,\"points\":[";
    for (int i = 0; i < points; ++i) {
        const double x = i % 2 ? side - i * side / points / 2 : i * side / points / 2;
        const double y = (i / 2) % 2 ? side : 0;
        board += (i ? ",[" : "[") + std::to_string(x) + "," + std::to_string(y) + "]";
    }
    board += "]}]}";
    return readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(board.data()), board.size())).document.elements;
}

OffscreenRenderOptions frameOf(double side) {
    return {.viewport = Viewport{0, 0, 1},
            .width = side,
            .height = side,
            .devicePixelRatio = 1,
            .environment = RenderEnvironment(RenderTheme::light),
            .drawsBackground = true,
            .grid = std::nullopt,
            .editingId = std::nullopt,
            .editingShapeLabelId = std::nullopt};
}

// The most threads seen while `work` runs, the watcher's own included.
template <typename Work>
int mostThreadsDuring(Work&& work) {
    std::atomic<bool> done{false};
    std::atomic<int> most{0};
    std::thread watcher([&] {
        while (!done.load()) {
            const int now = threadCount();
            if (now > most.load()) most.store(now);
        }
    });
    while (most.load() == 0) std::this_thread::yield();
    work();
    done = true;
    watcher.join();
    return most.load();
}

TEST(OffscreenThreads, HeavyFillsAndTheirPNGStayOnTheCallersThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<Element> board = zigzagBoard(20000, 1024);
    ASSERT_EQ(board.size(), 1u);
    EXPECT_EXIT(
        {
            const int before = threadCount();
            gfx::ImageRef frame;
            const int drawing = mostThreadsDuring([&] { frame = OffscreenRenderer::render(board, frameOf(1024)); });
            const int encoding = mostThreadsDuring([&] { (void)OffscreenRenderer::pngData(frame); });
            const int after = threadCount();
            std::fprintf(stderr, "threads: %d before, %d drawing, %d encoding, %d after\n", before, drawing, encoding, after);
            // The watcher is the one thread more.
            _exit(drawing == before + 1 && encoding == before + 1 && after == before ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace dv
