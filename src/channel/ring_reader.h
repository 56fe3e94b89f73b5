#pragma once
// The drain thread's side of one ring: its position, copying committed records out, skipping
// a hole, publishing what it has consumed, and the sleeping flag (see channel_layout.h).
//
// Owner: the channel. Threads: the drain thread only. The geometry is the reader's own,
// fixed at construction; of the shared memory it reads only commit words, record bytes, the
// reserved position (as a bound) and the ring-full counters, and checks each.

#include "kvtlog/channel_layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kvt {

class ringreader {
public:
    // section: the server's view of a ring section of ring_bytes, its header already written.
    ringreader(std::byte* section, std::uint64_t ring_bytes) noexcept;

    enum class readresult {
        none,        // nothing committed at the position (yet)
        record,      // copied into copy (resized to it) and passed
        unreadable,  // committed, but the head's length fails the geometry: the client broke
                     // the ring, and the caller skips as for a hole
    };
    // The record committed at the position. Throws std::bad_alloc.
    readresult read(std::vector<std::byte>& copy);

    // True when the word at the position is committed, whatever the record's length.
    bool committed() const noexcept;

    // Moves past the hole (or the unreadable record) at the position, to the next word that
    // holds its own position below the reserved one, or to the reserved position. The slot
    // its head named when it moved, else nothing.
    std::optional<std::uint16_t> skip() noexcept;

    // True when a record is reserved at the position and has stayed uncommitted since a
    // call hole_timeout_ms or more before, now being the tick count in milliseconds.
    bool stalled(std::uint64_t now) noexcept;

    // Makes the space before the position free for the writers.
    void publish() const noexcept;
    void set_sleeping(bool sleeping) const noexcept;

    // How much the client's ring-full counter of the slot has risen since the last call.
    std::uint64_t ringfull_increase(std::uint16_t slot) noexcept;

    std::uint64_t position() const noexcept { return position_; }

private:
    std::uint64_t reserved() const noexcept;
    std::uint64_t word_at(std::uint64_t position) const noexcept;
    void copy_out(std::uint64_t position, std::byte* to, std::size_t bytes) const noexcept;

    std::byte* section_;
    std::byte* ring_;
    std::uint64_t mask_;
    std::uint32_t max_record_;
    std::uint64_t position_ = kvtlog::wire::first_position;
    std::vector<std::uint64_t> ringfull_seen_;
    std::uint64_t stall_position_ = 0;  // where a stall was first seen, or 0
    std::uint64_t stall_since_ = 0;
};

} // namespace kvt
