#pragma once
// What the load clients log and what the checker expects, shared by the administrator (the
// test) and the client processes (the same executable started with client_switch).
//
// Every record is fully determined by (client, thread, sequence number): its source, its
// level and its text come from a hash of the three, so the checker can rebuild the expected
// line from the numbers that the line itself carries (first id and second id). Only what
// the server answered, and whether the commit lay outside every suspension, comes back from
// the clients, through a shared memory block.

#include "win/unique_resource.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace kvt::test::load {

inline constexpr unsigned clients = 4;
inline constexpr unsigned threads = 4;
// 4 x 4 x 80 records: well below the 10,000 posted messages that a Windows thread queue
// holds, so even a writer that falls far behind never makes a post fail; the check does not
// depend on Wine's queue, which has no such quota.
inline constexpr unsigned records = 80;

struct source_spec {
    DWORD id;
    DWORD version[4];
    const wchar_t* name;
};

// A mix: two names under one id, one name in two versions, source id 0 (directory GE) and
// the default source id used as an ordinary one.
inline constexpr source_spec sources[] = {
    {1, {1, 0, 0, 0}, L"alpha"},
    {1, {1, 0, 0, 0}, L"beta"},
    {2, {2, 1, 0, 7}, L"gamma"},
    {2, {2, 2, 0, 0}, L"gamma"},
    {0, {0, 0, 0, 1}, L"delta"},
    {0xFFFFFFFF, {3, 0, 0, 0}, L"omega"},
};
inline constexpr unsigned source_count = sizeof sources / sizeof sources[0];

struct record_plan {
    unsigned source;         // index into sources
    DWORD level;             // one or two level bits
    const wchar_t* levels;   // how the line names them
    std::string tail;        // the narrow text appended last
};

record_plan plan(unsigned client, unsigned thread, unsigned seq);

// SetIds(first_id(client, thread), seq) and SetLocation(location_file, seq, location_function).
inline DWORD first_id(unsigned client, unsigned thread) { return client << 8 | thread; }
inline constexpr char location_file[] = "C:\\load\\client.cpp";
inline constexpr char location_function[] = "log_thread";

// A record's message text: the head (appended as a wide text) and the plan's tail (appended
// as a narrow text).
std::wstring message_head(unsigned client, unsigned thread, unsigned seq);
std::wstring message_text(unsigned client, unsigned thread, unsigned seq);

// What a client did with one record.
enum class outcome : unsigned char {
    not_made = 0,   // CreateMessage answered S_FALSE (the level was off), or never tried
    optional = 1,   // committed while a suspension may have been in force
    required = 2,   // committed while writing was certainly not suspended
};

// Shared between the administrator and the clients, in a named file mapping.
struct shared_block {
    // Even while writing is not suspended; the administrator makes it odd before it calls
    // Suspend(TRUE) and even again after Suspend(FALSE) has returned. A commit whose Release
    // runs between two reads of the same even value happened entirely outside the window.
    std::atomic<long> epoch;
    std::atomic<long> failures;     // calls that answered something unexpected
    std::atomic<long> last_failure; // the HRESULT of the latest one
    outcome outcomes[clients][threads][records];
};
static_assert(std::atomic<long>::is_always_lock_free, "the block is shared between processes");

struct view_traits {
    using type = void*;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type p) noexcept { return p != nullptr; }
    static void close(type p) noexcept { ::UnmapViewOfFile(p); }
};

// The block under a name: made (zero-filled) by the administrator, opened by the clients.
class block_view {
public:
    enum mode { create, open };
    block_view(const std::wstring& name, mode m);

    explicit operator bool() const noexcept { return static_cast<bool>(view_); }
    shared_block& operator*() const noexcept { return *static_cast<shared_block*>(view_.get()); }
    shared_block* operator->() const noexcept { return static_cast<shared_block*>(view_.get()); }

private:
    unique_handle mapping_;
    unique_resource<view_traits> view_;
};

} // namespace kvt::test::load
