// Wrapping a single very long word at a narrow width: every character becomes a line, and the
// time must grow linearly with the word (a label of 10,000 characters must not stall a picture).
#include "DVText/TextMetrics.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_WrapLongWord(benchmark::State& state) {
    std::string word(static_cast<std::size_t>(state.range(0)), 'W');
    for (auto _ : state) {
        auto lines = dv::wrapTextLines(word, 1, 16, "Arial, sans-serif", false, true);
        benchmark::DoNotOptimize(lines);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_WrapLongWord)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_WrapLongLineOfWords(benchmark::State& state) {
    std::string text;
    while (text.size() < static_cast<std::size_t>(state.range(0))) text += "word ";
    for (auto _ : state) {
        auto lines = dv::wrapTextLines(text, 400, 16, "Arial, sans-serif", false, true);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_WrapLongLineOfWords)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
