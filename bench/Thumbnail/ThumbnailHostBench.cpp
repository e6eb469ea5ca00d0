// Thumbnails as a file browser gets them: one thumbwright-host process per board, for generated
// boards of 100, 1000 and 5000 mixed elements at 256 and 1024 pixels. "Cold" runs first drop the
// board file, the host and the module from the page cache (system libraries stay: other
// processes map them); "warm" runs repeat. Each run reports the child's peak memory.
// The importer host reads the same boards (parsing alone), so the cost of drawing shows as the
// ratio between the two.

#include "bench/Thumbnail/MixedBoard.hpp"

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

void sizes(benchmark::internal::Benchmark* b) {
    for (int count : {100, 1000, 5000})
        for (int px : {256, 1024}) b->Args({count, px});
}

BENCHMARK(BM_ThumbnailHostFloor)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailHostCold)->Apply(sizes)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailHostWarm)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImporterHostReading)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
