#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

// Console output that also keeps each benchmark's time under its plain name, so that a program
// can print the ratios of its measurements to their floors after the table. With repetitions
// the time is the median of the repetitions (also when only aggregates are reported); without,
// the single run's.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const auto name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name != "median")
                    continue;
                medians.insert(name);
            } else if (medians.count(name)) {
                continue;
            }
            times[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> times;

private:
    std::set<std::string> medians;
};
