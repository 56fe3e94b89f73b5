#include "client_process.h"

#include "bench_message.h"
#include "timing.h"

#include "kvtlog/client.h"
#include "win/unique_resource.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kvt::bench {

namespace {

constexpr DWORD phase_timeout_ms = 600000;

bool create_and_release(ILogSource& source) noexcept
{
    ILogMessage* m = nullptr;
    if (source.CreateMessage(message_level, IID_ILogMessage, reinterpret_cast<void**>(&m)) != S_OK)
        return false;
    m->Release();
    return true;
}

bool run_once(phase_kind kind, ILogSource& source, ILogMessage& empty) noexcept
{
    switch (kind) {
    case phase_kind::empty_call:
        return empty.Reserved1() == E_NOTIMPL;
    case phase_kind::message_object:
        return create_and_release(source);
    case phase_kind::message:
        return log_message(source);
    }
    return false;
}

// Runs one phase until its time is up; false when a call failed.
bool run_phase(phasereport& r, std::int64_t ticks, ILogSource& source, ILogMessage& empty)
{
    const phase_kind kind = static_cast<phase_kind>(r.phase % phase_kinds);
    const std::int64_t deadline = r.begin + ticks;
    bool ok = true;
    do {
        ok = run_once(kind, source, empty) && ok;
        ++r.count;
        r.end = now_ticks();
    } while (r.end < deadline);
    return ok;
}

} // namespace

std::wstring ready_semaphore_name(const std::wstring& run) { return L"Local\\kvtbench-" + run + L"-ready"; }

std::wstring go_event_name(const std::wstring& run, unsigned phase)
{
    return L"Local\\kvtbench-" + run + L"-go-" + std::to_wstring(phase);
}

std::wstring client_command_line(const std::wstring& own_path, const clientplan& c)
{
    return L"\"" + own_path + L"\" -client:" + c.run + L" -phases:" + std::to_wstring(c.phases) + L" -phase-ms:" +
           std::to_wstring(c.phase_ms) + L" \"-out:" + c.output + L"\"";
}

int run_client_process(const clientplan& c)
{
    const kvtlog::apartment com;
    const kvtlog::source source(bench_source_id, bench_source_name, bench_source_version);
    kvtlog::comptr<ILogMessage> empty;
    if (!source || source.get()->CreateMessage(message_level, IID_ILogMessage, empty.put_void()) != S_OK)
        return 2;
    const uniquehandle ready(::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, ready_semaphore_name(c.run).c_str()));
    if (!ready)
        return 3;

    bool ok = true;
    std::vector<phasereport> reports;
    for (unsigned phase = 0; phase < c.phases; ++phase) {
        const uniquehandle go(::OpenEventW(SYNCHRONIZE, FALSE, go_event_name(c.run, phase).c_str()));
        if (!go || !::ReleaseSemaphore(ready.get(), 1, nullptr) ||
            ::WaitForSingleObject(go.get(), phase_timeout_ms) != WAIT_OBJECT_0)
            return 4;
        phasereport r{phase, now_ticks(), 0, 0};
        ok = run_phase(r, seconds_to_ticks(c.phase_ms / 1000.0), *source.get(), *empty.get()) && ok;
        reports.push_back(r);
    }

    std::ofstream out(std::filesystem::path(c.output), std::ios::trunc);
    for (const phasereport& r : reports)
        out << r.phase << ' ' << r.begin << ' ' << r.end << ' ' << r.count << '\n';
    return ok && out ? 0 : 5;
}

std::vector<phasereport> read_phase_reports(const std::wstring& output)
{
    std::ifstream in{std::filesystem::path(output)};
    if (!in)
        throw std::runtime_error("a client process wrote no results");
    std::vector<phasereport> reports;
    phasereport r;
    while (in >> r.phase >> r.begin >> r.end >> r.count)
        reports.push_back(r);
    return reports;
}

} // namespace kvt::bench
