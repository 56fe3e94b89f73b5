#pragma once
// What the load clients log and what the checker expects, shared by the administrator (the
// test) and the client processes.
//
// Every record is fully determined by (client, thread, sequence number): its source, level
// and text come from a hash of the three, so the checker rebuilds the expected line from the
// ids the line carries. Only whether a commit lay outside every suspension comes back from
// the clients, through a shared memory block.

#include "win/unique_resource.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace kvt::test::load {

// 4 x 4 x 80 records: well below the 10,000 posted messages a Windows thread queue holds,
// so even a writer far behind never makes a post fail.
inline constexpr unsigned clients = 4, threads = 4, records = 80;

struct sourcespec {
    DWORD id;
    DWORD version[4];
    const wchar_t* name;
};

// Two names under one id, one name in two versions, source id 0 (directory GE) and the
// default source id used as an ordinary one.
inline constexpr sourcespec sources[] = {
    {1, {1, 0, 0, 0}, L"alpha"}, {1, {1, 0, 0, 0}, L"beta"},  {2, {2, 1, 0, 7}, L"gamma"},
    {2, {2, 2, 0, 0}, L"gamma"}, {0, {0, 0, 0, 1}, L"delta"}, {0xFFFFFFFF, {3, 0, 0, 0}, L"omega"},
};
inline constexpr unsigned source_count = std::size(sources);

struct recordplan {
    unsigned source;        // index into sources
    DWORD level;            // one or two level bits
    const wchar_t* levels;  // how the line names them
    std::wstring head;      // appended as a wide text
    std::string tail;       // appended as a narrow text, 0 to 120 letters
};

inline recordplan plan(unsigned client, unsigned thread, unsigned seq)
{
    std::uint64_t h = std::uint64_t{client} << 40 | std::uint64_t{thread} << 32 | seq;
    h += 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
    h ^= h >> 31;
    // DEBUG together with ERROR: the line must name both.
    constexpr struct { DWORD mask; const wchar_t* text; } levels[] = {
        {0x02, L"ERR"}, {0x04, L"WRN"}, {0x10, L"INF"}, {0x20, L"DBG"}, {0x22, L"ERR,DBG"}};
    const auto& level = levels[(h >> 8) % std::size(levels)];
    recordplan p{static_cast<unsigned>(h % source_count), level.mask, level.text,
                  L"c" + std::to_wstring(client) + L"t" + std::to_wstring(thread) + L"s" + std::to_wstring(seq) + L":",
                  {}};
    for (unsigned i = 0, length = (h >> 16) % 121; i < length; ++i)
        p.tail += static_cast<char>('a' + (h >> (i % 48) ^ i) % 26);
    return p;
}

// SetIds(first_id(client, thread), seq); SetLocation("C:\load\client.cpp", seq, "log_thread").
inline DWORD first_id(unsigned client, unsigned thread) { return client << 8 | thread; }

enum class outcome : unsigned char {
    not_made = 0,  // CreateMessage answered S_FALSE (the level was off), or never tried
    optional = 1,  // committed while a suspension may have been in force
    required = 2,  // committed while writing was certainly not suspended
};

// Shared between the administrator and the clients, in a named file mapping.
struct sharedblock {
    // Even while writing is not suspended; the administrator makes it odd before Suspend(TRUE)
    // and even again after Suspend(FALSE). A commit whose Release runs between two reads of
    // the same even value happened entirely outside the window.
    std::atomic<long> epoch;
    std::atomic<long> failures;      // calls that answered something unexpected
    std::atomic<long> last_failure;  // the HRESULT of the latest one
    outcome outcomes[clients][threads][records];
};
static_assert(std::atomic<long>::is_always_lock_free, "the block is shared between processes");

using uniqueview = uniqueresource<void*, decltype(&::UnmapViewOfFile), ::UnmapViewOfFile>;

// The block under a name: made (zero-filled) by the administrator, opened by the clients.
class blockview {
public:
    blockview(const std::wstring& name, bool create)
        : mapping_(create ? ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(sharedblock),
                                                 name.c_str())
                          : ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()))
    {
        if (mapping_)
            view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(sharedblock)));
    }
    explicit operator bool() const noexcept { return static_cast<bool>(view_); }
    sharedblock& operator*() const noexcept { return *static_cast<sharedblock*>(view_.get()); }
    sharedblock* operator->() const noexcept { return &**this; }

private:
    uniquehandle mapping_;
    uniqueview view_;
};

} // namespace kvt::test::load
