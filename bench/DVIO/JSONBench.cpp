// JSON parsing and writing of large boards. When the peer libraries are installed the same bytes
// are parsed by RapidJSON (full precision), simdjson (DOM), Boost.JSON and nlohmann::ordered_json
// in the same run, and a table of throughputs and ratios is printed after the benchmarks.
// Every parser's tree is walked after the parse (numbers summed, string and key lengths totalled),
// so that no parser gains by leaving work undone.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BoardGenerator.hpp"
#include "RatioReporter.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"

#if DV_BENCH_PEERS
#include <boost/json.hpp>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <simdjson.h>
#endif

namespace {

struct Board {
    const char* name;
    std::string text;
};

// The boards of the comparison: typical mixed with a 2 MB image, object-heavy mixed without
// images, freehand numbers, and one 5 MB string.
const std::vector<Board>& boards() {
    static const std::vector<Board> list = {
        {"typical", dv::bench::typicalBoard()},
        {"objects", dv::bench::objectHeavyBoard()},
        {"freehand", dv::bench::freehandBoard(25, 15000)},
        {"string", dv::bench::oneStringBoard(5 << 20)},
    };
    return list;
}

const std::string& boardText() { return boards().front().text; }

const std::string& escapeText() {
    static const std::string text = dv::bench::escapeHeavyText();
    return text;
}

// What a walk of a tree gathers: enough that nothing can be skipped.
struct Tally {
    double numbers = 0;
    std::size_t textBytes = 0;
    std::size_t values = 0;
};

void walk(const dv::JSONValue& value, Tally& tally) {
    ++tally.values;
    switch (value.kind()) {
    case dv::JSONValue::Kind::number: tally.numbers += *value.doubleValue(); break;
    case dv::JSONValue::Kind::string: tally.textBytes += value.stringValue()->size(); break;
    case dv::JSONValue::Kind::array:
        for (const dv::JSONValue& item : *value.arrayValue()) walk(item, tally);
        break;
    case dv::JSONValue::Kind::object:
        for (auto entry : *value.objectValue()) {
            tally.textBytes += entry.key.size();
            walk(entry.value, tally);
        }
        break;
    default: break;
    }
}

void finish(benchmark::State& state, const std::string& text, const Tally& tally) {
    state.counters["values"] = static_cast<double>(tally.values);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parseOurs(benchmark::State& state, const std::string& text) {
    Tally tally;
    for (auto _ : state) {
        dv::JSONValue value = dv::JSONParser::parse(text);
        tally = {};
        walk(value, tally);
        benchmark::DoNotOptimize(tally);
    }
    finish(state, text, tally);
}

#if DV_BENCH_PEERS
void walk(const rapidjson::Value& value, Tally& tally) {
    ++tally.values;
    if (value.IsNumber()) {
        tally.numbers += value.GetDouble();
    } else if (value.IsString()) {
        tally.textBytes += value.GetStringLength();
    } else if (value.IsArray()) {
        for (const auto& item : value.GetArray()) walk(item, tally);
    } else if (value.IsObject()) {
        for (const auto& member : value.GetObject()) {
            tally.textBytes += member.name.GetStringLength();
            walk(member.value, tally);
        }
    }
}

void parseRapidJSON(benchmark::State& state, const std::string& text) {
    Tally tally;
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse<rapidjson::kParseFullPrecisionFlag>(text.data(), text.size());
        if (document.HasParseError()) {
            state.SkipWithError("RapidJSON rejected the board");
            return;
        }
        tally = {};
        walk(document, tally);
        benchmark::DoNotOptimize(tally);
    }
    finish(state, text, tally);
}

void walk(simdjson::dom::element value, Tally& tally) {
    ++tally.values;
    switch (value.type()) {
    case simdjson::dom::element_type::INT64:
    case simdjson::dom::element_type::UINT64:
    case simdjson::dom::element_type::DOUBLE: tally.numbers += double(value); break;
    case simdjson::dom::element_type::STRING: tally.textBytes += std::string_view(value).size(); break;
    case simdjson::dom::element_type::ARRAY:
        for (simdjson::dom::element item : simdjson::dom::array(value)) walk(item, tally);
        break;
    case simdjson::dom::element_type::OBJECT:
        for (simdjson::dom::key_value_pair member : simdjson::dom::object(value)) {
            tally.textBytes += member.key.size();
            walk(member.value, tally);
        }
        break;
    default: break;
    }
}

void parseSimdjson(benchmark::State& state, const std::string& text) {
    // The padded copy is simdjson's input format, made once as a caller holding the file would.
    // The parser is reused, as simdjson intends: its first parse of a size sets up buffers that
    // cost more than the parse itself, and that set-up is made here, before the timing.
    const simdjson::padded_string padded(text);
    static simdjson::dom::parser parser;
    simdjson::dom::element warm;
    if (parser.parse(padded).get(warm) != simdjson::SUCCESS) {
        state.SkipWithError("simdjson rejected the board");
        return;
    }
    Tally tally;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(padded).get(root) != simdjson::SUCCESS) {
            state.SkipWithError("simdjson rejected the board");
            return;
        }
        tally = {};
        walk(root, tally);
        benchmark::DoNotOptimize(tally);
    }
    finish(state, text, tally);
}

