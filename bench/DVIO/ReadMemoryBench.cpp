// Time and heap of reading a freehand-heavy board (about 20 MB): the whole read, the parsed tree
// alone, and validation of that tree copying from it or taking from it. Every allocation of the
// program is counted, so each run reports the heap it needed at its peak and what it kept, both
// as multiples of the file size.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "BoardGenerator.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVModel/ElementValidation.hpp"

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void counted(void* block) {
    const std::size_t live = liveBytes.fetch_add(malloc_usable_size(block), std::memory_order_relaxed) +
                             malloc_usable_size(block);
    std::size_t peak = peakBytes.load(std::memory_order_relaxed);
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
}

}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    counted(block);
    return block;
}

// The replaced operator new above allocates with malloc, so free is the matching release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    liveBytes.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
    std::free(block);
}
#pragma GCC diagnostic pop

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace {

// 12 strokes of 100,000 points: about 20 MB.
const std::string& boardText() {
    static const std::string text = dv::bench::freehandBoard(12, 100000);
    return text;
}

std::span<const std::uint8_t> boardBytes() {
    return {reinterpret_cast<const std::uint8_t*>(boardText().data()), boardText().size()};
}

// Runs `read` once per iteration with the heap measured from just before it; `read` returns what
// the caller would keep.
template <class Read>
void measure(benchmark::State& state, Read read) {
    const double fileBytes = static_cast<double>(boardText().size());
    double peak = 0, kept = 0;
    for (auto _ : state) {
        const std::size_t before = liveBytes.load();
        peakBytes.store(before);
        auto result = read();
        kept = static_cast<double>(liveBytes.load() - before);
        peak = static_cast<double>(peakBytes.load() - before);
        benchmark::DoNotOptimize(result);
    }
    state.counters["peak/file"] = peak / fileBytes;
    state.counters["kept/file"] = kept / fileBytes;
    state.counters["peakMB"] = peak / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * boardText().size()));
}

// What the thumbnailer and the importer do: the file bytes to validated elements.
void BM_ReadFreehandBoard(benchmark::State& state) {
    measure(state, [] { return dv::readDrevalinFile(boardBytes()); });
}
BENCHMARK(BM_ReadFreehandBoard)->Unit(benchmark::kMillisecond);

// The whole parsed tree, which a read no longer holds at once.
void BM_ParseFreehandBoardTree(benchmark::State& state) {
    measure(state, [] { return dv::JSONParser::parse(boardBytes()); });
}
BENCHMARK(BM_ParseFreehandBoardTree)->Unit(benchmark::kMillisecond);

const dv::JSONValue& parsedElements() {
    static const dv::JSONValue elements = *dv::JSONParser::parse(boardBytes()).objectValue()->find("elements");
    return elements;
}

// Validation of a tree the caller keeps, and of one it hands over (each copied outside the
// measurement, so both start from the same heap).
void BM_ValidateFreehandTree(benchmark::State& state) {
    const bool taking = state.range(0) != 0;
    const double fileBytes = static_cast<double>(boardText().size());
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        dv::JSONValue tree = parsedElements();
        state.ResumeTiming();
        const std::size_t before = liveBytes.load();
        peakBytes.store(before);
        auto elements = taking ? dv::ElementValidation::validateElements(std::move(tree))
                               : dv::ElementValidation::validateElements(tree);
        peak = static_cast<double>(peakBytes.load() - before);
        benchmark::DoNotOptimize(elements);
    }
    state.counters["extraPeak/file"] = peak / fileBytes;
}
BENCHMARK(BM_ValidateFreehandTree)->ArgName("taking")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("freehand board: %.1f MB\n", static_cast<double>(boardText().size()) / 1e6);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
