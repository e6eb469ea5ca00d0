// Thumbnails as a file browser gets them: one thumbwright-host process per board, for generated
// boards of 100, 1000 and 5000 mixed elements at 256 and 1024 pixels. "Cold" runs first drop the
// board file, the host and the module from the page cache (system libraries stay: other
// processes map them); "warm" runs repeat. Each run reports the child's peak memory.
// The importer host reads the same boards (parsing alone), so the cost of drawing shows as the
// ratio between the two.

#include "bench/DVIO/RatioReporter.hpp"
#include "bench/Thumbnail/MixedBoard.hpp"
#include "DVModel/Base64.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using dv::bench::boardFile;

struct ChildRun {
    int exitCode = -1;
    long peakKiB = 0;
};

ChildRun run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ChildRun result;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peakKiB = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

void dropFromPageCache(const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void runHostBenchmark(benchmark::State& state, bool cold) {
    const int count = static_cast<int>(state.range(0));
    const std::string size = std::to_string(state.range(1));
    const fs::path& board = boardFile(count);
    fs::path out = board.parent_path() / ("out-" + std::to_string(count) + "-" + size + ".png");
    std::string host = std::string(DV_BINARY_DIR) + "/hosts/thumbwright-host/thumbwright-host";
    std::string module = std::string(DV_BINARY_DIR) + "/Thumbwright/libThumbwright.so";
    long peak = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            dropFromPageCache(board);
            dropFromPageCache(host);
            dropFromPageCache(module);
            state.ResumeTiming();
        }
        ChildRun r = run({host, "-s", size, board.string(), out.string()});
        if (r.exitCode != 0) {
            state.SkipWithError("thumbwright-host failed");
            break;
        }
        peak = std::max(peak, r.peakKiB);
    }
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["board_KiB"] = static_cast<double>(fs::file_size(board)) / 1024.0;
}

// The floor under every thumbnail: process start, module load, a placeholder for an empty board
// and its PNG (range 0); one text element adds the font system's start-up (range 1).
void BM_ThumbnailHostFloor(benchmark::State& state) {
    static const fs::path empty = dv::bench::namedBoardFile("empty", "{\"version\":1,\"elements\":[]}");
    static const fs::path oneText = dv::bench::namedBoardFile(
        "one-text", "{\"version\":1,\"elements\":[{\"id\":\"t\",\"type\":\"text\",\"x\":0,\"y\":0,"
                    "\"strokeColor\":\"#1e1e1e\",\"fillColor\":\"transparent\",\"strokeWidth\":2,\"opacity\":1,"
                    "\"roughness\":1,\"content\":\"Hello\",\"fontSize\":16,\"fontFamily\":\"sans-serif\","
                    "\"width\":60,\"height\":20}]}");
    const fs::path& board = state.range(0) == 0 ? empty : oneText;
    std::string host = std::string(DV_BINARY_DIR) + "/hosts/thumbwright-host/thumbwright-host";
    fs::path out = board.parent_path() / "out-floor.png";
    long peak = 0;
    for (auto _ : state) {
        ChildRun r = run({host, "-s", "256", board.string(), out.string()});
        if (r.exitCode != 0) {
            state.SkipWithError("thumbwright-host failed");
            break;
        }
        peak = std::max(peak, r.peakKiB);
    }
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
}

void BM_ThumbnailHostWarm(benchmark::State& state) { runHostBenchmark(state, false); }
void BM_ThumbnailHostCold(benchmark::State& state) { runHostBenchmark(state, true); }

void BM_ImporterHostReading(benchmark::State& state) {
    const fs::path& board = boardFile(static_cast<int>(state.range(0)));
    std::string host = std::string(DV_BINARY_DIR) + "/hosts/indexwright-host/indexwright-host";
    std::string bundle = std::string(DV_BINARY_DIR) + "/Indexwright.plugin";
    if (!fs::exists(host)) {
        state.SkipWithError("indexwright-host is not built");
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        ChildRun r = run({host, "--bundle", bundle, board.string()});
        if (r.exitCode != 0) {
            state.SkipWithError("indexwright-host failed");
            break;
        }
        peak = std::max(peak, r.peakKiB);
    }
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
}

