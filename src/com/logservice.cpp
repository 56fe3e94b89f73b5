#include "com/logservice.h"

#include "com/com_boundary.h"
#include "com/level_names.h"
#include "com/logsource.h"
#include "com/server_lock.h"
#include "com/task_string.h"
#include "core/levels.h"

#include <limits>

namespace kvt {

namespace {

constexpr catches setting_changes = catches::memory | catches::win32 | catches::other;

// The process of the COM client making the call; 0 for a call without RPC, from the server's
// own process, which is trusted.
std::uint32_t calling_process() noexcept
{
    unsigned long caller = 0;
    return ::I_RpcBindingInqLocalClientPID(nullptr, &caller) == RPC_S_OK ? caller : 0;
}

// Records waiting for the forwarder: about as many as a second of heavy logging gives, so
// that a collector that pauses briefly loses none.
constexpr std::size_t forward_queue_records = 16384;

} // namespace

logservice::logservice()
    : forward_queue_(forward_queue_records), forwarder_(forward_queue_, computer_name()),
      writer_(settings_, &forward_queue_), channels_(writer_, settings_)
{
    forwarder_.configure(settings_.forward_target());
}

HRESULT STDMETHODCALLTYPE logservice::QueryInterface(REFIID riid, void** object) noexcept
{
    if (riid == IID_IUnknown || riid == IID_ILogService)
        *object = static_cast<ILogService*>(this);
    else if (riid == IID_ILogControl)
        *object = static_cast<ILogControl*>(this);
    else if (riid == IID_ILogAdmin)
        *object = static_cast<ILogAdmin*>(this);
    else if (riid == IID_ILogChannel)
        *object = static_cast<ILogChannel*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE logservice::AddRef() noexcept { return add_server_lock(); }

ULONG STDMETHODCALLTYPE logservice::Release() noexcept { return release_server_lock(); }

HRESULT STDMETHODCALLTYPE logservice::CreateSource(DWORD sourceId, LPCWSTR name, const DWORD* version, REFIID riid,
                                                   void** source) noexcept
{
    *source = nullptr;
    if (!name)
        return E_INVALIDARG;
    if (riid != IID_ILogSource)
        return E_NOINTERFACE;
    return com_boundary(catches::memory | catches::hresult | catches::other, [&] {
        const std::uint32_t numbers[4] = {version[0], version[1], version[2], version[3]};
        sourcecounters& counters = counters_.of(sourceId);
        *source = static_cast<ILogSource*>(sources_.acquire(*this, counters, sourceId, numbers, name));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::GetDefaultLimit(DWORD* sizeKiB, DWORD* files) noexcept
{
    return GetLimit(default_source_id, sizeKiB, files);
}

HRESULT STDMETHODCALLTYPE logservice::SetDefaultLimit(DWORD sizeKiB, DWORD files) noexcept
{
    return SetLimit(default_source_id, sizeKiB, files);
}

HRESULT STDMETHODCALLTYPE logservice::GetLimit(DWORD sourceId, DWORD* sizeKiB, DWORD* files) noexcept
{
    const limitrecord limit = settings_.limit(sourceId);
    *sizeKiB = limit.size_kib;
    *files = limit.files;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logservice::SetLimit(DWORD sourceId, DWORD sizeKiB, DWORD files) noexcept
{
    if (files > std::numeric_limits<std::uint8_t>::max())
        return E_INVALIDARG;
    return com_boundary(setting_changes, [&] {
        // A smaller size applies to files already open only once they are reopened.
        if (settings_.set_limit(sourceId, {sizeKiB, static_cast<std::uint8_t>(files)}))
            post(WM_LOGCLOSEID, 0, static_cast<LPARAM>(sourceId));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::GetStripPaths(boolean* strip) noexcept
{
    *strip = TRUE;
    return S_OK;
}

// Directories are always cut off source file names; the switch cannot be turned off.
HRESULT STDMETHODCALLTYPE logservice::SetStripPaths(boolean strip) noexcept { return strip ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE logservice::GetLogPath(LPWSTR* path) noexcept
{
    *path = nullptr;
    return com_boundary(setting_changes, [&] {
        if (const pathref directory = settings_.log_path())
            *path = task_string(directory.get()).release();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::SetLogPath(LPCWSTR path) noexcept
{
    return com_boundary(setting_changes, [&] {
        // Every file moves to the new directory when its source next writes.
        if (settings_.set_log_path(path))
            post(WM_LOGCLOSESOURCE, 0, 0);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::GetDefaultLevel(DWORD* mask) noexcept
{
    return GetLevel(default_source_id, mask);
}

HRESULT STDMETHODCALLTYPE logservice::SetDefaultLevel(DWORD mask) noexcept
{
    return SetLevel(default_source_id, mask);
}

HRESULT STDMETHODCALLTYPE logservice::GetLevel(DWORD sourceId, DWORD* mask) noexcept
{
    *mask = settings_.level(sourceId);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logservice::SetLevel(DWORD sourceId, DWORD mask) noexcept
{
    return com_boundary(setting_changes, [&] {
        // An id switched off writes nothing more, so its files need not stay open.
        const bool changed = settings_.set_level(sourceId, mask);
        // Channel clients see the change from their next statement on.
        if (changed)
            channels_.publish_levels();
        if (changed && sourceId != default_source_id && !(mask & all_levels))
            post(WM_LOGCLOSEID, 0, static_cast<LPARAM>(sourceId));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::Reserved1(ULONG_PTR* reserved) noexcept
{
    *reserved = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE logservice::Reserved2() noexcept { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE logservice::Suspend(boolean suspend) noexcept
{
    if (!writer_.running())
        return E_FAIL;
    if (!suspend)
        return post(WM_LOGSUSPEND, 0, 0) ? S_OK : E_FAIL;
    // Records committed to a channel before the call are the writer's before it suspends.
    channels_.flush();
    // The writer sets the event once it has closed every file and discards records.
    const uniquehandle suspended(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!suspended)
        return hresult_from_win32(::GetLastError());
    if (!post(WM_LOGSUSPEND, reinterpret_cast<WPARAM>(suspended.get()), 0))
        return E_FAIL;
    ::WaitForSingleObject(suspended.get(), INFINITE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logservice::ParseSourceId(LPCWSTR text, DWORD* sourceId) noexcept
{
    *sourceId = 0;
    const std::optional<std::uint32_t> id = parse_source_id(text);
    if (!id)
        return E_INVALIDARG;
    *sourceId = *id;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logservice::FormatSourceId(DWORD sourceId, LPWSTR* text) noexcept
{
    // The out string is written only on success.
    return com_boundary(catches::memory | catches::other, [&] {
        *text = task_string(source_id_text(sourceId).c_str()).release();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::ParseLevels(LPCWSTR text, DWORD* mask) noexcept
{
    *mask = 0;
    return com_boundary(catches::other, [&] {
        if (!text)
            return S_OK;
        std::uint32_t bits = 0;
        const bool parsed = parse_level_names(text, bits);
        *mask = bits;
        return parsed ? S_OK : E_INVALIDARG;
    });
}

HRESULT STDMETHODCALLTYPE logservice::FormatLevels(DWORD mask, LPWSTR* text) noexcept
{
    *text = nullptr;
    return com_boundary(catches::memory | catches::other, [&] {
        *text = task_string(level_names(mask).c_str()).release();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::GetCounters(DWORD fromId, DWORD* sourceId, LogCounters* counters) noexcept
{
    *sourceId = 0;
    *counters = {};
    return com_boundary(catches::other, [&] {
        const auto found = counters_.read_from(fromId);
        if (!found)
            return S_FALSE;
        const countersnapshot& c = found->second;
        *sourceId = found->first;
        *counters = {c.committed, c.written,  c.bytes,    c.rotations, c.suspended, c.nofile,
                     c.refused,   c.ringfull, c.lost,     c.queued(),  c.forwarded, c.forwardfull,
                     c.forwardlost};
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::SetForwarding(LPCWSTR host, DWORD port, DWORD facility, DWORD levels) noexcept
{
    const bool on = host && *host;
    if (on && (port == 0 || port > 0xFFFF || facility > max_facility))
        return E_INVALIDARG;
    return com_boundary(setting_changes, [&] {
        forwardtarget target;
        if (on)
            target = {host, static_cast<std::uint16_t>(port), facility, levels};
        const sectionguard guard(forward_lock_);
        settings_.set_forward_target(target);
        forwarder_.configure(target);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::GetForwarding(LPWSTR* host, DWORD* port, DWORD* facility, DWORD* levels,
                                                    LogForwardState* state) noexcept
{
    *host = nullptr;
    *port = *facility = *levels = 0;
    *state = {};
    return com_boundary(catches::memory | catches::other, [&] {
        const forwardtarget target = forwarder_.target();
        const forwardstate now = forwarder_.state();
        if (target.on())
            *host = task_string(target.host.c_str()).release();
        *port = target.port;
        *facility = target.facility;
        *levels = target.levels;
        *state = {now.connected, now.retrying_since, now.last_error};
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::OpenChannel(DWORD processId, DWORD ringKiB, DWORD* channelId, ULONGLONG* ringSection,
                                                  ULONGLONG* levelSection, ULONGLONG* wakeEvent) noexcept
{
    *channelId = 0;
    *ringSection = *levelSection = *wakeEvent = 0;
    // A channel is for the caller's own process: a call from another process that names one
    // not its own is refused.
    const std::uint32_t caller = calling_process();
    if (caller != 0 && caller != processId)
        return E_ACCESSDENIED;
    return com_boundary(catches::memory | catches::win32 | catches::other, [&] {
        const auto [id, handles] = channels_.open(processId, ringKiB);
        *channelId = id;
        *ringSection = handles.ring;
        *levelSection = handles.levels;
        *wakeEvent = handles.wake;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::AddChannelSource(DWORD channelId, DWORD sourceId, LPCWSTR name,
                                                       const DWORD* version, DWORD* slot) noexcept
{
    *slot = 0;
    if (!name)
        return E_INVALIDARG;
    return com_boundary(catches::memory | catches::win32 | catches::other, [&] {
        const std::uint32_t numbers[4] = {version[0], version[1], version[2], version[3]};
        *slot = channels_.add_source(channelId, calling_process(), make_sourcekey(sourceId, numbers, name),
                                     counters_.of(sourceId));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logservice::CloseChannel(DWORD channelId) noexcept
{
    return com_boundary(catches::win32, [&] {
        channels_.close(channelId, calling_process());
        return S_OK;
    });
}

} // namespace kvt
