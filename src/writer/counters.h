#pragma once
// What became of every record of a source id since the server started. A record is
// committed once, then written, dropped for one cause, or still queued: committed always
// equals written plus every dropped count plus queued.
//
// Each group of counters has one kind of writer and a cache line of its own, so that no
// thread's update shares a line with another's and no update takes a lock:
// - committed and refused: the threads that commit records, one atomic add each;
// - the writer's group: the writer thread only, a plain store of an atomic;
// - the channel's group: the thread that drains the record channel only;
// - the forwarder's group: the forwarder thread only.
// Forwarding counts apart: a record dropped from forwarding is still written to its file.
// Readers load every counter without a lock; see read_counters for the order.

#include "win/critical_section.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace kvt {

// A counter with one writing thread: raising it needs no read-modify-write.
inline void raise(std::atomic<std::uint64_t>& counter, std::uint64_t by = 1) noexcept
{
    // Released, so that a reader who sees the new value also sees what came before it: the
    // commit of every record counted here.
    counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_release);
}

struct sourcecounters {
    // Committers: every record once, when it is committed, before it is handed over.
    alignas(64) std::atomic<std::uint64_t> committed{0};
    // Committers: records that never reached the writer (its queue refused them, or there
    // was no memory to hand them over).
    std::atomic<std::uint64_t> refused{0};

    // The writer thread.
    alignas(64) std::atomic<std::uint64_t> written{0};
    std::atomic<std::uint64_t> bytes{0};      // of the lines written
    std::atomic<std::uint64_t> rotations{0};
    std::atomic<std::uint64_t> suspended{0};  // dropped while writing was suspended
    std::atomic<std::uint64_t> nofile{0};     // dropped: no file could be opened or written
    std::atomic<std::uint64_t> forwardfull{0};  // not forwarded: the forwarding queue was full

    // The record channel's drain thread.
    alignas(64) std::atomic<std::uint64_t> ringfull{0};  // dropped: the client's ring was full
    std::atomic<std::uint64_t> lost{0};                  // lost when a client died mid-record

    // The forwarder thread.
    alignas(64) std::atomic<std::uint64_t> forwarded{0};  // handed to the collector's connection
    std::atomic<std::uint64_t> forwardlost{0};            // taken for forwarding, never sent whole
};

// The counters of one id as read at one time.
struct countersnapshot {
    std::uint64_t committed, written, bytes, rotations, suspended, nofile, refused, ringfull, lost;
    std::uint64_t forwarded, forwardfull, forwardlost;

    std::uint64_t dropped() const noexcept { return suspended + nofile + refused + ringfull + lost; }
    // Committed, but neither written nor dropped yet.
    std::uint64_t queued() const noexcept { return committed - written - dropped(); }
};

// Reads the counters that a record reaches last first, and committed last: every record
// is counted committed before anything else counts it, so queued never comes out negative.
countersnapshot read_counters(const sourcecounters& counters) noexcept;

// The counters of every source id that has had a record or a source, made on first use and
// kept while the table lives, so that a pointer to an id's counters stays valid.
//
// Owner: the service. Threads: any; lock_ guards the map only (never a counter), and is
// held for a lookup or an insert, with no other lock taken under it.
class countertable {
public:
    // The id's counters. Throws std::bad_alloc.
    sourcecounters& of(std::uint32_t id);

    // The lowest id not below first, with its counters now; empty when there is none.
    std::optional<std::pair<std::uint32_t, countersnapshot>> read_from(std::uint32_t first) const;

private:
    mutable criticalsection lock_;
    std::map<std::uint32_t, std::unique_ptr<sourcecounters>> counters_;
};

} // namespace kvt
