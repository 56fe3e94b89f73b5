#pragma once
// The suite's report: one row per figure, kvtlog's value beside a baseline measured in the
// same run, one value of each per repetition. Every figure is judged by the ratio of the
// two, since absolute times on a shared machine say little; the medians of the absolute
// values are printed beside it for context.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kvt::bench {

// Which way of the ratio kvtlog / baseline is good.
enum class better { lower, higher };

struct result {
    std::string id;           // "1", "2a", ...; "c..." for context figures without an aim
    std::string measurement;  // what kvtlog's value is
    std::string unit;
    std::string baseline;     // what the baseline value is; empty when there is none
    std::string baseline_unit;
    better direction = better::lower;
    std::optional<double> aim;  // bound on the ratio
    std::vector<double> values;
    std::vector<double> baseline_values;  // empty, or one per value, measured alongside it
    std::string note{};                   // what else the reader should know of the figure
};

struct ratiosummary {
    double median;
    double min;
    double max;
};

// The ratio of each value to the baseline measured alongside it; empty without baseline.
std::optional<ratiosummary> ratios(const result& r);

// Whether the ratio's median meets the aim; empty when there is no aim.
std::optional<bool> aim_met(const result& r);

struct machine {
    std::string cpus;
    std::string cpu_model;
};

// repetitions says how many values each median is of.
void print_table(std::FILE* out, const std::vector<result>& results, const machine& m,
                 const std::string& repetitions);

// Overwrites the file. Throws std::runtime_error when it cannot be written.
void write_csv(const std::wstring& path, const std::vector<result>& results, const machine& m);

} // namespace kvt::bench
