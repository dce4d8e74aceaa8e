#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include <unistd.h>

// Console output that also keeps each run's time, so that a program can print the ratios
// of its measurements to their floors after the table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> times;
};
