// Reading a full board through the validation gate, writing it back, and recognising unchanged
// elements: the per-file work of both deliverables and of incremental rendering.

#include "DVModel/ElementValidation.hpp"

#include "ElementSamples.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

// 5000 elements of every kind, with labels, every colour syntax and unknown keys.
const std::vector<dv::Element>& mixedBoard() {
    static const std::vector<dv::Element> board = [] {
        std::mt19937_64 rng(5000);
        std::vector<dv::Element> out;
        for (int i = 0; i < 5000; ++i) out.push_back(dv::test::randomValidElement(rng, "element-" + std::to_string(i)));
        return out;
    }();
    return board;
}

const dv::JSONValue& mixedBoardJSON() {
    static const dv::JSONValue json = [] {
        dv::JSONValue::Array entries;
        for (const dv::Element& e : mixedBoard()) entries.push_back(e.jsonValue());
        return dv::JSONValue(std::move(entries));
    }();
    return json;
}

void ValidateMixedBoard(benchmark::State& state) {
    const dv::JSONValue& board = mixedBoardJSON();
    for (auto _ : state) {
        auto elements = dv::ElementValidation::validateElements(board);
        benchmark::DoNotOptimize(elements);
    }
    state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(ValidateMixedBoard)->Unit(benchmark::kMillisecond);

// Every element fails at its last key (a colour the gate refuses), after all others passed.
void ValidateBoardOfLateFailures(benchmark::State& state) {
    dv::JSONValue::Array entries;
    for (const dv::Element& e : mixedBoard()) {
        dv::JSONObject object = e.jsonObject();
        object.remove("fillColor");
        object.set("fillColor", dv::JSONValue("not a colour!"));
        entries.emplace_back(std::move(object));
    }
    const dv::JSONValue board(std::move(entries));
    for (auto _ : state) {
        auto elements = dv::ElementValidation::validateElements(board);
        benchmark::DoNotOptimize(elements);
    }
    state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(ValidateBoardOfLateFailures)->Unit(benchmark::kMillisecond);

void WriteMixedBoard(benchmark::State& state) {
    for (auto _ : state) {
        for (const dv::Element& e : mixedBoard()) benchmark::DoNotOptimize(e.jsonObject());
    }
    state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(WriteMixedBoard)->Unit(benchmark::kMillisecond);

void IdenticalBoards(benchmark::State& state) {
    const std::vector<dv::Element> copy = mixedBoard();
    for (auto _ : state) benchmark::DoNotOptimize(dv::elementsAreIdentical(mixedBoard(), copy));
    state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(IdenticalBoards)->Unit(benchmark::kMillisecond);

void ValidateLongFreehandStroke(benchmark::State& state) {
    dv::Element::Freehand stroke;
    for (int i = 0; i < 100000; ++i) {
        stroke.points.push_back({i * 0.5, (i % 100) * 0.25});
    }
    stroke.pressures = std::vector<double>(stroke.points.size(), 0.5);
    dv::Element e = dv::test::minimalElement(dv::ElementType::freehand);
    e.payload = std::move(stroke);
    const dv::JSONValue json = e.jsonValue();
    for (auto _ : state) benchmark::DoNotOptimize(dv::ElementValidation::parseElement(json));
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(ValidateLongFreehandStroke)->Unit(benchmark::kMillisecond);

}  // namespace
