// The price of a message nobody wants: CreateMessage at a level that is switched off, which
// asks the settings store for the source id's mask and answers S_FALSE.

#include "bench_message.h"
#include "benchmarks.h"
#include "empty_source.h"
#include "inprocess_service.h"
#include "timing.h"

#include <stdexcept>

namespace kvt::bench {

namespace {

double ns_per_create(const plan& p, ILogSource& source)
{
    return 1e9 * seconds_per_call(p.call_seconds, [&](std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            void* message;
            source.CreateMessage(message_level, IID_ILogMessage, &message);
        }
    });
}

} // namespace

std::vector<result> measure_disabled_level(const plan& p)
{
    const inprocessservice service;
    throw_if_failed(service.control().SetLevel(bench_source_id, disabled_mask), "SetLevel");
    void* message = nullptr;
    if (service.source().CreateMessage(message_level, IID_ILogMessage, &message) != S_FALSE)
        throw std::runtime_error("CreateMessage at a disabled level did not answer S_FALSE");

    result r{"1", "CreateMessage at a disabled level (S_FALSE)", "ns/call",
             "empty virtual call, same signature", "ns/call", better::lower, 5.0, {}, {}};
    for (unsigned i = 0; i < p.repetitions; ++i) {
        r.values.push_back(ns_per_create(p, service.source()));
        r.baseline_values.push_back(ns_per_create(p, empty_source()));
    }
    return {r};
}

} // namespace kvt::bench
