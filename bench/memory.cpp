// Heap bytes per live message: the heaps' own bookkeeping before and after opening many
// messages of the three bench values (no location), all held at once. The writer is
// suspended, so releasing them afterwards only drops their records. Opening them is timed
// too: the client path without its commit.

#include "bench_message.h"
#include "benchmarks.h"
#include "heap_usage.h"
#include "inprocess_service.h"
#include "timing.h"

#include <stdexcept>
#include <string>

namespace kvt::bench {

std::vector<result> measure_memory(const plan& p)
{
    const inprocessservice service;
    service.suspend();
    std::vector<ILogMessage*> live;
    live.reserve(p.live_messages);
    const double n = static_cast<double>(p.live_messages);

    result bytes{"5", "heap per live message of 3 values", "B/msg", "bytes of the values themselves", "B/msg",
                 better::lower, std::nullopt, {}, {}};
    result blocks{"c5", "heap blocks per live message of 3 values", "blocks/msg", "", "", better::lower,
                  std::nullopt, {}, {}};
    result open{"c8", "CreateMessage + 3 appends, all " + std::to_string(p.live_messages) + " kept open", "ns/msg",
                "", "", better::lower, std::nullopt, {}, {}};
    for (unsigned i = 0; i < p.memory_repetitions; ++i) {
        const heapusage before = current_heap_usage();
        const stopwatch watch;
        for (std::size_t k = 0; k < p.live_messages; ++k) {
            live.push_back(open_message(service.source()));
            if (!live.back())
                throw std::runtime_error("a message of the memory benchmark failed");
        }
        open.values.push_back(1e9 * watch.seconds() / n);
        const heapusage after = current_heap_usage();
        for (ILogMessage* m : live)
            m->Release();
        live.clear();
        service.suspend();  // every record dropped before the next count

        bytes.values.push_back(static_cast<double>(after.bytes - before.bytes) / n);
        bytes.baseline_values.push_back(static_cast<double>(message_value_bytes));
        blocks.values.push_back(static_cast<double>(after.blocks - before.blocks) / n);
    }
    return {bytes, blocks, open};
}

} // namespace kvt::bench
