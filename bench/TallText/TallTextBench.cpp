// Ten rows of ten text blocks 10 wide at a pitch of 40, each of 10,000 characters wrapping to
// a line per letter (5,000 lines running far below the picture), exported at 256 and 1024 px: the export, which
// draws only the lines that can show, against the same picture with every line of every block
// handed to the canvas (each element recorded, as a recording cannot tell, and replayed).
// Run with FONTCONFIG_FILE pointing at tests/data/fonts/fonts.conf for numbers that do not
// depend on the machine's fonts.
#include "bench/DVIO/RatioReporter.hpp"

#include "DVIO/BoardFile.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "tests/support/EveryLineDrawn.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int COLUMNS = 10, ROWS = 10;

const std::vector<dv::Element>& board() {
    static const std::vector<dv::Element> elements = [] {
        std::string json = R"({"version":1,"elements":[)";
        for (int i = 0; i < COLUMNS * ROWS; ++i) {
            std::string text;
            for (int k = 0; k < 5000; ++k) {
                text += static_cast<char>('a' + (i + 7 * k) % 26);
                text += ' ';
            }
            if (i) json += ',';
            json += R"({"id":"t)";
            json += std::to_string(i);
            json += R"(","type":"text","x":)";
            json += std::to_string(i % COLUMNS * 40);
            json += R"(,"y":)";
            json += std::to_string(i / COLUMNS * 40);
            json += R"(,"width":10,"height":20,"strokeColor":"#1e1e1e","fillColor":"transparent","strokeWidth":2,)"
                    R"("opacity":1,"roughness":1,"fontSize":20,"fontFamily":"sans-serif","content":")";
            json += text;
            json += "\"}";
        }
        json += "]}";
        return dv::readDrevalinFile(std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()))
            .document.elements;
    }();
    return elements;
}

const dv::RenderEnvironment& environment() {
    static const dv::RenderEnvironment env(dv::RenderTheme::light, dv::ImageStore::shared());
    return env;
}

void BM_TallTextsExport(benchmark::State& state) {
    const dv::ExportRasterPlan p = dv::test::thumbnailPlan(board(), static_cast<double>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(dv::renderExportImage(board(), p, environment()));
}
BENCHMARK(BM_TallTextsExport)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TallTextsEveryLine(benchmark::State& state) {
    const dv::ExportRasterPlan p = dv::test::thumbnailPlan(board(), static_cast<double>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(dv::test::everyLineDrawn(board(), p, environment()));
}
BENCHMARK(BM_TallTextsEveryLine)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    dv::bench::RatioReporter reporter;
    if (!dv::bench::runBenchmarks(argc, argv, reporter)) return 1;
    std::printf("\nTall texts, %d blocks of 5,000 lines (ratio = every line's time / this time)\n", COLUMNS * ROWS);
    std::printf("%-24s %10s %14s %9s\n", "", "this ms", "every line ms", "ratio");
    for (const char* side : {"256", "1024"}) {
        const double ours = reporter.time(std::string("BM_TallTextsExport/") + side);
        const double peer = reporter.time(std::string("BM_TallTextsEveryLine/") + side);
        std::printf("%-24s %10.2f %14.2f %8.1fx\n", (std::string("export at ") + side + " px").c_str(), ours * 1e3,
                    peer * 1e3, ours > 0 ? peer / ours : 0.0);
    }
    return 0;
}
