#include "com/server_lock.h"

#include "win/critical_section.h"

#include <objbase.h>

namespace kvt {

namespace {

// stop_lock orders the two decisions that race at the end of a run: a release that brings
// the count to zero, and a class object's raise from a count that may be zero. It is held
// around the count's change and the flag only (a stopguard also over the service's
// QueryInterface, which takes no lock and posts nothing). It guards stopping_now and
// shutdown_event.
criticalsection stop_lock;
bool stopping_now = false;
HANDLE shutdown_event = nullptr;

} // namespace

void set_shutdown_event(HANDLE event) noexcept
{
    const sectionguard guard(stop_lock);
    shutdown_event = event;
    stopping_now = false;
}

ULONG add_server_lock() noexcept { return ::CoAddRefServerProcess(); }

stopguard::stopguard() noexcept { stop_lock.enter(); }

stopguard::~stopguard() { stop_lock.leave(); }

bool stopguard::stopping() const noexcept { return stopping_now; }

ULONG release_server_lock() noexcept
{
    const sectionguard guard(stop_lock);
    const ULONG count = ::CoReleaseServerProcess();
    if (count == 0) {
        stopping_now = true;
        if (shutdown_event)
            ::SetEvent(shutdown_event);
    }
    return count;
}

} // namespace kvt
