#include "channel/channel.h"

#include <sddl.h>

#include <cstring>
#include <utility>

namespace kvt {

using namespace kvtlog::wire;

namespace {

// Read and query for everyone, nothing more: a handle to the level section cannot be
// duplicated into one that maps it for writing, even by a process of the same user.
constexpr const wchar_t* level_section_dacl = L"D:P(A;;0x00020005;;;WD)";

uniquehandle create_section(std::uint64_t bytes, SECURITY_ATTRIBUTES* security)
{
    uniquehandle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, security, PAGE_READWRITE,
                                              static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes), nullptr));
    if (!section)
        throw ::GetLastError();
    return section;
}

uniqueview map_section(HANDLE section, std::uint64_t bytes)
{
    uniqueview view(::MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(bytes)));
    if (!view)
        throw ::GetLastError();
    return view;
}

uniquehandle level_section()
{
    uniquelocalmem<void> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(level_section_dacl, SDDL_REVISION_1, descriptor.put(), nullptr))
        throw ::GetLastError();
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    return create_section(level_section_bytes, &security);
}

// A handle duplicated into the client's process, closed there again unless released.
class clienthandle {
public:
    clienthandle(HANDLE process, HANDLE own, DWORD access) : process_(process)
    {
        if (!::DuplicateHandle(::GetCurrentProcess(), own, process, &value_, access, FALSE, 0))
            throw ::GetLastError();
    }
    ~clienthandle()
    {
        if (value_)
            ::DuplicateHandle(process_, value_, nullptr, nullptr, 0, FALSE, DUPLICATE_CLOSE_SOURCE);
    }
    clienthandle(const clienthandle&) = delete;
    clienthandle& operator=(const clienthandle&) = delete;

    std::uint64_t release() noexcept { return reinterpret_cast<std::uintptr_t>(std::exchange(value_, nullptr)); }

private:
    HANDLE process_;
    HANDLE value_ = nullptr;
};

} // namespace

channel::channel(std::uint32_t process_id, std::uint64_t ring_bytes, HANDLE wake, clienthandles& handed)
    : process_id_(process_id), process_(::OpenProcess(PROCESS_DUP_HANDLE | SYNCHRONIZE, FALSE, process_id)), wake_(wake),
      sources_(new channelsource[channel_max_sources])
{
    if (!process_)
        throw ::GetLastError();
    ring_section_ = create_section(ring_section_bytes(ring_bytes), nullptr);
    level_section_ = level_section();
    ring_view_ = map_section(ring_section_.get(), ring_section_bytes(ring_bytes));
    level_view_ = map_section(level_section_.get(), level_section_bytes);

    auto& header = *static_cast<ringheader*>(ring_view_.get());
    header.magic = channel_magic;
    header.layout_version = channel_layout_version;
    header.ring_bytes = ring_bytes;
    header.max_record_bytes = max_record_bytes(ring_bytes);
    header.max_sources = channel_max_sources;
    header.reserved = first_position;
    header.drained = first_position;
    reader_ = std::make_unique<ringreader>(static_cast<std::byte*>(ring_view_.get()), ring_bytes);

    clienthandle ring(process_.get(), ring_section_.get(), FILE_MAP_READ | FILE_MAP_WRITE);
    clienthandle levels(process_.get(), level_section_.get(), FILE_MAP_READ);
    clienthandle event(process_.get(), wake, EVENT_MODIFY_STATE);
    if (!::RegisterWaitForSingleObject(wait_.put(), process_.get(), on_process_end, this, INFINITE, WT_EXECUTEONLYONCE))
        throw ::GetLastError();
    handed = {ring.release(), levels.release(), event.release()};
}

void CALLBACK channel::on_process_end(void* self, BOOLEAN) noexcept
{
    static_cast<channel*>(self)->close();
}

void channel::close() noexcept
{
    ended_.store(true, std::memory_order_release);
    ::SetEvent(wake_);
}

std::uint16_t channel::add_source(const sourcekeyref& key, sourcecounters& counters, logsettings& settings)
{
    const sectionguard guard(lock_);
    const std::size_t count = count_.load(std::memory_order_relaxed);
    const auto [entry, added] = slots_.try_emplace(key, static_cast<std::uint16_t>(count));
    if (!added)
        return entry->second;
    if (count == channel_max_sources) {
        slots_.erase(entry);
        throw DWORD{ERROR_TOO_MANY_NAMES};
    }
    sources_[count] = {key, &counters};
    auto* levels = static_cast<std::uint32_t*>(level_view_.get());
    std::atomic_ref<std::uint32_t>(levels[count]).store(settings.level(key->id), std::memory_order_release);
    count_.store(count + 1, std::memory_order_release);
    return entry->second;
}

void channel::publish_levels(logsettings& settings) noexcept
{
    const sectionguard guard(lock_);
    auto* levels = static_cast<std::uint32_t*>(level_view_.get());
    for (std::size_t slot = 0; slot < count_.load(std::memory_order_relaxed); ++slot)
        std::atomic_ref<std::uint32_t>(levels[slot]).store(settings.level(sources_[slot].key->id), std::memory_order_release);
}

} // namespace kvt
