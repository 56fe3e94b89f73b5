#include "com/server_lock.h"

#include <objbase.h>

#include <atomic>

namespace kvt {

namespace {

// Read by whichever COM worker thread lowers the count; set before any object exists.
std::atomic<HANDLE> shutdown_event{nullptr};

} // namespace

void set_shutdown_event(HANDLE event) noexcept { shutdown_event.store(event); }

ULONG add_server_lock() noexcept { return ::CoAddRefServerProcess(); }

ULONG release_server_lock() noexcept
{
    const ULONG count = ::CoReleaseServerProcess();
    if (count == 0) {
        if (const HANDLE event = shutdown_event.load())
            ::SetEvent(event);
    }
    return count;
}

} // namespace kvt
