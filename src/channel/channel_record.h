#pragma once
// Reading one record that the drain thread has copied out of a ring: every field is checked
// on the copy before anything of it reaches the batch.
//
// Threads: the drain thread only. Nothing here keeps state.

#include "core/sourcekey.h"
#include "writer/counters.h"
#include "writer/record_batch.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kvt {

// A source a client added to its channel, as the server fixed it then: the slot number in the
// records is an index into the channel's table of these.
struct channelsource {
    sourcekeyref key;
    sourcecounters* counters;
};

// The slot of a record copy whose head is whole, else nothing; for counting a bad record.
const channelsource* record_source(std::span<const std::byte> copy, std::span<const channelsource> sources) noexcept;

// Adds the record to the batch when every check holds: the length matches the copy, the slot
// names one of sources, the location texts, the values and their kinds, radixes, digit counts
// and lengths lie inside the record, and the time converts. False when one fails: the batch
// is then unchanged. process_id: the client's, which the record carries on for forwarding.
// Throws std::bad_alloc (the batch may then hold part of the record).
bool add_record_copy(std::span<const std::byte> copy, std::span<const channelsource> sources,
                     std::uint32_t process_id, recordbatch& batch);

} // namespace kvt
