// What a statement of the client library costs its caller when the source logs through the
// process's channel to the registered server. At a disabled level it is one read of the
// level mask in the shared page, against an empty virtual call. An enabled statement builds
// its record on the caller's stack and writes it into the ring, against spdlog's caller with
// the same values. The statements come in bursts that fill less than half the ring, with a
// pause after each for the drain thread to empty it, so that the caller's path is the one of
// a ring with room; the records dropped all the same are counted in the note. The writer is
// suspended, so it drops the records it receives, as spdlog's logger thread discards.
//
// Two figures show where an enabled statement's time goes: the first statement after a
// pause, which finds the drain thread asleep and sets its event, and the time stamp that
// every record takes.

#include "bench_message.h"
#include "benchmarks.h"
#include "empty_source.h"
#include "inprocess_service.h"
#include "registered_server.h"
#include "spdlog_side.h"
#include "timing.h"

#include "kvtlog/client.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>

namespace kvt::bench {

namespace {

// A record of the bench statement takes about 230 bytes (its head, the location and three
// values): this many of them fill less than half the default ring.
constexpr std::size_t burst = 512;
constexpr DWORD pause_ms = 2;

std::atomic<unsigned> library_failures{0};
void count_failure(HRESULT, const char*) noexcept { ++library_failures; }

// Sets the bench source's level mask for its life, and the previous one again after.
class levelsetting {
public:
    levelsetting(ILogService& service, DWORD mask)
    {
        throw_if_failed(service.QueryInterface(IID_ILogControl, control_.put_void()), "QueryInterface(ILogControl)");
        throw_if_failed(control_->GetLevel(bench_source_id, &previous_), "GetLevel");
        throw_if_failed(control_->SetLevel(bench_source_id, mask), "SetLevel");
    }
    ~levelsetting() { control_->SetLevel(bench_source_id, previous_); }
    levelsetting(const levelsetting&) = delete;
    levelsetting& operator=(const levelsetting&) = delete;

private:
    kvtlog::comptr<ILogControl> control_;
    DWORD previous_ = 0;
};

result disabled_row(const plan& p, const kvtlog::service& service, const kvtlog::source& log)
{
    const levelsetting off(*service.get(), disabled_mask);
    result r{"h1", "channel: statement at a disabled level, out of process", "ns/stmt",
             "empty virtual call, same signature", "ns/call", better::lower, 5.0, {}, {}};
    for (unsigned i = 0; i < p.repetitions; ++i) {
        r.values.push_back(1e9 * seconds_per_call(p.call_seconds, [&](std::size_t n) {
            for (std::size_t k = 0; k < n; ++k)
                log_statement(log);
        }));
        r.baseline_values.push_back(1e9 * seconds_per_call(p.call_seconds, [](std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) {
                void* message;
                empty_source().CreateMessage(message_level, IID_ILogMessage, &message);
            }
        }));
    }
    return r;
}

// Seconds of the statements alone, made in bursts with a pause after each.
double statement_seconds(const kvtlog::source& log, std::size_t statements)
{
    double seconds = 0;
    for (std::size_t made = 0; made < statements; made += burst) {
        const std::size_t now = std::min(burst, statements - made);
        const stopwatch watch;
        for (std::size_t k = 0; k < now; ++k)
            log_statement(log);
        seconds += watch.seconds();
        ::Sleep(pause_ms);
    }
    return seconds;
}

result enabled_row(const plan& p, const kvtlog::service& service, const kvtlog::source& log)
{
    const levelsetting on(*service.get(), message_level);
    const std::size_t statements = items_for(p.call_seconds, [&](std::size_t n) { return statement_seconds(log, n); });
    const std::size_t messages =
        items_for(p.call_seconds, [](std::size_t n) { return spdlog_caller_seconds(1, n, text_width::wide); });
    suspend_writing(*service.get());
    const LogCounters before = bench_counters(*service.get());
    result r{"h2", "channel: statement of 3 values, caller, bursts of " + std::to_string(burst), "ns/stmt",
             "spdlog async logger caller, same values", "ns/msg", better::lower, 1.0, {}, {}};
    for (unsigned i = 0; i < p.repetitions; ++i) {
        r.values.push_back(1e9 * statement_seconds(log, statements) / static_cast<double>(statements));
        r.baseline_values.push_back(1e9 * spdlog_caller_seconds(1, messages, text_width::wide) /
                                    static_cast<double>(messages));
    }
    suspend_writing(*service.get());  // the drain has handed every record over
    const LogCounters after = bench_counters(*service.get());
    resume_writing(*service.get());
    r.note = std::to_string(after.droppedRingFull - before.droppedRingFull) + " of " +
             std::to_string(after.committed - before.committed) + " records dropped, ring full";
    return r;
}

std::vector<result> wake_rows(const plan& p, const kvtlog::service& service, const kvtlog::source& log)
{
    constexpr int statements = 100;
    const levelsetting on(*service.get(), message_level);
    suspend_writing(*service.get());
    result wake{"c10", "channel: statement after a pause, wakes the drain thread", "us/stmt", "", "",
                better::lower, std::nullopt, {}, {}};
    result stamp{"c11", "channel: the record's time stamp (GetSystemTimeAsFileTime)", "ns/call", "", "",
                 better::lower, std::nullopt, {}, {}};
    for (unsigned i = 0; i < p.repetitions; ++i) {
        double seconds = 0;
        for (int k = 0; k < statements; ++k) {
            ::Sleep(pause_ms);
            const stopwatch watch;
            log_statement(log);
            seconds += watch.seconds();
        }
        wake.values.push_back(1e6 * seconds / statements);
        stamp.values.push_back(1e9 * seconds_per_call(p.call_seconds, [](std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) {
                FILETIME now;
                ::GetSystemTimeAsFileTime(&now);
            }
        }));
    }
    resume_writing(*service.get());
    return {wake, stamp};
}

} // namespace

std::vector<result> measure_channel_caller(const plan& p)
{
    const kvtlog::service service(count_failure);
    const kvtlog::source log(service, bench_source_id, bench_source_name, bench_source_version);
    if (!log || library_failures)
        throw std::runtime_error("the bench source has no channel to the registered server");
    std::vector<result> rows{disabled_row(p, service, log), enabled_row(p, service, log)};
    for (result& r : wake_rows(p, service, log))
        rows.push_back(std::move(r));
    return rows;
}

} // namespace kvt::bench
