#include "writer/counters.h"

namespace kvt {

countersnapshot read_counters(const sourcecounters& c) noexcept
{
    countersnapshot s{};
    s.written = c.written.load(std::memory_order_acquire);
    s.bytes = c.bytes.load(std::memory_order_relaxed);
    s.rotations = c.rotations.load(std::memory_order_relaxed);
    s.suspended = c.suspended.load(std::memory_order_acquire);
    s.nofile = c.nofile.load(std::memory_order_acquire);
    s.ringfull = c.ringfull.load(std::memory_order_acquire);
    s.lost = c.lost.load(std::memory_order_acquire);
    s.refused = c.refused.load(std::memory_order_acquire);
    s.forwarded = c.forwarded.load(std::memory_order_relaxed);
    s.forwardfull = c.forwardfull.load(std::memory_order_relaxed);
    s.forwardlost = c.forwardlost.load(std::memory_order_relaxed);
    s.committed = c.committed.load(std::memory_order_acquire);
    return s;
}

sourcecounters& countertable::of(std::uint32_t id)
{
    const sectionguard guard(lock_);
    std::unique_ptr<sourcecounters>& counters = counters_[id];
    if (!counters)
        counters = std::make_unique<sourcecounters>();
    return *counters;
}

std::optional<std::pair<std::uint32_t, countersnapshot>> countertable::read_from(std::uint32_t first) const
{
    const sectionguard guard(lock_);
    const auto entry = counters_.lower_bound(first);
    if (entry == counters_.end())
        return std::nullopt;
    return std::pair{entry->first, read_counters(*entry->second)};
}

} // namespace kvt
