#pragma once
// One drain pass over one channel, on the drain thread.

#include "channel/channel.h"
#include "writer/record_batch.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvt {

struct drainpass {
    std::size_t limit;   // records to consume at most
    bool skip_holes;     // the client has ended or the server stops: a hole will never fill
    std::uint64_t now;   // tick count in milliseconds, for holes of a live client
};

// Moves the channel's committed records into the batch, in ring order, and publishes the
// space they took. A record that fails a check and a hole that is skipped count as lost (for
// their slot's id, when the slot is one of the channel's); the client's ring-full drops count
// as ring full. Every such record is counted committed first. Returns how many records it
// consumed: the pass stopped at the limit when that equals it. copy: the pass's scratch
// buffer. Throws std::bad_alloc (what the batch holds is then still whole records but the last).
std::size_t drain_channel(channel& c, const drainpass& pass, recordbatch& batch, std::vector<std::byte>& copy);

} // namespace kvt
