#include "client_process.h"

#include "bench_message.h"
#include "timing.h"

#include "kvtlog/client.h"
#include "support/processes.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

namespace kvt::bench {

namespace {

constexpr DWORD phase_timeout_ms = 600000;
constexpr DWORD client_timeout_ms = 600000;

std::wstring ready_semaphore_name(const std::wstring& run) { return L"Local\\kvtbench-" + run + L"-ready"; }

std::wstring go_event_name(const std::wstring& run, unsigned phase)
{
    return L"Local\\kvtbench-" + run + L"-go-" + std::to_wstring(phase);
}

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

// Runs one phase of a COM client until its time is up; false when a call failed.
bool run_com_phase(phasereport& r, std::int64_t ticks, ILogSource& source, ILogMessage& empty)
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

// Logs the bench statement from the threads until the phase's time is up. The clock is read
// once every 64 statements: it costs about as much as a statement.
void run_channel_phase(phasereport& r, std::int64_t ticks, const kvtlog::source& source, unsigned threads)
{
    std::atomic<std::uint64_t> count{0};
    std::atomic<std::int64_t> end{0};
    {
        std::vector<std::jthread> loggers;
        for (unsigned t = 0; t < threads; ++t)
            loggers.emplace_back([&] {
                const kvtlog::apartment com;
                std::uint64_t made = 0;
                std::int64_t now = r.begin;
                for (; now < r.begin + ticks; now = now_ticks(), made += 64)
                    for (int i = 0; i < 64; ++i)
                        log_statement(source);
                count += made;
                for (std::int64_t last = end.load(); last < now && !end.compare_exchange_weak(last, now);)
                    ;
            });
    }
    r.count = count;
    r.end = end;
}

// Signals ready, waits for each phase's go event and runs the phase; writes the reports.
int run_phases(const clientplan& c, const std::function<bool(phasereport&)>& phase)
{
    const uniquehandle ready(::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, ready_semaphore_name(c.run).c_str()));
    if (!ready)
        return 3;
    bool ok = true;
    std::vector<phasereport> reports;
    for (unsigned p = 0; p < c.phases; ++p) {
        const uniquehandle go(::OpenEventW(SYNCHRONIZE, FALSE, go_event_name(c.run, p).c_str()));
        if (!go || !::ReleaseSemaphore(ready.get(), 1, nullptr) ||
            ::WaitForSingleObject(go.get(), phase_timeout_ms) != WAIT_OBJECT_0)
            return 4;
        phasereport r{p, now_ticks(), 0, 0};
        ok = phase(r) && ok;
        reports.push_back(r);
    }
    std::ofstream out(std::filesystem::path(c.output), std::ios::trunc);
    for (const phasereport& r : reports)
        out << r.phase << ' ' << r.begin << ' ' << r.end << ' ' << r.count << '\n';
    return ok && out ? 0 : 5;
}

// Opens the channels in phase 0 and closes them in phase 1; the handles the server gave
// the process stay open until it ends, as they would in a process that maps them.
int run_channel_holder(const clientplan& c, const kvtlog::service& service)
{
    kvtlog::comptr<ILogChannel> channel;
    if (!service || FAILED(service.get()->QueryInterface(IID_ILogChannel, channel.put_void())))
        return 2;
    std::vector<DWORD> ids;
    return run_phases(c, [&](phasereport& r) {
        bool ok = true;
        for (unsigned i = 0; i < c.channels; ++i) {
            if (r.phase == 0) {
                DWORD id;
                ULONGLONG ring, levels, wake;
                if (SUCCEEDED(channel->OpenChannel(::GetCurrentProcessId(), 0, &id, &ring, &levels, &wake)))
                    ids.push_back(id);
                else
                    ok = false;
            } else if (i < ids.size()) {
                ok = SUCCEEDED(channel->CloseChannel(ids[i])) && ok;
            }
        }
        r.count = ids.size();
        r.end = now_ticks();
        return ok;
    });
}

std::wstring client_command_line(const clientplan& c)
{
    return L"-client:" + c.run + L" -phases:" + std::to_wstring(c.phases) + L" -phase-ms:" +
           std::to_wstring(c.phase_ms) + L" -threads:" + std::to_wstring(c.threads) + L" -channels:" +
           std::to_wstring(c.channels) + L" \"-out:" + c.output + L"\"";
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

} // namespace

int run_client_process(const clientplan& c)
{
    const kvtlog::apartment com;
    const std::int64_t ticks = seconds_to_ticks(c.phase_ms / 1000.0);
    if (c.channels)
        return run_channel_holder(c, kvtlog::service());
    const kvtlog::source source(bench_source_id, bench_source_name, bench_source_version);
    if (c.threads)
        return source ? run_phases(c, [&](phasereport& r) {
            run_channel_phase(r, ticks, source, c.threads);
            return true;
        }) : 2;
    kvtlog::comptr<ILogMessage> empty;
    if (!source || source.get()->CreateMessage(message_level, IID_ILogMessage, empty.put_void()) != S_OK)
        return 2;
    return run_phases(c, [&](phasereport& r) { return run_com_phase(r, ticks, *source.get(), *empty.get()); });
}

clientrun::clientrun(const std::wstring& own_path, clientplan c, unsigned processes) : plan_(std::move(c))
{
    plan_.run = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(now_ticks());
    ready_.reset(::CreateSemaphoreW(nullptr, 0, LONG_MAX, ready_semaphore_name(plan_.run).c_str()));
    for (unsigned phase = 0; phase < plan_.phases; ++phase)
        go_.emplace_back(::CreateEventW(nullptr, TRUE, FALSE, go_event_name(plan_.run, phase).c_str()));
    if (!ready_ || std::any_of(go_.begin(), go_.end(), [](const uniquehandle& e) { return !e; }))
        throw std::runtime_error("cannot create the clients' semaphore and events");
    for (unsigned i = 0; i < processes; ++i) {
        plan_.output = directory_.path() + L"\\client-" + std::to_wstring(i) + L".txt";
        outputs_.push_back(plan_.output);
        clients_.push_back(test::start_process(own_path, client_command_line(plan_)));
        if (!clients_.back())
            throw std::runtime_error("cannot start a client process");
    }
}

void clientrun::wait_ready()
{
    if (next_phase_ == plan_.phases) {
        for (const uniquehandle& c : clients_) {
            DWORD code = 1;
            if (::WaitForSingleObject(c.get(), client_timeout_ms) != WAIT_OBJECT_0 ||
                !::GetExitCodeProcess(c.get(), &code) || code != 0)
                throw std::runtime_error("a client process failed (exit code " + std::to_string(code) + ")");
        }
        return;
    }
    std::vector<HANDLE> handles{ready_.get()};
    for (const uniquehandle& c : clients_)
        handles.push_back(c.get());
    for (std::size_t i = 0; i < clients_.size(); ++i)
        if (::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, client_timeout_ms) !=
            WAIT_OBJECT_0)
            throw std::runtime_error("a client process ended early or did not answer");
}

void clientrun::go() { ::SetEvent(go_.at(next_phase_++).get()); }

std::vector<std::vector<phasereport>> clientrun::reports() const
{
    std::vector<std::vector<phasereport>> reports;
    for (const std::wstring& output : outputs_)
        reports.push_back(read_phase_reports(output));
    return reports;
}

} // namespace kvt::bench
