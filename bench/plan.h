#pragma once
// How long and how much each benchmark runs. Batches are sized by time, from a short probe
// of the same work, so that the whole suite stays within a few minutes on a loaded shared
// machine and still runs long enough on an idle one. The quick plan only checks that
// everything works.

#include <cstddef>

namespace kvt::bench {

struct plan {
    unsigned repetitions;
    double call_seconds;           // shortest run of a calibrated single call
    double batch_seconds;          // a batch of messages, per side and repetition
    double writer_seconds;         // kvtlog's batch of lines to disk, per repetition
    double phase_seconds;          // a phase of the cross-process clients
    std::size_t live_messages;     // held at once for the heap figure
    unsigned memory_repetitions;   // the heap figure barely varies, and releasing is slow
    std::size_t counted_messages;  // per repetition for the allocation counts
};

inline constexpr plan full_plan{5, 0.1, 0.5, 1.0, 1.0, 100000, 3, 1000};
inline constexpr plan quick_plan{3, 0.02, 0.05, 0.1, 0.2, 10000, 1, 100};

} // namespace kvt::bench
