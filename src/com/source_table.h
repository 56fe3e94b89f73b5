#pragma once
// The service's table of live sources: at most one entry per source identity, from the
// find-or-create that made the source until that source's destruction removes it.
//
// Owner: the service object, by value; it outlives every source. Threads: COM worker
// threads, in CreateSource and in the last Release of a source. lock_ guards sources_ for
// every access; while holding it the table takes no other lock and posts nothing. The
// pointers in the table are not counted: a source removes its own entry as it dies.

#include "core/sourcekey.h"
#include "writer/counters.h"
#include "win/critical_section.h"

#include <cstdint>
#include <map>

namespace kvt {

class logservice;
class logsource;

class sourcetable {
public:
    sourcetable() = default;
    sourcetable(const sourcetable&) = delete;
    sourcetable& operator=(const sourcetable&) = delete;

    // The live source of the identity with one more reference, or a new source (count 1)
    // when there is none. A source whose count has reached zero is never handed out again:
    // a new one takes over its entry. Throws std::bad_alloc; the table then holds what it
    // held, or an entry without a source that the next call for the identity fills.
    // counters: those of the id, for a new source.
    logsource* acquire(logservice& service, sourcecounters& counters, std::uint32_t id,
                       const std::uint32_t version[4], const wchar_t* name);

    // Removes the entry of the source's key while it still names this source; an entry
    // that a newer source of the same identity has taken over stays.
    void remove(const logsource& source) noexcept;

private:
    criticalsection lock_;
    std::map<sourcekeyref, logsource*, sourcekeyorder> sources_;
};

} // namespace kvt
