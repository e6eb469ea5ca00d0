#pragma once
// A console reporter that also keeps each benchmark's time, so that a comparison with a peer can
// be printed after the table. Of repeated runs one statistic counts: the median, or another one
// the benchmark computes (such as the fastest run).

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace dv::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::string statistic = "median") : statistic_(std::move(statistic)) {}

    // Seconds by benchmark name ("BM_Name", or "BM_Name/args" for a benchmark with arguments).
    std::map<std::string, double> seconds;

    // The user counters of each benchmark, by benchmark name and counter name.
    std::map<std::string, std::map<std::string, double>> counters;

    // The time of `name`, or 0 when it did not run.
    double time(const std::string& name) const {
        auto it = seconds.find(name);
        return it == seconds.end() ? 0.0 : it->second;
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            const bool chosen = run.run_type == Run::RT_Aggregate && run.aggregate_name == statistic_;
            if (run.run_type == Run::RT_Aggregate && !chosen) continue;
            if (chosen || !seconds.count(name)) {
                seconds[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
                for (const auto& [counter, value] : run.counters) counters[name][counter] = value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::string statistic_;
};

// Runs every registered benchmark, keeping their times in `reporter`; false when the command line
// holds arguments the benchmark library does not know.
inline bool runBenchmarks(int argc, char** argv, RatioReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

}  // namespace dv::bench
