#include "com/logsource.h"

#include "com/com_boundary.h"
#include "com/logmessage.h"
#include "com/logservice.h"
#include "com/server_lock.h"

#include <memory>

namespace kvt {

logsource::logsource(logservice& service, sourcekeyref key, sourcecounters& counters) noexcept
    : service_(service), key_(std::move(key)), counters_(counters)
{
    add_server_lock();
}

logsource::~logsource()
{
    service_.sources().remove(*this);
    // The close request is queued before the server lock drops, so a server that stops
    // because this was the last source still closes the file first: the queue is FIFO.
    // Every message of this source has posted its record already, since each held a
    // reference. Without memory for the request the file simply stays open until the
    // writer next closes files for another reason.
    std::unique_ptr<closerequest> request(new (std::nothrow) closerequest{key_});
    if (request)
        service_.post(WM_LOGCLOSESOURCE, std::move(request));
    release_server_lock();
}

bool logsource::try_add_ref() noexcept
{
    ULONG count = refs_.load();
    do {
        if (count == 0)
            return false;
    } while (!refs_.compare_exchange_weak(count, count + 1));
    return true;
}

HRESULT STDMETHODCALLTYPE logsource::CreateMessage(DWORD level, REFIID riid, void** message) noexcept
{
    *message = nullptr;
    if (riid != IID_ILogMessage)
        return E_NOINTERFACE;
    return com_boundary(catches::memory | catches::other, [&] {
        if (!(level_mask() & level))
            return S_FALSE;
        *message = static_cast<ILogMessage*>(new logmessage(*this, level));
        return S_OK;
    });
}

// The mask is in force anew for every message, so a level change applies from the next one
// on. The service's answer is reused while the store's count of level changes stands still:
// a message at a disabled level then costs two atomic loads, not a lock and a map lookup.
// A count read before the answer only ever pairs an answer with an older count, which the
// next change makes stale.
DWORD logsource::level_mask() noexcept
{
    const std::uint64_t stamp = std::uint64_t{service_.settings().level_changes()} + 1;
    const std::uint64_t cached = level_cache_.load(std::memory_order_relaxed);
    if (cached >> 32 == stamp)
        return static_cast<DWORD>(cached);
    ILogControl& control = service_;
    DWORD mask = 0;
    if (FAILED(control.GetLevel(key_->id, &mask)))
        return 0;
    level_cache_.store(stamp << 32 | mask, std::memory_order_relaxed);
    return mask;
}

} // namespace kvt
