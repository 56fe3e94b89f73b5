#pragma once
// What the process's heaps hold, from their own bookkeeping (HeapWalk over every heap of
// the process): the C runtime's heap, which serves operator new, and the process heap,
// which serves the system's own allocations such as a critical section's debug data.

#include <cstdint>

namespace kvt::bench {

struct heapusage {
    std::uint64_t bytes = 0;   // busy blocks: their data and the heap's overhead for them
    std::uint64_t blocks = 0;  // busy blocks
};

// Walks every heap with its lock held; call it while no other thread allocates.
heapusage current_heap_usage() noexcept;

} // namespace kvt::bench
