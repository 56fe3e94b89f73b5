// Messages per second from client processes through real COM to the registered server,
// against the floor measured in the same run by the same processes: the rate of empty
// calls on ILogMessage divided by the calls a message makes. Each repetition runs one phase
// of each kind (client_process.h): empty calls, bare message objects, whole messages. Every
// client starts a phase at the same moment and runs it for the same time; a phase's rate is
// everything its clients did over the span from the first begin to the last end.

#include "bench_message.h"
#include "benchmarks.h"
#include "client_process.h"
#include "inprocess_service.h"
#include "timing.h"

#include "kvtlog/client.h"
#include "support/temp_directory.h"
#include "win/unique_resource.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>

namespace kvt::bench {

namespace {

// What the clients did per second in each phase, all together.
std::vector<double> phase_rates(const std::vector<std::vector<phasereport>>& reports, unsigned phases)
{
    std::vector<double> rates;
    for (unsigned phase = 0; phase < phases; ++phase) {
        std::int64_t begin = LLONG_MAX, end = LLONG_MIN;
        std::uint64_t count = 0;
        for (const std::vector<phasereport>& client : reports) {
            if (client.size() != phases || client[phase].phase != phase)
                throw std::runtime_error("a client process reported the wrong phases");
            begin = std::min(begin, client[phase].begin);
            end = std::max(end, client[phase].end);
            count += client[phase].count;
        }
        rates.push_back(static_cast<double>(count) / ticks_to_seconds(end - begin));
    }
    return rates;
}

std::vector<double> run_clients(const std::wstring& own_path, unsigned processes, const plan& p)
{
    clientplan c;
    c.phases = phase_kinds * p.repetitions;
    c.phase_ms = static_cast<unsigned>(1000 * p.phase_seconds);
    clientrun run(own_path, c, processes);
    for (unsigned phase = 0; phase < c.phases; ++phase) {
        run.wait_ready();
        run.go();
    }
    run.wait_ready();
    return phase_rates(run.reports(), c.phases);
}

// The server's current file of the bench source must hold lines, or the rates mean nothing.
void check_lines_written(ILogService& service)
{
    kvtlog::comptr<ILogControl> control;
    throw_if_failed(service.QueryInterface(IID_ILogControl, control.put_void()), "QueryInterface(ILogControl)");
    throw_if_failed(control->Suspend(TRUE), "Suspend(TRUE)");
    uniquetaskmem<wchar_t> path;
    throw_if_failed(control->GetLogPath(path.put()), "GetLogPath");
    throw_if_failed(control->Suspend(FALSE), "Suspend(FALSE)");
    if (test::read_log_lines(std::wstring(path.get()) + L"\\" + bench_log_file).empty())
        throw std::runtime_error("the server wrote no lines for the client processes");
}

} // namespace

std::vector<result> measure_cross_process(const plan& p, const std::wstring& own_path)
{
    // Holding the service keeps one server process up for every run.
    const kvtlog::service service;
    if (!service)
        throw std::runtime_error("cannot activate the registered server");

    std::vector<result> rows;
    for (unsigned processes : {1u, 4u}) {
        const std::string n = std::to_string(processes);
        result r{processes == 1 ? "4a" : "4b", "messages through COM, " + n + " client process(es)", "msgs/s",
                 "empty-call round trips / " + std::to_string(calls_per_message) + ", " + n + " process(es)",
                 "msgs/s", better::higher, 0.9, {}, {}};
        result trip{"c6", "round trip of an empty call, " + n + " client process(es)", "us/call", "", "",
                    better::lower, std::nullopt, {}, {}};
        result pair{"c7", "CreateMessage + Release through COM, " + n + " process(es)", "round trips",
                    "", "", better::lower, std::nullopt, {}, {}};
        const std::vector<double> rates = run_clients(own_path, processes, p);
        for (std::size_t i = 0; i + phase_kinds <= rates.size(); i += phase_kinds) {
            const double calls = rates[i + unsigned(phase_kind::empty_call)];
            r.baseline_values.push_back(calls / calls_per_message);
            r.values.push_back(rates[i + unsigned(phase_kind::message)]);
            trip.values.push_back(1e6 * processes / calls);
            // How many empty-call round trips the two calls cost; 2 when each is one.
            pair.values.push_back(calls / rates[i + unsigned(phase_kind::message_object)]);
        }
        for (result* row : {&r, &trip, &pair})
            rows.push_back(std::move(*row));
    }
    check_lines_written(*service.get());
    return rows;
}

} // namespace kvt::bench
