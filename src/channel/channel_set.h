#pragma once
// Every open record channel of the server and the drain thread that empties them into the
// writer thread, one batch per pass.
//
// Owner: the service, by value, constructed after the writer thread and destroyed before it:
// destruction drains every record committed to any channel, then hands the last batch to the
// writer. Threads: COM worker threads open channels, add sources and publish levels; the
// drain thread does the rest. lock_ guards channels_ and next_id_ only; under it a COM thread
// may make a channel, or take one channel's lock (which may take the settings' level lock),
// nothing else. The drain thread takes lock_ only to copy or shrink the list.

#include "channel/channel.h"
#include "settings/log_settings.h"
#include "win/critical_section.h"
#include "win/unique_resource.h"
#include "writer/writer_thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace kvt {

class channelset {
public:
    // Starts the drain thread. Throws the Win32 code (DWORD).
    channelset(const writerthread& writer, logsettings& settings);
    ~channelset();
    channelset(const channelset&) = delete;
    channelset& operator=(const channelset&) = delete;

    // Opens a channel for the process with a ring of ring_kib KiB (0: the default), rounded
    // up to a power of two within the ring's bounds. Its id, and the handles as the process
    // knows them. Throws the Win32 code (DWORD): ERROR_NOT_ENOUGH_QUOTA when the process has
    // channel_max_per_process open already; or std::bad_alloc.
    std::pair<std::uint32_t, channel::clienthandles> open(std::uint32_t process_id, std::uint32_t ring_kib);

    // The slot of the source in the channel. caller: the process asking, 0 for the server's
    // own. Throws ERROR_NOT_FOUND when no channel of the caller has the id, as
    // channel::add_source, or std::bad_alloc.
    std::uint16_t add_source(std::uint32_t channel_id, std::uint32_t caller, const sourcekeyref& key,
                             sourcecounters& counters);

    // Writes what the caller's channel holds and frees it, as when its process ends. Throws
    // ERROR_NOT_FOUND when no channel of the caller has the id.
    void close(std::uint32_t channel_id, std::uint32_t caller);

    // Every channel's level masks anew; returns once they are all written.
    void publish_levels() noexcept;

    // Returns once the drain thread has made a whole pass that began after the call, so that
    // every record committed before is with the writer; or after flush_wait_ms at most.
    void flush() noexcept;

private:
    static unsigned __stdcall drain_entry(void* self);
    void drain_loop();
    // One pass over every channel; true when some channel has more right away. found: whether
    // the pass gave the writer records.
    bool drain_all(bool stopping, std::vector<std::byte>& copy, bool& found);
    // Waits for a record unless one is committed already: lingering, linger_ms without asking
    // writers to wake the thread; else channel_wait_ms behind the sleeping flag.
    void wait_unless_committed(bool linger);
    std::vector<std::shared_ptr<channel>> snapshot() const;
    // The caller's channel of the id; lock_ held.
    channel& find(std::uint32_t channel_id, std::uint32_t caller) const;

    const writerthread& writer_;
    logsettings& settings_;
    uniquehandle wake_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> passes_{0};  // whole passes that found nothing more to drain

    mutable criticalsection lock_;
    std::vector<std::pair<std::uint32_t, std::shared_ptr<channel>>> channels_;
    std::uint32_t next_id_ = 1;

    uniquehandle thread_;  // last: started when everything above exists
};

} // namespace kvt
