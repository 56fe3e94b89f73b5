#include "heap_usage.h"

#include <windows.h>

namespace kvt::bench {

heapusage current_heap_usage() noexcept
{
    // A fixed array: walking must not allocate from the heaps it measures.
    HANDLE heaps[256];
    DWORD count = ::GetProcessHeaps(256, heaps);
    if (count > 256)
        count = 256;
    heapusage usage;
    for (DWORD i = 0; i < count; ++i) {
        if (!::HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                usage.bytes += entry.cbData + entry.cbOverhead;
                ++usage.blocks;
            }
        }
        ::HeapUnlock(heaps[i]);
    }
    return usage;
}

} // namespace kvt::bench
