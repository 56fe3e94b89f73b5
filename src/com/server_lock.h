#pragma once
// The server lock: COM's per-process server reference count. The service's AddRef and
// Release, LockServer, and the life of every source object raise and lower it. Whoever
// lowers it to zero sets the shutdown event, on which the process entry waits.
//
// From that moment the server is stopping: a client that kept its class object can still
// call it, and such a call must not raise the count again, or it would hand out a service
// that the process entry is about to destroy. The class object therefore raises the count
// only under a stopguard, after asking it whether the server is stopping.

#include <windows.h>

namespace kvt {

// The process-wide, manual-reset shutdown event, made by the process entry before the
// class factory is registered (tests set their own). Setting an event begins a new run in
// which the count may rise again. Null: nothing is set.
void set_shutdown_event(HANDLE event) noexcept;

// CoAddRefServerProcess; returns the new count. Only for a caller that holds the count
// already (a client's service reference, a source being made through the service).
ULONG add_server_lock() noexcept;

// Holds off the decision to stop for its life: a release that brings the count to zero
// waits for it, so a count raised under the guard while stopping() is false keeps the
// server running. Take it on one thread for a moment only, around the raise.
class [[nodiscard]] stopguard {
public:
    stopguard() noexcept;
    ~stopguard();
    stopguard(const stopguard&) = delete;
    stopguard& operator=(const stopguard&) = delete;

    // True once the count has returned to zero in this run.
    bool stopping() const noexcept;
};

// CoReleaseServerProcess; sets the shutdown event when the count reaches zero.
ULONG release_server_lock() noexcept;

} // namespace kvt
