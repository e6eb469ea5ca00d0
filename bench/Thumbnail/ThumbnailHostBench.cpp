// Thumbnails as a file browser gets them: one thumbwright-host process per board, for generated
// boards of 100, 1000 and 5000 mixed elements at 256 and 1024 pixels. "Cold" runs first drop the
// board file from the page cache; "warm" runs repeat. Each run reports the child's peak memory.
// The importer host reads the same boards (parsing alone), so the cost of drawing shows as the
// ratio between the two.

#include "bench/DVIO/BoardGenerator.hpp"

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
using dv::bench::BoardWriter;

// Boxes with labels, ellipses, text, freehand strokes, generic-icon stencils, flowchart shapes and
// labelled arrows bound to their neighbours, spread over a square that grows with the count.
std::string mixedBoard(int count) {
    BoardWriter w;
    double side = 200.0 * std::max(10, static_cast<int>(std::sqrt(count)));
    w.text = "{\"version\":1,\"elements\":[";
    auto common = [&](int i, const char* type) {
        w.text += '{';
        w.field("id", "el-" + std::to_string(i));
        w.field("type", std::string(type));
        w.field("x", static_cast<int>(w.next(side)));
        w.field("y", static_cast<int>(w.next(side)));
        w.field("strokeColor", std::string(i % 4 ? "#1e1e1e" : "#1971c2"));
        w.field("fillColor", std::string(i % 3 ? "transparent" : "#a5d8ff"));
        w.field("strokeWidth", 2);
        w.field("opacity", 1);
        w.field("roughness", 1);
    };
    for (int i = 0; i < count; ++i) {
        int kind = i % 10;
        if (kind < 4) {
            common(i, kind < 3 ? "rectangle" : "ellipse");
            w.field("width", 80 + w.next(120));
            w.field("height", 40 + w.next(60));
            w.field("label", dv::bench::sentence(w, 2));
        } else if (kind == 4) {
            common(i, "text");
            w.field("content", dv::bench::sentence(w, 8));
            w.field("fontSize", 16);
            w.field("fontFamily", std::string("sans-serif"));
            w.field("width", 240);
            w.field("height", 40);
        } else if (kind == 5) {
            common(i, "freehand");
            dv::bench::freehandPoints(w, 80);
        } else if (kind == 6) {
            common(i, "stencil");
            w.field("width", 64);
            w.field("height", 64);
            w.field("src", std::string("builtin:generic/server"));
            w.field("label", dv::bench::sentence(w, 1));
        } else if (kind == 7) {
            common(i, "shape");
            w.field("kind", std::string(i % 2 ? "process" : "decision"));
            w.field("width", 140);
            w.field("height", 70);
            w.field("label", dv::bench::sentence(w, 2));
        } else {
            common(i, "arrow");
            w.field("x2", w.next(side));
            w.field("y2", w.next(side));
            w.field("startElementId", "el-" + std::to_string(i - 1 - (i % 3)));
            w.field("endElementId", "el-" + std::to_string(i - 4));
            w.field("label", dv::bench::sentence(w, 1));
        }
        w.text.back() = '}';
        w.text += ',';
    }
    if (w.text.back() == ',') w.text.back() = ']';
    else w.text += ']';
    w.text += '}';
    return w.text;
}

const fs::path& boardFile(int count) {
    static std::map<int, fs::path> files;
    auto it = files.find(count);
    if (it != files.end()) return it->second;
    fs::path dir = fs::temp_directory_path() / "drevalin-thumbnail-bench";
    fs::create_directories(dir);
    fs::path file = dir / ("mixed-" + std::to_string(count) + ".drevalin");
    std::ofstream(file, std::ios::binary) << mixedBoard(count);
    return files.emplace(count, file).first->second;
}

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
    long peak = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            dropFromPageCache(board);
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

BENCHMARK(BM_ThumbnailHostCold)->Apply(sizes)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailHostWarm)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImporterHostReading)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
