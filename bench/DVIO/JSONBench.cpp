// JSON parsing and writing of large boards, and, when the peer libraries are installed, the
// same bytes parsed by RapidJSON and by nlohmann::ordered_json for comparison.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "BoardGenerator.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"

#if DV_BENCH_PEERS
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#endif

namespace {

const std::string& boardText() {
    static const std::string text = dv::bench::typicalBoard();
    return text;
}

const std::string& escapeText() {
    static const std::string text = dv::bench::escapeHeavyText();
    return text;
}

void parseOurs(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        dv::JSONValue value = dv::JSONParser::parse(text);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_JSONParse_Board(benchmark::State& state) { parseOurs(state, boardText()); }
void BM_JSONParse_Escapes(benchmark::State& state) { parseOurs(state, escapeText()); }
BENCHMARK(BM_JSONParse_Board)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JSONParse_Escapes)->Unit(benchmark::kMillisecond);

void BM_JSONWrite_Board(benchmark::State& state) {
    dv::JSONValue value = dv::JSONParser::parse(boardText());
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = dv::JSONWriter::stringify(value, state.range(0), false);
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_JSONWrite_Board)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

std::span<const std::uint8_t> boardBytes() {
    return {reinterpret_cast<const std::uint8_t*>(boardText().data()), boardText().size()};
}

// Parse and validation together: what the thumbnailer and the importer pay per board.
void BM_ReadDrevalinFile_Board(benchmark::State& state) {
    std::size_t elements = 0;
    for (auto _ : state) {
        dv::DrevalinReadResult result = dv::readDrevalinFile(boardBytes());
        elements = result.document.elements.size();
        benchmark::DoNotOptimize(result);
    }
    state.counters["elements"] = static_cast<double>(elements);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * boardText().size()));
}
BENCHMARK(BM_ReadDrevalinFile_Board)->Unit(benchmark::kMillisecond);

void BM_WriteDrevalinFile_Board(benchmark::State& state) {
    dv::DrevalinDocumentData document = dv::readDrevalinFile(boardBytes()).document;
    for (auto _ : state) {
        std::vector<std::uint8_t> data = dv::writeDrevalinFile(document);
        benchmark::DoNotOptimize(data);
    }
}
BENCHMARK(BM_WriteDrevalinFile_Board)->Unit(benchmark::kMillisecond);

#if DV_BENCH_PEERS
void BM_RapidJSON_Board(benchmark::State& state) {
    const std::string& text = boardText();
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse<rapidjson::kParseFullPrecisionFlag>(text.data(), text.size());
        if (document.HasParseError()) state.SkipWithError("RapidJSON rejected the board");
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_RapidJSON_Board)->Unit(benchmark::kMillisecond);

void BM_NlohmannOrdered_Board(benchmark::State& state) {
    const std::string& text = boardText();
    for (auto _ : state) {
        nlohmann::ordered_json document = nlohmann::ordered_json::parse(text);
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_NlohmannOrdered_Board)->Unit(benchmark::kMillisecond);
#endif

// Keeps each run's time so that the comparison can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            seconds[run.benchmark_name()] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("board: %.1f MB\n", static_cast<double>(boardText().size()) / 1e6);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto time = [&](const char* name) {
        auto it = reporter.seconds.find(name);
        return it == reporter.seconds.end() ? 0.0 : it->second;
    };
    double ours = time("BM_JSONParse_Board");
    if (double nlohmann = time("BM_NlohmannOrdered_Board"); ours > 0 && nlohmann > 0)
        std::printf("speed against nlohmann::ordered_json: %.2fx (target >= 3)\n", nlohmann / ours);
    if (double rapid = time("BM_RapidJSON_Board"); ours > 0 && rapid > 0)
        std::printf("throughput against RapidJSON: %.2f (target >= 0.5)\n", rapid / ours);
    return 0;
}
