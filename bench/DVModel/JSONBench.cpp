// Speed of the JSON value model and the UTF-8 helpers on the sizes the JSON parser meets:
// objects with hundreds of thousands of keys and texts of several megabytes.

#include "DVModel/JSONValue.hpp"
#include "DVModel/UTF8.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace dv;

std::vector<std::string> makeKeys(std::size_t count, std::size_t prefix) {
    std::vector<std::string> keys;
    keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i) keys.push_back(std::string(prefix, 'p') + std::to_string(i));
    return keys;
}

// Building one large object and finding every key once: must grow linearly with the key count.
void BM_LargeObjectInsertAndFind(benchmark::State& state) {
    const auto keys = makeKeys(static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) {
        JSONObject object;
        for (std::size_t i = 0; i < keys.size(); ++i) object.set(keys[i], static_cast<double>(i));
        std::size_t found = 0;
        for (const auto& key : keys) found += object.find(key) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LargeObjectInsertAndFind)
    ->Args({20000, 0})->Args({200000, 0})->Args({200000, 64})->Unit(benchmark::kMillisecond);

// The parser's common case: thousands of element-sized objects.
void BM_ElementObjects(benchmark::State& state) {
    const char* names[] = {"id", "type", "x", "y", "width", "height", "strokeColor", "fillColor",
                           "strokeWidth", "opacity", "roughness", "rotation", "strokeStyle", "label",
                           "labelFontSize", "labelColor", "groupId", "layerName", "visible", "locked",
                           "shadowBlur", "shadowColor", "shadowOffsetX", "shadowOffsetY"};
    for (auto _ : state) {
        JSONValue::Array elements;
        elements.reserve(5000);
        for (int e = 0; e < 5000; ++e) {
            JSONObject object;
            for (const char* name : names) object.set(name, static_cast<double>(e));
            elements.emplace_back(std::move(object));
        }
        benchmark::DoNotOptimize(elements.data());
    }
    state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(BM_ElementObjects)->Unit(benchmark::kMillisecond);

std::string makeText(std::size_t bytes, bool mostlyASCII) {
    std::mt19937 rng(7);
    const char32_t wide[] = {0xE9, 0x20AC, 0x1F600, 0x4E2D, 0xFF21};
    std::string text;
    while (text.size() < bytes) {
        if (mostlyASCII && rng() % 16 != 0) text.push_back(static_cast<char>('a' + rng() % 26));
        else appendUTF8(text, wide[rng() % 5]);
    }
    return text;
}

void BM_UTF16Length(benchmark::State& state) {
    const std::string text = makeText(4 << 20, state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(utf16Length(text));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_UTF16Length)->Arg(1)->Arg(0);

void BM_IsValidUTF8(benchmark::State& state) {
    const std::string text = makeText(4 << 20, state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(isValidUTF8(text));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_IsValidUTF8)->Arg(1)->Arg(0);

void BM_RepairUTF8(benchmark::State& state) {
    std::string text = makeText(4 << 20, true);
    for (std::size_t i = 0; i < text.size(); i += 4096) text[i] = '\xFF';
    for (auto _ : state) benchmark::DoNotOptimize(repairUTF8(text));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_RepairUTF8);

void BM_CompareUTF16(benchmark::State& state) {
    const std::string a = makeText(1 << 20, false);
    std::string b = a;
    b.back() = 'z';
    for (auto _ : state) benchmark::DoNotOptimize(compareUTF16(a, b));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(a.size()));
}
BENCHMARK(BM_CompareUTF16);

}  // namespace
