// What the channels cost in memory. In a client process: the views the process's channel
// maps, from this program's own mapped bytes before and after it opens its first source
// through the client library. In the server: its private and mapped bytes with 25 client
// processes that hold 4 channels each (opened through ILogChannel, the most a process may
// hold), against the same 25 processes connected with none open; so the figures show the
// channels and not the clients' COM connections. The note gives the server's threads, which
// the calls that open the channels may add to and which cost private memory of their own.

#include "bench_message.h"
#include "benchmarks.h"
#include "client_process.h"
#include "registered_server.h"

#include "kvtlog/client.h"

#include <stdexcept>
#include <string>

namespace kvt::bench {

namespace {

constexpr unsigned holders = 25;
constexpr unsigned channels_each = 4;

double kib(std::uint64_t bytes) { return static_cast<double>(bytes) / 1024; }
double mib(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024 * 1024); }

} // namespace

std::vector<result> measure_channel_memory(const plan& p, const std::wstring& own_path)
{
    const kvtlog::service service;
    if (!service)
        throw std::runtime_error("cannot activate the registered server");
    const uniquehandle server = server_process();
    const std::string open = std::to_string(holders * channels_each) + " channels open (" + std::to_string(holders) +
                             " processes x " + std::to_string(channels_each) + ")";
    const std::string none = "the same processes, no channel";
    result client{"h4a", "channel: mapped bytes it adds to a client process", "KiB", "", "", better::lower,
                  std::nullopt, {}, {}};
    result own{"h4b", "channel: server private bytes, " + open, "MiB", none, "MiB", better::lower, std::nullopt, {}, {}};
    result mapped{"h4c", "channel: server mapped bytes, " + open, "MiB", none, "MiB", better::lower, std::nullopt, {}, {}};
    clientplan c;
    c.phases = 2;
    c.channels = channels_each;
    for (unsigned i = 0; i < p.memory_repetitions; ++i) {
        const std::uint64_t before = memory_of(::GetCurrentProcess()).mapped_bytes;
        {
            const kvtlog::source log(service, bench_source_id, bench_source_name, bench_source_version);
            client.values.push_back(kib(memory_of(::GetCurrentProcess()).mapped_bytes - before));
        }
        clientrun run(own_path, c, holders);
        run.wait_ready();
        const processmemory without = memory_of(server.get());
        run.go();
        run.wait_ready();
        const processmemory with = memory_of(server.get());
        run.go();
        run.wait_ready();
        own.values.push_back(mib(with.private_bytes));
        own.baseline_values.push_back(mib(without.private_bytes));
        mapped.values.push_back(mib(with.mapped_bytes));
        mapped.baseline_values.push_back(mib(without.mapped_bytes));
        own.note = "server threads " + std::to_string(without.threads) + " -> " + std::to_string(with.threads);
    }
    return {client, own, mapped};
}

} // namespace kvt::bench
