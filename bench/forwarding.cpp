// Lines committed to disk, as in the writer benchmark, with every record also forwarded to a
// local rsyslog (tools/bench.sh starts it) against the same with forwarding off, in turns
// within each repetition. Forwarding must not slow writing: the writer only copies each line
// into the forwarding queue, and what the collector cannot take is dropped from forwarding.

#include "benchmarks.h"
#include "inprocess_service.h"
#include "timing.h"

#include <cstdio>

namespace kvt::bench {

std::vector<result> measure_forwarding(const plan& p, unsigned collector_port)
{
    if (collector_port == 0) {
        std::fprintf(stderr, "no collector port (-collector:PORT): the forwarding row is left out\n");
        return {};
    }
    const inprocessservice service;
    kvtlog::comptr<ILogAdmin> admin;
    throw_if_failed(service.control().QueryInterface(IID_ILogAdmin, admin.put_void()), "QueryInterface(ILogAdmin)");
    const auto forward = [&](bool on) {
        throw_if_failed(on ? admin->SetForwarding(L"127.0.0.1", collector_port, 1, 0x7F)
                           : admin->SetForwarding(nullptr, 0, 0, 0),
                        "SetForwarding");
    };
    const std::size_t lines = items_for(p.writer_seconds, [&](std::size_t n) { return writer_seconds(service, n); });
    const double n = static_cast<double>(lines);
    result r{"6", "writer: lines on disk, forwarding to a local rsyslog", "lines/s", "the same, forwarding off",
             "lines/s", better::higher, 0.9, {}, {}};
    for (unsigned i = 0; i < p.repetitions; ++i) {
        forward(true);
        r.values.push_back(n / writer_seconds(service, lines));
        forward(false);
        r.baseline_values.push_back(n / writer_seconds(service, lines));
    }
    return {r};
}

} // namespace kvt::bench
