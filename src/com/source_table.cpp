#include "com/source_table.h"

#include "com/logsource.h"

namespace kvt {

logsource* sourcetable::acquire(logservice& service, sourcecounters& counters, std::uint32_t id,
                                const std::uint32_t version[4], const wchar_t* name)
{
    const sectionguard guard(lock_);
    // An equal key already in the table stays; the new one is released on the way out.
    const auto entry = sources_.try_emplace(make_sourcekey(id, version, name), nullptr).first;
    // A source found at count zero is between its last Release and its remove(): it is
    // dying and must not come back, so a new source replaces it in the entry.
    if (entry->second && entry->second->try_add_ref())
        return entry->second;
    entry->second = new logsource(service, entry->first, counters);
    return entry->second;
}

void sourcetable::remove(const logsource& source) noexcept
{
    const sectionguard guard(lock_);
    const auto entry = sources_.find(source.key());
    if (entry != sources_.end() && entry->second == &source)
        sources_.erase(entry);
}

} // namespace kvt
