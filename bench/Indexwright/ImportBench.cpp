// The search import of a large board (the generated 5000-element board): through the plug-in in
// this process, and as the whole indexer process; the parse and the read alone on the same bytes
// give the share the JSON parse takes.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "../DVIO/BoardGenerator.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVIO/JSONParser.hpp"
#include "Platform/PlugIn/PlugIn.h"

extern char** environ;

namespace {

const std::string& boardText() {
    static const std::string text = dv::bench::typicalBoard();
    return text;
}

const std::string& boardPath() {
    static const std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() / ("bench-board-" + std::to_string(getpid()) + ".drevalin")).string();
        std::ofstream(p, std::ios::binary) << boardText();
        return p;
    }();
    return path;
}

void BM_JSONParse(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(dv::JSONParser::parse(boardText()));
}
BENCHMARK(BM_JSONParse)->Unit(benchmark::kMillisecond);

void BM_ReadDrevalinFile(benchmark::State& state) {
    std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(boardText().data()), boardText().size());
    for (auto _ : state) benchmark::DoNotOptimize(dv::readDrevalinFile(bytes));
}
BENCHMARK(BM_ReadDrevalinFile)->Unit(benchmark::kMillisecond);

void BM_ImportData(benchmark::State& state) {
    char* error = nullptr;
    DVPlugInBundle* bundle = DVPlugInBundleOpen(DV_INDEXWRIGHT_BUNDLE, &error);
    DVPlugInFactoryFunction factory =
        bundle ? DVPlugInBundleFactoryForType(bundle, &kDVImporterTypeID, nullptr, &error) : nullptr;
    if (!factory) {
        state.SkipWithError(error ? error : "no importer");
        std::free(error);
        DVPlugInBundleClose(bundle);
        return;
    }
    for (auto _ : state) {
        void* importer = factory(nullptr, &kDVImporterTypeID);
        auto* table = *static_cast<DVImporterInterface**>(importer);
        DVAttributeDictionaryRef attributes = DVAttributeDictionaryCreate();
        if (!table->ImportData(importer, attributes, "example.drevalin.board", boardPath().c_str()))
            state.SkipWithError("import failed");
        DVAttributeDictionaryRelease(attributes);
        table->Release(importer);
    }
    DVPlugInBundleClose(bundle);
}
BENCHMARK(BM_ImportData)->Unit(benchmark::kMillisecond);

// The indexer host as a process: start-up, loading the bundle, the import and the JSON output.
void BM_HostProcess(benchmark::State& state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        const char* host = DV_INDEXWRIGHT_HOST;
        char* argv[] = {const_cast<char*>(host), const_cast<char*>(boardPath().c_str()), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, host, &actions, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) < 0 ||
            !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("the host failed");
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_HostProcess)->Unit(benchmark::kMillisecond);

class ShareReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;     // CPU time: steadier on a shared machine
    std::map<std::string, double> realSeconds;  // wall time: the only measure of a child process
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            seconds[run.benchmark_name()] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            realSeconds[run.benchmark_name()] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("board: %.1f MB, 5000 elements\n", static_cast<double>(boardText().size()) / 1e6);
    ShareReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::remove(boardPath().c_str());
    auto time = [&](const char* name) { return reporter.seconds.count(name) ? reporter.seconds[name] : 0.0; };
    double import = time("BM_ImportData");
    if (import > 0) {
        std::printf("parse share of the import: %.0f %%\n", 100 * time("BM_JSONParse") / import);
        std::printf("read (parse and validation) share of the import: %.0f %%\n", 100 * time("BM_ReadDrevalinFile") / import);
    }
    if (double process = reporter.realSeconds["BM_HostProcess"]; process > 0)
        std::printf("parse share of the whole host process (wall time): %.0f %%\n",
                    100 * reporter.realSeconds["BM_JSONParse"] / process);
    return 0;
}
