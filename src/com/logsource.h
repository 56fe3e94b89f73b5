#pragma once
// The source object: one per live source identity, shared by every client that asks for
// that identity, and the maker of its message objects.
//
// Owner: its references, held by clients and by its open message objects; the service's
// source table only points at it. Threads: COM worker threads, concurrently; the count
// changes only atomically and the key never changes, so the object needs no lock. While
// it lives it holds one count of the server lock.

#include "com/refcounted.h"
#include "core/sourcekey.h"
#include "writer/counters.h"

#include <kvtlog.h>

#include <atomic>
#include <cstdint>

namespace kvt {

class logservice;

class logsource final : public refcounted<ILogSource, IID_ILogSource> {
public:
    // Count 1; raises the server lock. The counters are those of the key's id.
    logsource(logservice& service, sourcekeyref key, sourcecounters& counters) noexcept;

    HRESULT STDMETHODCALLTYPE CreateMessage(DWORD level, REFIID riid, void** message) noexcept override;

    // AddRef, unless the count has already reached zero (the object is then dying).
    bool try_add_ref() noexcept;

    logservice& service() const noexcept { return service_; }
    const sourcekeyref& key() const noexcept { return key_; }
    sourcecounters& counters() const noexcept { return counters_; }

private:
    // Reached only through the last Release: leaves the table, has the writer close the
    // source's file, and lowers the server lock.
    ~logsource() override;

    logservice& service_;
    const sourcekeyref key_;
    sourcecounters& counters_;
    // The last mask the service gave for this source's id, with the store's count of level
    // changes at that time plus one in the high half (0: nothing kept yet).
    std::atomic<std::uint64_t> level_cache_{0};

    DWORD level_mask() noexcept;
};

} // namespace kvt
