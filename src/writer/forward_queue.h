#pragma once
// The records that the writer hands on for forwarding after it has written them, and the
// bounded queue that carries them to the forwarder thread. The writer never waits for the
// network: when the queue is full, push refuses and the writer counts the record
// forwarddropped; its line is in the file all the same.
//
// Owner: the service, which makes it before the writer and the forwarder and destroys it
// after both. Threads: the writer pushes; the forwarder takes; any thread sets the levels.
// lock_ guards records_ and is held for a push or a swap, never for I/O.

#include "core/sourcekey.h"
#include "win/critical_section.h"
#include "win/unique_resource.h"
#include "writer/counters.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvt {

// One written record as the forwarder needs it: the fields of its header and its whole line.
struct forwardrecord {
    sourcekeyref key;
    sourcecounters* counters;  // the id's, which outlive the forwarder
    std::uint32_t level;
    SYSTEMTIME time;
    std::uint32_t firstid;
    std::uint32_t secondid;
    std::optional<std::wstring> file;
    std::uint32_t line;
    std::optional<std::wstring> function;
    std::wstring text;             // the line as written: header, message, CR LF
    std::uint32_t process_id = 0;  // the client's, 0 where the server does not know it
};

using forwardrecords = std::vector<std::unique_ptr<forwardrecord>>;

class forwardqueue {
public:
    // Room for capacity records is made at once, so that a push never allocates; their lines
    // may hold max_units code units together, so that long lines cannot exhaust memory.
    // Throws std::bad_alloc, or the Win32 code (DWORD) when the event cannot be made.
    explicit forwardqueue(std::size_t capacity, std::size_t max_units = std::size_t{8} << 20);
    forwardqueue(const forwardqueue&) = delete;
    forwardqueue& operator=(const forwardqueue&) = delete;

    // The levels whose records are forwarded; 0 while forwarding is off.
    std::uint32_t levels() const noexcept { return levels_.load(std::memory_order_relaxed); }
    void set_levels(std::uint32_t levels) noexcept { levels_.store(levels, std::memory_order_relaxed); }

    // Queues the record, or leaves it with the caller when the queue is full (false).
    bool push(std::unique_ptr<forwardrecord>& record) noexcept;

    // Swaps the queued records into taken, which must be empty; taken's room becomes the
    // queue's, so give back a vector with room for capacity records.
    void take_all(forwardrecords& taken) noexcept;

    // The forwarder asks to be woken by the next push: true when the queue is empty, and the
    // forwarder may then wait for ready_event(); false when records came meanwhile. Only a
    // push that finds the forwarder asleep sets the event, so that a writer feeding a busy
    // forwarder makes no system call for it.
    bool sleep_if_empty() noexcept;
    // Set (auto-reset) by the first push after sleep_if_empty.
    HANDLE ready_event() const noexcept { return ready_.get(); }
    std::size_t capacity() const noexcept { return capacity_; }

private:
    criticalsection lock_;
    forwardrecords records_;
    std::size_t capacity_;
    std::size_t max_units_;
    std::size_t units_ = 0;  // of the lines in records_
    bool sleeping_ = false;  // the forwarder waits for ready_
    uniquehandle ready_;
    std::atomic<std::uint32_t> levels_{0};
};

} // namespace kvt