// A PNG of about 5 MB (noise does not compress) and the board holding it as its one image.
struct ImageBoard {
    fs::path png;
    fs::path board;
};

const ImageBoard& imageBoard() {
    static const ImageBoard files = [] {
        constexpr int side = 1300;
        auto bitmap = dv::gfx::Bitmap::create(side, side);
        dv::bench::BoardWriter noise;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                bitmap->row(y)[x] = 0xFF000000u | static_cast<std::uint32_t>(noise.next(16777216.0));
        const std::vector<std::uint8_t> png = *dv::gfx::encodePNG(
            {bitmap->data(), bitmap->width(), bitmap->height(), static_cast<int>(bitmap->stride())});
        ImageBoard out;
        out.png = dv::bench::boardFolder() / "one-image.png";
        std::ofstream(out.png, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        const std::string text = dv::bench::oneImageBoard("data:image/png;base64," + dv::base64Encode(png), side, side);
        dv::bench::checkElementCount("one-image", text, 1);
        out.board = dv::bench::namedBoardFile("one-image", text);
        return out;
    }();
    return files;
}

void timeProcess(benchmark::State& state, const std::vector<std::string>& args, const char* failure) {
    long peak = 0;
    for (auto _ : state) {
        ChildRun r = run(args);
        if (r.exitCode != 0) {
            state.SkipWithError(failure);
            return;
        }
        peak = std::max(peak, r.peakKiB);
    }
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
}

// One board holding one 5 MB PNG, and the same PNG given to the desktop's own image thumbnailer.
void BM_ThumbnailHostImage(benchmark::State& state) {
    const ImageBoard& files = imageBoard();
    std::string host = std::string(DV_BINARY_DIR) + "/hosts/thumbwright-host/thumbwright-host";
    timeProcess(state, {host, "-s", "256", files.board.string(), (files.board.parent_path() / "out-image.png").string()},
                "thumbwright-host failed");
    state.counters["board_MB"] = static_cast<double>(fs::file_size(files.board)) / 1e6;
}

void BM_PixbufThumbnailerImage(benchmark::State& state) {
    const ImageBoard& files = imageBoard();
    const std::string tool = "/usr/bin/gdk-pixbuf-thumbnailer";
    if (!fs::exists(tool)) {
        state.SkipWithError("gdk-pixbuf-thumbnailer is not installed (libgdk-pixbuf2.0-bin)");
        return;
    }
    timeProcess(state, {tool, "-s", "256", files.png.string(), (files.png.parent_path() / "out-pixbuf.png").string()},
                "gdk-pixbuf-thumbnailer failed");
    state.counters["png_MB"] = static_cast<double>(fs::file_size(files.png)) / 1e6;
}

// Three polygons of 100,000 points swinging across the whole board at every point, each pass
// a little inside the one before, filled without an outline: a heavy fill crossing every band.
const fs::path& zigzagFillsBoard() {
    static const fs::path board = [] {
        std::string text = "{\"version\":1,\"elements\":[";
        char point[64];
        for (int e = 0; e < 3; ++e) {
            text += std::string(e ? "," : "") + "{\"id\":\"z" + std::to_string(e) +
                    "\",\"type\":\"polygon\",\"x\":0,\"y\":0,\"fillColor\":\"#a0c0e0\",\"strokeColor\":\"transparent\","
                    "\"strokeWidth\":1,\"opacity\":1,\"roughness\":0,\"closed\":" + (e % 2 ? "false" : "true") + ",\"points\":[";
            for (int i = 0; i < 100000; ++i) {
                const long x = (i % 2 ? -1 : 1) * (100000L - i - e), y = (((i + e) / 2) % 2 ? -1 : 1) * 99999L;
                std::snprintf(point, sizeof point, "%s[%ld,%ld]", i ? "," : "", x, y);
                text += point;
            }
            text += "]}";
        }
        text += "]}";
        dv::bench::checkElementCount("zigzag-fills", text, 3);
        return dv::bench::namedBoardFile("zigzag-fills", text);
    }();
    return board;
}

void BM_ThumbnailHostZigzagFills(benchmark::State& state) {
    const fs::path& board = zigzagFillsBoard();
    std::string host = std::string(DV_BINARY_DIR) + "/hosts/thumbwright-host/thumbwright-host";
    timeProcess(state, {host, "-s", std::to_string(state.range(0)), board.string(), (board.parent_path() / "out-zigzag.png").string()},
                "thumbwright-host failed");
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int count : {100, 1000, 5000})
        for (int px : {256, 1024}) b->Args({count, px});
}

