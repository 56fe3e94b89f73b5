#include "channel/channel_drain.h"

namespace kvt {

using namespace kvtlog::wire;

namespace {

// A record that never reaches the writer, counted for its source.
void count_dropped(const channelsource* source, std::atomic<std::uint64_t> sourcecounters::*counter,
                   std::uint64_t records = 1) noexcept
{
    if (!source)
        return;
    source->counters->committed.fetch_add(records);
    raise(source->counters->*counter, records);
}

} // namespace

std::size_t drain_channel(channel& c, const drainpass& pass, recordbatch& batch, std::vector<std::byte>& copy)
{
    ringreader& reader = c.reader();
    // The table is read after each record: a source added after the pass began is in it
    // before any record of it is committed.
    const auto source_of = [&c](std::uint16_t slot) {
        const std::span<const channelsource> sources = c.sources();
        return slot < sources.size() ? &sources[slot] : nullptr;
    };
    std::size_t consumed = 0;
    for (; consumed < pass.limit; ++consumed) {
        const ringreader::readresult result = reader.read(copy);
        if (result == ringreader::readresult::record) {
            if (!add_record_copy(copy, c.sources(), c.process_id(), batch))
                count_dropped(record_source(copy, c.sources()), &sourcecounters::lost);
            continue;
        }
        // An unreadable record is skipped at once; an uncommitted one only once it can no
        // longer come. (The word is not looked at again here: a record committed since is
        // read by the next round, not skipped.)
        if (result == ringreader::readresult::none && !pass.skip_holes && !reader.stalled(pass.now))
            break;
        if (result == ringreader::readresult::none && reader.committed())
            continue;  // the record came after all
        const std::optional<std::uint16_t> skipped = reader.skip();
        if (!skipped)
            break;
        count_dropped(source_of(*skipped), &sourcecounters::lost);
    }
    reader.publish();
    const std::span<const channelsource> sources = c.sources();
    for (std::uint16_t slot = 0; slot < sources.size(); ++slot)
        if (const std::uint64_t dropped = reader.ringfull_increase(slot))
            count_dropped(&sources[slot], &sourcecounters::ringfull, dropped);
    return consumed;
}

} // namespace kvt
