// Lines on disk per second from four client processes of two threads each, all logging the
// bench statement through their channels as fast as they can: the lines the server wrote
// for the bench source, over the time from the clients' start until Suspend has returned
// with every record that the drain took written. A full ring drops the newest record, so
// the clients make many more statements than reach the file; the note says how many. In the
// same run, as many lines of the very bytes the server wrote go out one WriteFile each, and
// through spdlog's rotating file logger from eight threads of this process.

#include "bench_message.h"
#include "benchmarks.h"
#include "client_process.h"
#include "registered_server.h"
#include "spdlog_side.h"
#include "timing.h"

#include "kvtlog/client.h"
#include "support/temp_directory.h"

#include <stdexcept>
#include <string>

namespace kvt::bench {

namespace {

constexpr unsigned processes = 4;
constexpr unsigned threads_each = 2;

std::string thousands(std::uint64_t n) { return std::to_string((n + 500) / 1000) + "k"; }

} // namespace

std::vector<result> measure_channel_throughput(const plan& p, const std::wstring& own_path)
{
    const kvtlog::service service;
    if (!service)
        throw std::runtime_error("cannot activate the registered server");
    const test::tempdirectory directory;
    clientplan c;
    c.phases = p.repetitions;
    c.phase_ms = static_cast<unsigned>(1000 * p.phase_seconds);
    c.threads = threads_each;
    clientrun run(own_path, c, processes);

    const std::string what = "channel: lines on disk, " + std::to_string(processes) + " processes x " +
                             std::to_string(threads_each) + " threads";
    result floor{"h3a", what, "lines/s", "one WriteFile per preformatted line", "lines/s", better::higher, 0.5, {}, {}};
    result spdlog{"h3b", what, "lines/s", "spdlog async rotating file logger, 8 threads", "lines/s", better::higher,
                  1.0, {}, {}};
    result made{"c9", "channel: statements made by the same clients", "stmts/s", "", "", better::higher,
                 std::nullopt, {}, {}};
    std::uint64_t statements = 0, written = 0, ringfull = 0, other_drops = 0;
    std::size_t line_bytes = 0;
    run.wait_ready();
    for (unsigned i = 0; i < p.repetitions; ++i) {
        const LogCounters before = bench_counters(*service.get());
        const stopwatch watch;
        run.go();
        run.wait_ready();
        suspend_writing(*service.get());
        const double seconds = watch.seconds();
        const std::string line = last_line(bench_file(*service.get()));
        resume_writing(*service.get());
        const LogCounters after = bench_counters(*service.get());

        const std::size_t lines = static_cast<std::size_t>(after.written - before.written);
        if (lines == 0)
            throw std::runtime_error("the server wrote no lines for the channel clients");
        const double n = static_cast<double>(lines);
        floor.values.push_back(n / seconds);
        floor.baseline_values.push_back(n / floor_seconds(directory.path() + L"\\floor.TXT", line, lines));
        spdlog.values.push_back(n / seconds);
        spdlog.baseline_values.push_back(
            n / spdlog_writer_seconds(directory.path() + L"\\spdlog.log", lines, line.size(), processes * threads_each));
        written += lines;
        ringfull += after.droppedRingFull - before.droppedRingFull;
        other_drops += after.droppedRefused + after.droppedLost + after.droppedNoFile -
                       (before.droppedRefused + before.droppedLost + before.droppedNoFile);
        line_bytes = line.size();
    }
    made.values.assign(p.repetitions, 0.0);
    for (const std::vector<phasereport>& client : run.reports())
        for (const phasereport& r : client) {
            statements += r.count;
            made.values.at(r.phase) += static_cast<double>(r.count) / ticks_to_seconds(r.end - r.begin);
        }
    floor.note = std::to_string(line_bytes) + " B lines; of " + thousands(statements) + " statements " +
                 thousands(written) + " written, " + thousands(ringfull) + " dropped ring full, " +
                 std::to_string(other_drops) + " otherwise";
    return {floor, spdlog, made};
}

} // namespace kvt::bench
