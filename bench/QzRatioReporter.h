// A console reporter that keeps every benchmark's times, so a program can print ratios against a baseline measured in the same run.
#ifndef QZ_RATIO_REPORTER_H
#define QZ_RATIO_REPORTER_H

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

// Prints the usual table; after the last benchmark, printRatios() reads the kept times.
class QzRatioReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double cpu = 0;
        double real = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[run.run_name.function_name] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        printRatios();
    }

protected:
    virtual void printRatios() = 0;
    // The times of the benchmark with that function name; null when it did not run.
    const Times* times(const char* name) const {
        auto found = times_.find(name);
        return found == times_.end() ? nullptr : &found->second;
    }

private:
    std::map<std::string, Times> times_;
};

#endif
