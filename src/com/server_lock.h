#pragma once
// The server lock: COM's per-process server reference count. The service's AddRef and
// Release, LockServer, and the life of every source object raise and lower it. Whoever
// lowers it to zero sets the shutdown event, on which the process entry waits.

#include <windows.h>

namespace kvt {

// The process-wide, manual-reset shutdown event, made by the process entry before the
// class factory is registered (tests set their own). Null: nothing is set.
void set_shutdown_event(HANDLE event) noexcept;

// CoAddRefServerProcess; returns the new count.
ULONG add_server_lock() noexcept;

// CoReleaseServerProcess; sets the shutdown event when the count reaches zero.
ULONG release_server_lock() noexcept;

} // namespace kvt