void walk(const boost::json::value& value, Tally& tally) {
    ++tally.values;
    switch (value.kind()) {
    case boost::json::kind::int64: tally.numbers += static_cast<double>(value.get_int64()); break;
    case boost::json::kind::uint64: tally.numbers += static_cast<double>(value.get_uint64()); break;
    case boost::json::kind::double_: tally.numbers += value.get_double(); break;
    case boost::json::kind::string: tally.textBytes += value.get_string().size(); break;
    case boost::json::kind::array:
        for (const auto& item : value.get_array()) walk(item, tally);
        break;
    case boost::json::kind::object:
        for (const auto& member : value.get_object()) {
            tally.textBytes += member.key().size();
            walk(member.value(), tally);
        }
        break;
    default: break;
    }
}

void parseBoostJSON(benchmark::State& state, const std::string& text) {
    Tally tally;
    for (auto _ : state) {
        boost::json::error_code error;
        boost::json::value document = boost::json::parse(text, error);
        if (error) {
            state.SkipWithError("Boost.JSON rejected the board");
            return;
        }
        tally = {};
        walk(document, tally);
        benchmark::DoNotOptimize(tally);
    }
    finish(state, text, tally);
}

void walk(const nlohmann::ordered_json& value, Tally& tally) {
    ++tally.values;
    if (value.is_number()) {
        tally.numbers += value.get<double>();
    } else if (value.is_string()) {
        tally.textBytes += value.get_ref<const std::string&>().size();
    } else if (value.is_array()) {
        for (const auto& item : value) walk(item, tally);
    } else if (value.is_object()) {
        for (const auto& member : value.items()) {
            tally.textBytes += member.key().size();
            walk(member.value(), tally);
        }
    }
}

void parseNlohmann(benchmark::State& state, const std::string& text) {
    Tally tally;
    for (auto _ : state) {
        nlohmann::ordered_json document = nlohmann::ordered_json::parse(text);
        tally = {};
        walk(document, tally);
        benchmark::DoNotOptimize(tally);
    }
    finish(state, text, tally);
}
#endif

using Parse = void (*)(benchmark::State&, const std::string&);

struct Parser {
    const char* name;
    Parse parse;
};

const std::vector<Parser>& parsers() {
    static const std::vector<Parser> list = {
        {"ours", parseOurs},
#if DV_BENCH_PEERS
        {"RapidJSON", parseRapidJSON},
        {"simdjson", parseSimdjson},
        {"BoostJSON", parseBoostJSON},
        {"nlohmann", parseNlohmann},
#endif
    };
    return list;
}

std::string parseName(const Parser& parser, const Board& board) {
    return std::string("BM_Parse/") + board.name + "/" + parser.name;
}

void BM_JSONParse_Escapes(benchmark::State& state) { parseOurs(state, escapeText()); }
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


}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Board by board, every parser in turn, so that the runs compared stand close together in time.
    for (const Board& board : boards())
        for (const Parser& parser : parsers())
            benchmark::RegisterBenchmark(parseName(parser, board).c_str(), parser.parse, board.text)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
    dv::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto time = [&](const std::string& name) {
        auto it = reporter.seconds.find(name);
        return it == reporter.seconds.end() ? 0.0 : it->second;
    };
    std::printf("\nJSON parse and walk, medians of this run (ratio = peer's time / ours; above 1 we are faster)\n");
    std::printf("%-10s %7s", "board", "MB");
    for (const Parser& parser : parsers()) std::printf(" %10s GB/s", parser.name);
    for (const Parser& parser : parsers())
        if (parser.parse != parseOurs) std::printf(" %10s", parser.name);
    std::printf("\n");
    for (const Board& board : boards()) {
        const double ours = time(parseName(parsers().front(), board));
        if (ours <= 0) continue;
        std::printf("%-10s %7.1f", board.name, static_cast<double>(board.text.size()) / 1e6);
        for (const Parser& parser : parsers()) {
            const double t = time(parseName(parser, board));
            std::printf(" %15.2f", t > 0 ? static_cast<double>(board.text.size()) / t / 1e9 : 0.0);
        }
        for (const Parser& parser : parsers())
            if (parser.parse != parseOurs) std::printf(" %9.2fx", time(parseName(parser, board)) / ours);
        std::printf("\n");
    }
    std::printf("target: at least 1.00x against RapidJSON on every board\n");
    return 0;
}
