#include "channel/channel_set.h"

#include "channel/channel_drain.h"

#include <process.h>

#include <algorithm>
#include <bit>
#include <new>

namespace kvt {

using namespace kvtlog::wire;

namespace {

// Records one channel gives one pass at most, so that one busy client does not starve the
// others and a batch stays bounded.
constexpr std::size_t pass_limit = 4096;
// Channels one process may hold: its memory in the server is bounded, whatever it asks for.
constexpr std::ptrdiff_t channel_max_per_process = 4;
// After a pass that found records the drain thread looks again every linger_ms, without
// asking writers to wake it, linger_passes times before it sleeps behind the flag: a client
// that logs now and then costs the writers no event (a system call) per burst.
constexpr DWORD linger_ms = 10;
constexpr unsigned linger_passes = 10;
// How long a flush waits for the drain thread at most.
constexpr ULONGLONG flush_wait_ms = 5000;
// Passes of the final drain at most: a client that keeps writing does not hold up the stop.
constexpr int final_passes = 64;

std::uint64_t ring_bytes_for(std::uint32_t ring_kib) noexcept
{
    if (ring_kib == 0)
        return default_ring_bytes;
    const std::uint64_t wanted = std::clamp<std::uint64_t>(std::uint64_t{ring_kib} * 1024, min_ring_bytes, max_ring_bytes);
    return std::bit_ceil(wanted);
}

} // namespace

channelset::channelset(const writerthread& writer, logsettings& settings)
    : writer_(writer), settings_(settings), wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    if (!wake_)
        throw ::GetLastError();
    thread_.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, drain_entry, this, 0, nullptr)));
    if (!thread_)
        throw ::GetLastError();
}

channelset::~channelset()
{
    stopping_.store(true);
    ::SetEvent(wake_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

std::pair<std::uint32_t, channel::clienthandles> channelset::open(std::uint32_t process_id, std::uint32_t ring_kib)
{
    channel::clienthandles handed{};
    // Room in the list first: once the channel exists, nothing may fail, or the client would
    // keep handles to a channel nobody drains.
    const sectionguard guard(lock_);
    if (std::count_if(channels_.begin(), channels_.end(),
                      [&](const auto& c) { return c.second->process_id() == process_id; }) >= channel_max_per_process)
        throw DWORD{ERROR_NOT_ENOUGH_QUOTA};
    channels_.reserve(channels_.size() + 1);
    auto c = std::make_shared<channel>(process_id, ring_bytes_for(ring_kib), wake_.get(), handed);
    const std::uint32_t id = next_id_++;
    channels_.emplace_back(id, std::move(c));
    return {id, handed};
}

channel& channelset::find(std::uint32_t channel_id, std::uint32_t caller) const
{
    const auto found = std::find_if(channels_.begin(), channels_.end(), [&](const auto& c) {
        return c.first == channel_id && (caller == 0 || c.second->process_id() == caller);
    });
    if (found == channels_.end())
        throw DWORD{ERROR_NOT_FOUND};
    return *found->second;
}

std::uint16_t channelset::add_source(std::uint32_t channel_id, std::uint32_t caller, const sourcekeyref& key,
                                     sourcecounters& counters)
{
    const sectionguard guard(lock_);
    return find(channel_id, caller).add_source(key, counters, settings_);
}

void channelset::close(std::uint32_t channel_id, std::uint32_t caller)
{
    const sectionguard guard(lock_);
    find(channel_id, caller).close();
}

void channelset::publish_levels() noexcept
{
    const sectionguard guard(lock_);
    for (const auto& c : channels_)
        c.second->publish_levels(settings_);
}

// A pass under way when the call comes may have passed a record already: the second pass
// to end after the call began after it.
void channelset::flush() noexcept
{
    const std::uint64_t due = passes_.load() + 2;
    const ULONGLONG deadline = ::GetTickCount64() + flush_wait_ms;
    while (passes_.load() < due && ::GetTickCount64() < deadline) {
        ::SetEvent(wake_.get());
        ::Sleep(1);
    }
}

std::vector<std::shared_ptr<channel>> channelset::snapshot() const
{
    const sectionguard guard(lock_);
    std::vector<std::shared_ptr<channel>> list;
    list.reserve(channels_.size());
    for (const auto& c : channels_)
        list.push_back(c.second);
    return list;
}

unsigned __stdcall channelset::drain_entry(void* self)
{
    static_cast<channelset*>(self)->drain_loop();
    return 0;
}

// Without memory the loop pauses and tries again: each reader goes on from its position.
void channelset::drain_loop()
{
    std::vector<std::byte> copy;
    unsigned lingered = linger_passes;
    for (int final_pass = 0;;) {
        const bool stopping = stopping_.load();
        try {
            bool found = false;
            const bool more = drain_all(stopping, copy, found);
            if (stopping && (!more || ++final_pass == final_passes))
                return;
            if (found)
                lingered = 0;
            if (!more) {
                passes_.fetch_add(1);
                wait_unless_committed(lingered < linger_passes);
                lingered += lingered < linger_passes;
            }
        } catch (const std::bad_alloc&) {
            if (stopping && ++final_pass == final_passes)
                return;
            ::Sleep(channel_wait_ms);
        }
    }
}

bool channelset::drain_all(bool stopping, std::vector<std::byte>& copy, bool& found)
{
    auto batch = std::make_unique<recordbatch>();
    bool more = false;
    const std::vector<std::shared_ptr<channel>> list = snapshot();
    std::vector<channel*> finished;
    finished.reserve(list.size());
    const std::uint64_t now = ::GetTickCount64();
    bool short_of_memory = false;
    for (const std::shared_ptr<channel>& c : list) {
        // Read before the pass: a client seen ended has written its last record already.
        const bool ended = c->ended();
        bool full = false;
        try {
            full = drain_channel(*c, {pass_limit, ended || stopping, now}, *batch, copy) == pass_limit;
        } catch (const std::bad_alloc&) {
            // What the batch holds still goes to the writer (its last record perhaps without
            // its last values); the record being added is gone, uncounted.
            short_of_memory = true;
            break;
        }
        more = more || full;
        if (ended && !full)
            finished.push_back(c.get());
    }
    found = !batch->records().empty();
    if (found)
        writer_.commit(std::move(batch));
    if (short_of_memory)
        throw std::bad_alloc();
    // A finished channel leaves the list under the lock and is destroyed after it, here.
    std::vector<std::shared_ptr<channel>> removed;
    removed.reserve(finished.size());
    {
        const sectionguard guard(lock_);
        for (auto& c : channels_)
            if (std::find(finished.begin(), finished.end(), c.second.get()) != finished.end())
                removed.push_back(std::move(c.second));
        std::erase_if(channels_, [](const auto& c) { return !c.second; });
    }
    return more;
}

// Asleep, the sleeping flag goes up first, then every ring is looked at once more: a writer
// that committed before the flag was up is seen here, one that commits after it sees the flag
// and sets the event. Lingering, the flag stays down and the wait is short.
void channelset::wait_unless_committed(bool linger)
{
    const auto list = snapshot();
    for (const auto& c : list)
        c->reader().set_sleeping(!linger);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    const bool committed = std::any_of(list.begin(), list.end(), [](const auto& c) { return c->reader().committed(); });
    if (!committed)
        ::WaitForSingleObject(wake_.get(), linger ? linger_ms : channel_wait_ms);
    for (const auto& c : list)
        c->reader().set_sleeping(false);
}

} // namespace kvt
