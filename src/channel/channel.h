#pragma once
// One open record channel: the client's process, the two sections with the server's views of
// them, the sources the client added, and the drain thread's reader of the ring.
//
// Owner: the channel set, through shared references (the drain thread's pass may hold the
// last one). Threads: COM worker threads add sources and publish levels, under lock_; the
// drain thread reads sources() and uses reader() without the lock; the wait callback sets
// ended_. Under lock_ only the settings' level lock is taken. Fixed at construction and never read back from shared memory: the ring's size, the
// process handle and the slot table's capacity.

#include "channel/channel_record.h"
#include "channel/ring_reader.h"
#include "settings/log_settings.h"
#include "win/critical_section.h"
#include "win/unique_resource.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <span>

namespace kvt {

class channel {
public:
    // The handles as the client's process knows them.
    struct clienthandles {
        std::uint64_t ring;    // the ring section, read and write
        std::uint64_t levels;  // the level section, read only
        std::uint64_t wake;    // the drain thread's wake event, set only
    };

    // Creates the sections, opens the client's process, hands it the sections and the wake
    // event, and from then on sets wake once the process has ended. Throws the Win32 code
    // (DWORD) or std::bad_alloc; the client then holds none of the handles.
    channel(std::uint32_t process_id, std::uint64_t ring_bytes, HANDLE wake, clienthandles& handed);
    channel(const channel&) = delete;
    channel& operator=(const channel&) = delete;

    // The slot of the key, added with the id's level mask when it is new. Throws
    // std::bad_alloc, or ERROR_TOO_MANY_NAMES when every slot is taken.
    std::uint16_t add_source(const sourcekeyref& key, sourcecounters& counters, logsettings& settings);
    // Writes every slot's level mask anew.
    void publish_levels(logsettings& settings) noexcept;

    // The drain thread's.
    std::span<const channelsource> sources() const noexcept
    {
        return {sources_.get(), count_.load(std::memory_order_acquire)};
    }
    ringreader& reader() noexcept { return *reader_; }
    std::uint32_t process_id() const noexcept { return process_id_; }
    // True once the process has ended or closed the channel: no record follows.
    bool ended() const noexcept { return ended_.load(std::memory_order_acquire); }
    // No record follows; wakes the drain thread to finish the channel.
    void close() noexcept;

private:
    static void CALLBACK on_process_end(void* self, BOOLEAN timed_out) noexcept;

    std::uint32_t process_id_;
    uniquehandle process_;
    uniquehandle ring_section_;
    uniquehandle level_section_;
    uniqueview ring_view_;
    uniqueview level_view_;
    std::unique_ptr<ringreader> reader_;
    HANDLE wake_;

    criticalsection lock_;
    std::unique_ptr<channelsource[]> sources_;  // channel_max_sources; entries below count_ never change
    std::atomic<std::size_t> count_{0};
    std::map<sourcekeyref, std::uint16_t, sourcekeyorder> slots_;

    std::atomic<bool> ended_{false};
    uniquewait wait_;  // last member: unregistered first, so the callback never sees a torn channel
};

} // namespace kvt
