// What a client thread pays for one message: CreateMessage, SetLocation, three appends and
// the committing Release, in the same process as the service. The writer is suspended, so
// it only drops the records it receives and takes as little as it can of the two cores;
// spdlog's logger thread likewise only discards.

#include "bench_message.h"
#include "benchmarks.h"
#include "inprocess_service.h"
#include "spdlog_side.h"
#include "timing.h"

#include <atomic>
#include <stdexcept>
#include <string>

namespace kvt::bench {

namespace {

// Mean seconds per thread for messages messages on each of threads threads.
double kvtlog_seconds(ILogSource& source, unsigned threads, std::size_t messages)
{
    std::atomic<bool> failed{false};
    const double seconds = mean_thread_seconds(threads, [&] {
        for (std::size_t i = 0; i < messages; ++i)
            if (!log_message(source))
                failed = true;
    });
    if (failed)
        throw std::runtime_error("a message of the client path failed");
    return seconds;
}

struct batch {
    std::size_t kvtlog;
    std::size_t spdlog;
};

result client_row(const plan& p, ILogSource& source, unsigned threads, const batch& n, text_width width)
{
    const std::string t = std::to_string(threads);
    result r{threads == 1 ? "2a" : "2b", "one message, caller thread, " + t + " client thread(s)", "ns/msg",
             "spdlog async logger caller, " + t + " thread(s)", "ns/msg", better::lower, 1.0, {}, {}};
    if (width == text_width::narrow) {
        // spdlog spends part of its caller time converting the wide text; this shows it without.
        r.id = "c2";
        r.baseline = "spdlog caller, " + t + " thread(s), text already narrow";
        r.aim.reset();
    }
    for (unsigned i = 0; i < p.repetitions; ++i) {
        r.values.push_back(1e9 * kvtlog_seconds(source, threads, n.kvtlog) / static_cast<double>(n.kvtlog));
        r.baseline_values.push_back(1e9 * spdlog_caller_seconds(threads, n.spdlog, width) /
                                    static_cast<double>(n.spdlog));
    }
    return r;
}

} // namespace

std::vector<result> measure_client_path(const plan& p)
{
    const inprocessservice service;
    service.suspend();
    ILogSource& source = service.source();
    const batch n{
        items_for(p.batch_seconds, [&](std::size_t k) { return kvtlog_seconds(source, 1, k); }),
        items_for(p.batch_seconds, [&](std::size_t k) { return spdlog_caller_seconds(1, k, text_width::wide); }),
    };
    std::vector<result> rows{client_row(p, source, 1, n, text_width::wide), client_row(p, source, 2, n, text_width::wide),
                             client_row(p, source, 1, n, text_width::narrow)};
    service.suspend();  // every record of the run dropped before the service goes
    return rows;
}

} // namespace kvt::bench
