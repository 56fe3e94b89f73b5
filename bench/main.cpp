// kvtbench: the benchmark suite. tools/bench.sh runs it after registering the server and
// its proxy/stub DLL in the build's Wine prefix:
//
//     kvtbench -csv:<file> [-cpus:<n>] [-cpu:<model>] [-only:<ids>] [-quick]
//
// runs every benchmark (or those named in -only: 1 to 5, c for the step costs, h for the
// record channel; -only:13c), prints the table and writes the CSV file. -quick runs a small
// plan that only checks that everything works. With -client:<run> the program is one client
// process of the cross-process benchmarks (client_process.h).

#include "benchmarks.h"
#include "client_process.h"

#include "kvtlog/client.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace {

using namespace kvt::bench;

class options {
public:
    options(int argc, wchar_t** argv) : args_(argv + 1, argv + argc) {}

    // The value of -name:value.
    std::optional<std::wstring> value(const std::wstring& name) const
    {
        const std::wstring prefix = L"-" + name + L":";
        for (const std::wstring& a : args_)
            if (a.compare(0, prefix.size(), prefix) == 0)
                return a.substr(prefix.size());
        return std::nullopt;
    }
    std::wstring value_or(const std::wstring& name, const std::wstring& fallback) const
    {
        return value(name).value_or(fallback);
    }
    bool flag(const std::wstring& name) const
    {
        for (const std::wstring& a : args_)
            if (a == L"-" + name)
                return true;
        return false;
    }

private:
    std::vector<std::wstring> args_;
};

std::string narrow(const std::wstring& text)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring own_path()
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path;
}

struct benchmark {
    char id;  // selects it in -only; its rows' ids start with it, context rows aside
    std::function<std::vector<result>(const plan&)> run;
};

int run_suite(const options& o)
{
    const kvtlog::apartment com;
    const plan& p = o.flag(L"quick") ? quick_plan : full_plan;
    const std::wstring self = own_path();
    const benchmark benchmarks[] = {
        {'1', measure_disabled_level},
        {'2', measure_client_path},
        {'3', [](const plan& q) {
             std::vector<result> rows = measure_writer(q);
             for (result& r : measure_writer_batches(q))
                 rows.push_back(std::move(r));
             return rows;
         }},
        {'4', [&](const plan& q) { return measure_cross_process(q, self); }},
        {'5', measure_memory},
        {'6', [&](const plan& q) {
             return measure_forwarding(q, static_cast<unsigned>(std::wcstoul(o.value_or(L"collector", L"0").c_str(),
                                                                             nullptr, 10)));
         }},
        {'c', measure_step_costs},
        {'h', [&](const plan& q) {
             std::vector<result> rows = measure_channel_caller(q);
             for (auto measure : {measure_channel_throughput, measure_channel_memory})
                 for (result& r : measure(q, self))
                     rows.push_back(std::move(r));
             return rows;
         }},
    };
    const std::string only = narrow(o.value_or(L"only", L""));
    std::vector<result> results;
    for (const benchmark& b : benchmarks) {
        if (!only.empty() && only.find(b.id) == std::string::npos)
            continue;
        std::fprintf(stderr, "running benchmark %c\n", b.id);
        for (result& r : b.run(p))
            results.push_back(std::move(r));
    }
    const machine m{narrow(o.value_or(L"cpus", L"?")), narrow(o.value_or(L"cpu", L"unknown CPU"))};
    print_table(stdout, results, m,
                std::to_string(p.repetitions) + " repetitions (heap figures: " +
                    std::to_string(p.memory_repetitions) + ")");
    if (const std::optional<std::wstring> csv = o.value(L"csv"))
        write_csv(*csv, results, m);
    return 0;
}

int run_client(const options& o, const std::wstring& run)
{
    clientplan c;
    c.run = run;
    c.phases = static_cast<unsigned>(std::wcstoul(o.value_or(L"phases", L"0").c_str(), nullptr, 10));
    c.phase_ms = static_cast<unsigned>(std::wcstoul(o.value_or(L"phase-ms", L"0").c_str(), nullptr, 10));
    c.output = o.value_or(L"out", L"");
    c.threads = static_cast<unsigned>(std::wcstoul(o.value_or(L"threads", L"0").c_str(), nullptr, 10));
    c.channels = static_cast<unsigned>(std::wcstoul(o.value_or(L"channels", L"0").c_str(), nullptr, 10));
    return run_client_process(c);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const options o(argc, argv);
    try {
        if (const std::optional<std::wstring> run = o.value(L"client"))
            return run_client(o, *run);
        return run_suite(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvtbench: %s\n", e.what());
        return 1;
    }
}
