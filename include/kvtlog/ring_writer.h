#pragma once
// The client's side of a record channel: its views of the two sections, the level read and
// the writing of one record (see channel_layout.h for the protocol).
//
// Owner: the client process, one per channel, shared by every thread and source of the
// process. Threads: any number at once; nothing here takes a lock or waits. It trusts the
// server's geometry in the ring header.

#include "kvtlog/channel_layout.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace kvtlog::wire {

// Owners of a handle and of a mapped view.
struct handle_closer {
    void operator()(void* h) const noexcept { ::CloseHandle(h); }
};
struct view_unmapper {
    void operator()(void* v) const noexcept { ::UnmapViewOfFile(v); }
};
using ownedhandle = std::unique_ptr<void, handle_closer>;
using ownedview = std::unique_ptr<void, view_unmapper>;

class ringwriter {
public:
    ringwriter() noexcept = default;

    // Takes the three handles the server handed over and maps the sections. False, with the
    // handles closed, when a mapping fails or the ring header is not one this code knows.
    bool open(HANDLE ring_section, HANDLE level_section, HANDLE wake) noexcept
    {
        ownedhandle ring(ring_section), levels(level_section);
        wake_.reset(wake);
        ownedview header_view(::MapViewOfFile(ring.get(), FILE_MAP_READ, 0, 0, sizeof(ringheader)));
        if (!header_view)
            return false;
        const auto* header = static_cast<const ringheader*>(header_view.get());
        const std::uint64_t ring_bytes = header->ring_bytes;
        if (header->magic != channel_magic || header->layout_version != channel_layout_version ||
            ring_bytes < min_ring_bytes || ring_bytes > max_ring_bytes || (ring_bytes & (ring_bytes - 1)) != 0)
            return false;
        ring_view_.reset(::MapViewOfFile(ring.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                                         static_cast<SIZE_T>(ring_section_bytes(ring_bytes))));
        level_view_.reset(::MapViewOfFile(levels.get(), FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(level_section_bytes)));
        if (!ring_view_ || !level_view_)
            return false;
        ring_bytes_ = ring_bytes;
        max_record_ = header->max_record_bytes;
        return true;
    }

    explicit operator bool() const noexcept { return static_cast<bool>(ring_view_); }

    // The level mask in force for the slot's source: one load.
    std::uint32_t level(std::uint16_t slot) const noexcept
    {
        auto* levels = static_cast<std::uint32_t*>(level_view_.get());
        return std::atomic_ref<std::uint32_t>(levels[slot]).load(std::memory_order_acquire);
    }

    // Writes a whole record (its head's bytes and slot filled in, the commit word ignored) and
    // commits it. False when the ring has no room, or the record is longer than the server
    // takes: it is then dropped and counted ring full for its slot.
    bool write(std::span<std::byte> record) noexcept
    {
        recordhead head;
        std::memcpy(&head, record.data(), sizeof head);
        const std::uint64_t bytes = record.size();
        auto& header = *static_cast<ringheader*>(ring_view_.get());
        std::atomic_ref<std::uint64_t> reserved(header.reserved), drained(header.drained);
        std::uint64_t at = reserved.load(std::memory_order_relaxed), free_from = 0;
        do {
            free_from = drained.load(std::memory_order_acquire);
            if (bytes > max_record_ || at + bytes - free_from > ring_bytes_) {
                drop(head.slot);
                return false;
            }
        } while (!reserved.compare_exchange_weak(at, at + bytes, std::memory_order_relaxed));

        copy_in(at + sizeof(std::uint64_t), record.data() + sizeof(std::uint64_t), record.size() - sizeof(std::uint64_t));
        std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(ring() + (at & (ring_bytes_ - 1))))
            .store(at, std::memory_order_release);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        const std::uint64_t quarter = free_from + ring_bytes_ / 4;
        if (std::atomic_ref<std::uint32_t>(header.sleeping).load(std::memory_order_relaxed) ||
            (at < quarter && at + bytes >= quarter))
            ::SetEvent(wake_.get());
        return true;
    }

    // Counts a record of the slot that the client dropped.
    void drop(std::uint16_t slot) noexcept
    {
        std::atomic_ref<std::uint64_t>(ringfull()[slot % channel_max_sources]).fetch_add(1, std::memory_order_relaxed);
    }

    std::uint64_t ring_bytes() const noexcept { return ring_bytes_; }
    std::uint32_t max_record_bytes() const noexcept { return max_record_; }

private:
    std::byte* ring() const noexcept { return static_cast<std::byte*>(ring_view_.get()) + ring_offset; }
    std::uint64_t* ringfull() const noexcept
    {
        return reinterpret_cast<std::uint64_t*>(static_cast<std::byte*>(ring_view_.get()) + ringfull_offset);
    }

    // Bytes at a position, wrapping at the ring's end.
    void copy_in(std::uint64_t position, const std::byte* from, std::size_t bytes) const noexcept
    {
        const std::size_t at = static_cast<std::size_t>(position & (ring_bytes_ - 1));
        const std::size_t first = bytes < ring_bytes_ - at ? bytes : static_cast<std::size_t>(ring_bytes_ - at);
        std::memcpy(ring() + at, from, first);
        std::memcpy(ring(), from + first, bytes - first);
    }

    ownedview ring_view_;
    ownedview level_view_;
    ownedhandle wake_;
    std::uint64_t ring_bytes_ = 0;
    std::uint32_t max_record_ = 0;
};

} // namespace kvtlog::wire
