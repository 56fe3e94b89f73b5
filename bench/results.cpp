#include "results.h"

#include "timing.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kvt::bench {

namespace {

std::string number(double v)
{
    char text[32];
    const double a = v < 0 ? -v : v;
    std::snprintf(text, sizeof text, a >= 1000 ? "%.0f" : a >= 10 ? "%.1f" : a >= 0.1 ? "%.2f" : "%.3g", v);
    return text;
}

std::string figure(const std::vector<double>& values, const std::string& unit)
{
    return values.empty() ? "-" : number(median(values)) + " " + unit;
}

std::string aim_text(const result& r)
{
    if (!r.aim)
        return "-";
    return (r.direction == better::lower ? "<= " : ">= ") + number(*r.aim);
}

std::string met_text(const result& r)
{
    const std::optional<bool> met = aim_met(r);
    return met ? (*met ? "yes" : "NO") : "-";
}

std::string joined(const std::vector<double>& values)
{
    std::string s;
    for (double v : values)
        s += (s.empty() ? "" : ";") + number(v);
    return s;
}

std::string csv_field(const std::string& s)
{
    if (s.find_first_of(",\"\n") == std::string::npos)
        return s;
    std::string quoted = "\"";
    for (char c : s)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

std::optional<ratiosummary> ratios(const result& r)
{
    if (r.baseline_values.size() != r.values.size() || r.values.empty())
        return std::nullopt;
    std::vector<double> q;
    for (std::size_t i = 0; i < r.values.size(); ++i)
        q.push_back(r.values[i] / r.baseline_values[i]);
    const auto [lo, hi] = std::minmax_element(q.begin(), q.end());
    return ratiosummary{median(q), *lo, *hi};
}

std::optional<bool> aim_met(const result& r)
{
    const std::optional<ratiosummary> q = ratios(r);
    if (!r.aim || !q)
        return std::nullopt;
    return r.direction == better::lower ? q->median <= *r.aim : q->median >= *r.aim;
}

void print_table(std::FILE* out, const std::vector<result>& results, const machine& m,
                 const std::string& repetitions)
{
    std::fprintf(out, "\nkvtlog benchmarks: %s CPUs, %s; medians of %s; ratio = kvtlog / baseline\n\n",
                 m.cpus.c_str(), m.cpu_model.c_str(), repetitions.c_str());
    const char* row = "%-4s %-54s %16s  %-48s %13s  %7s %-17s %-7s %-4s %s\n";
    std::fprintf(out, row, "#", "kvtlog", "value", "baseline", "value", "ratio", "[min - max]", "aim", "met", "note");
    for (const result& r : results) {
        const std::optional<ratiosummary> q = ratios(r);
        const std::string ratio = q ? number(q->median) : "-";
        const std::string range = q ? "[" + number(q->min) + " - " + number(q->max) + "]" : "";
        std::fprintf(out, row, r.id.c_str(), r.measurement.c_str(), figure(r.values, r.unit).c_str(),
                     r.baseline.empty() ? "-" : r.baseline.c_str(), figure(r.baseline_values, r.baseline_unit).c_str(),
                     ratio.c_str(), range.c_str(), aim_text(r).c_str(), met_text(r).c_str(), r.note.c_str());
    }
    std::fflush(out);
}

void write_csv(const std::wstring& path, const std::vector<result>& results, const machine& m)
{
    std::ofstream out(std::filesystem::path(path), std::ios::trunc);
    out << "id,measurement,unit,median,baseline,baseline_unit,baseline_median,ratio_median,ratio_min,ratio_max,"
           "aim,met,values,baseline_values,cpus,cpu_model,note\n";
    for (const result& r : results) {
        const std::optional<ratiosummary> q = ratios(r);
        const std::optional<bool> met = aim_met(r);
        const std::string fields[] = {
            r.id, r.measurement, r.unit, number(median(r.values)), r.baseline, r.baseline_unit,
            r.baseline_values.empty() ? "" : number(median(r.baseline_values)),
            q ? number(q->median) : "", q ? number(q->min) : "", q ? number(q->max) : "",
            r.aim ? aim_text(r) : "", met ? (*met ? "yes" : "no") : "",
            joined(r.values), joined(r.baseline_values), m.cpus, m.cpu_model, r.note,
        };
        for (const std::string& f : fields)
            out << (&f == fields ? "" : ",") << csv_field(f);
        out << '\n';
    }
    if (!out)
        throw std::runtime_error("cannot write the CSV file");
}

} // namespace kvt::bench
