#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench_support {

// A console reporter that keeps the fastest repetition of every benchmark, so that a program
// can print its "ratio <name> <value>" lines from times measured in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    // Without colour codes, so that every "ratio" line starts its line.
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // The fastest of the repetitions: the least disturbed by whatever else runs.
            if (run.run_type == Run::RT_Iteration) {
                const std::string name = run.run_name.function_name;
                const double t = run.GetAdjustedRealTime();
                const auto it = times.find(name);
                if (it == times.end() || t < it->second) {
                    times[name] = t;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The fastest time of a benchmark, 0 when it did not run.
    double time_of(const std::string& name) const {
        const auto it = times.find(name);
        return it == times.end() ? 0.0 : it->second;
    }

    // Prints "ratio <name> <value>", the fastest time of `over` divided by that of `under`;
    // nothing when either did not run.
    void print_ratio(const std::string& name, const std::string& over,
                     const std::string& under) const {
        const double numerator = time_of(over);
        const double denominator = time_of(under);
        if (numerator > 0 && denominator > 0) {
            std::printf("ratio %s %.2f\n", name.c_str(), numerator / denominator);
        }
    }

    std::map<std::string, double> times;
};

}  // namespace bench_support
