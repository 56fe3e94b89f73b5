// The single steps behind the figures, to show where the time and the memory go: heap
// allocations per client call, and the system calls that every message and every record
// make (the hand-over to the writer, the record's lock and time stamp, the writer's
// position query before each write).

#include "allocation_count.h"
#include "bench_message.h"
#include "benchmarks.h"
#include "inprocess_service.h"
#include "timing.h"

#include "support/temp_directory.h"
#include "win/critical_section.h"
#include "win/unique_resource.h"
#include "core/arguments.h"
#include "writer/record_batch.h"

#include <functional>
#include <stdexcept>
#include <string>

namespace kvt::bench {

namespace {

struct clientstep {
    const char* call;
    std::function<void(ILogMessage*&)> run;
};

// Heap allocations (operator new) of each call of log_message, counted on the caller's
// thread only.
std::vector<result> allocations_per_call(const plan& p)
{
    const inprocessservice service;
    service.suspend();
    ILogSource& source = service.source();
    const clientstep steps[] = {
        {"CreateMessage", [&](ILogMessage*& m) {
             throw_if_failed(source.CreateMessage(message_level, IID_ILogMessage, reinterpret_cast<void**>(&m)),
                             "CreateMessage");
         }},
        {"SetLocation", [](ILogMessage*& m) { m->SetLocation(__FILE__, __LINE__, __func__); }},
        {"AddInt32", [](ILogMessage*& m) { m->AddInt32(message_number); }},
        {"AddWString", [](ILogMessage*& m) { m->AddWString(message_text); }},
        {"AddDouble", [](ILogMessage*& m) { m->AddDouble(message_real); }},
        {"Release (commit)", [](ILogMessage*& m) { m->Release(); }},
    };
    std::vector<result> rows;
    for (const clientstep& step : steps)
        rows.push_back({"c1", std::string("operator new calls per ") + step.call, "allocs", "", "", better::lower,
                        std::nullopt, {}, {}});
    for (unsigned i = 0; i < p.repetitions; ++i) {
        std::vector<std::uint64_t> counts(std::size(steps));
        for (std::size_t k = 0; k < p.counted_messages; ++k) {
            ILogMessage* m = nullptr;
            for (std::size_t s = 0; s < std::size(steps); ++s) {
                const allocationcount count;
                steps[s].run(m);
                counts[s] += count.count();
            }
        }
        for (std::size_t s = 0; s < std::size(steps); ++s)
            rows[s].values.push_back(static_cast<double>(counts[s]) / static_cast<double>(p.counted_messages));
    }
    service.suspend();
    return rows;
}

template <class Body>
std::vector<double> ns_per_call(const plan& p, Body&& body)
{
    std::vector<double> ns;
    for (unsigned i = 0; i < p.repetitions; ++i)
        ns.push_back(1e9 * seconds_per_call(p.call_seconds, [&](std::size_t n) {
                         for (std::size_t k = 0; k < n; ++k)
                             body();
                     }));
    return ns;
}

// The writer's position query, SetFilePointerEx(0, FILE_CURRENT) before every record,
// against the one WriteFile that writes the record.
result position_query(const plan& p)
{
    const test::tempdirectory directory;
    const std::wstring path = directory.path() + L"\\position.TXT";
    uniquehandle f(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f)
        throw std::runtime_error("cannot create the position query's file");
    const std::string line(200, 'x');
    result r{"c3", "SetFilePointerEx(FILE_CURRENT), writer, per record", "ns/call",
             "WriteFile of one 200 B line", "ns/call", better::lower, std::nullopt, {}, {}};
    r.values = ns_per_call(p, [&] {
        LARGE_INTEGER position;
        ::SetFilePointerEx(f.get(), LARGE_INTEGER{}, &position, FILE_CURRENT);
    });
    r.baseline_values = ns_per_call(p, [&] {
        DWORD written;
        ::WriteFile(f.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    });
    f.reset();
    ::DeleteFileW(path.c_str());
    return r;
}

result system_call(const char* measurement, std::vector<double> ns)
{
    return {"c4", measurement, "ns/call", "", "", better::lower, std::nullopt, std::move(ns), {}};
}

// The hand-over of a record, each side on its own: the client's PostThreadMessageW and
// the writer's GetMessageW, in chunks on this thread's own queue.
std::vector<result> thread_message_costs(const plan& p)
{
    constexpr std::size_t chunk = 500;
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_APP, WM_APP, PM_NOREMOVE);  // makes this thread's queue
    const DWORD self = ::GetCurrentThreadId();
    std::vector<double> post, get;
    for (unsigned i = 0; i < p.repetitions; ++i) {
        double post_seconds = 0, get_seconds = 0;
        std::size_t n = 0;
        for (; post_seconds < p.call_seconds; n += chunk) {
            const stopwatch posting;
            for (std::size_t k = 0; k < chunk; ++k)
                ::PostThreadMessageW(self, WM_APP, 0, 0);
            post_seconds += posting.seconds();
            const stopwatch getting;
            for (std::size_t k = 0; k < chunk; ++k)
                ::GetMessageW(&msg, nullptr, 0, 0);
            get_seconds += getting.seconds();
        }
        post.push_back(1e9 * post_seconds / static_cast<double>(n));
        get.push_back(1e9 * get_seconds / static_cast<double>(n));
    }
    return {system_call("PostThreadMessageW, commit hand-over (client)", post),
            system_call("GetMessageW, per record (writer)", get)};
}

} // namespace

std::vector<result> measure_step_costs(const plan& p)
{
    sourcecounters counters;
    recordbatch batch;  // one bench message
    batch.add_record({}, counters, message_level, SYSTEMTIME{}, 0, 0, L"bench_message.cpp", 20, L"log_message");
    batch.add_signed(message_number);
    batch.add_wide(message_text);
    batch.add_real(message_real);
    std::vector<result> rows = allocations_per_call(p);
    rows.push_back(position_query(p));

    for (result& r : thread_message_costs(p))
        rows.push_back(std::move(r));
    // For scale: a plain request to the Wine server, which every call above that reaches the
    // server costs at least once.
    const uniquehandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    rows.push_back(system_call("SetEvent, for scale: one plain system request", ns_per_call(p, [&] {
        ::SetEvent(event.get());
    })));
    rows.push_back(system_call("Initialize/DeleteCriticalSection, record lock", ns_per_call(p, [] {
        const criticalsection lock;
    })));
    rows.push_back(system_call("GetLocalTime, record time stamp", ns_per_call(p, [] {
        SYSTEMTIME time;
        ::GetLocalTime(&time);
    })));
    std::wstring line;
    rows.push_back(system_call("render of a double, \"%e\" (writer)", ns_per_call(p, [&] {
        line.clear();
        render_real(message_real, line);
    })));
    rows.push_back(system_call("render of the bench message's line (writer)", ns_per_call(p, [&] {
        line.clear();
        batch.render(batch.records()[0], line);
    })));
    rows.push_back(system_call("commit counter, one atomic add per commit (committer)", ns_per_call(p, [&] {
        counters.committed.fetch_add(1);
    })));
    return rows;
}

} // namespace kvt::bench