BENCHMARK(BM_ThumbnailHostFloor)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailHostCold)->Apply(sizes)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailHostWarm)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImporterHostReading)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailHostImage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PixbufThumbnailerImage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailHostZigzagFills)->Arg(256)->Arg(1024)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    dv::bench::RatioReporter reporter;
    if (!dv::bench::runBenchmarks(argc, argv, reporter)) return 1;
    auto time = [&](const std::string& name) { return reporter.time(name) * 1e3; };
    const double floor = time("BM_ThumbnailHostFloor/0");
    std::printf("\nWhole-process thumbnails, warm (empty-board floor %.1f ms):\n", floor);
    auto line = [&](const char* what, const std::string& name, double target) {
        const double t = time(name);
        if (t <= 0) return;
        std::printf("  %-36s %7.1f ms, %7.1f ms above the floor (target under %.0f ms)\n", what, t, t - floor, target);
    };
    line("1,000 mixed elements at 256 px", "BM_ThumbnailHostWarm/1000/256", 100);
    line("5,000 mixed elements at 1024 px", "BM_ThumbnailHostWarm/5000/1024", 300);
    const double first = time("BM_StagePlanDistantArrows/1000");
    if (first > 0) {
        auto crossings = [&](int n) {
            const auto& counters = reporter.counters["BM_StagePlanDistantArrows/" + std::to_string(n)];
            const auto it = counters.find("crossings");
            return it == counters.end() ? 0.0 : it->second;
        };
        std::printf("\nRaster plan, labelled arrows between distant boxes (growth against 1,000 elements; n log n "
                    "would be the second figure; then the arrow segments crossing the placed labels, which a search "
                    "keeping this layout adds up, and their growth):\n");
        for (int n = 1000; n <= 5000; n += 1000) {
            const double t = time("BM_StagePlanDistantArrows/" + std::to_string(n));
            const double nlogn = n / 1000.0 * std::log(n) / std::log(1000.0);
            const double crossed = crossings(n);
            std::printf("  %5d elements: %7.2f ms  x%.2f  (n log n: x%.2f)  crossings %6.0f  x%.2f%s\n", n, t,
                        t / first, nlogn, crossed, crossings(1000) > 0 ? crossed / crossings(1000) : 0.0,
                        n == 5000 ? "  target under 30 ms" : "");
        }
    }
    line("zigzag fills at 256 px", "BM_ThumbnailHostZigzagFills/256", 2500);
    line("zigzag fills at 1024 px", "BM_ThumbnailHostZigzagFills/1024", 3500);
    const double image = time("BM_ThumbnailHostImage");
    const double pixbuf = time("BM_PixbufThumbnailerImage");
    if (image > 0 && pixbuf > 0)
        std::printf("  one 5 MB PNG at 256 px: %.1f ms, gdk-pixbuf-thumbnailer %.1f ms: %.2fx its time (target <= 1.5)\n",
                    image, pixbuf, image / pixbuf);
    return 0;
}
