#pragma once
// The one service object of the server process: ILogService and ILogChannel for logging
// clients, ILogControl and ILogAdmin for administrative ones, interface pointers of one object.
//
// Owner: the class factory, by value; it lives from before the factory is registered until
// the process stops, longer than any source or message. Threads: COM worker threads call
// every method concurrently; the main thread constructs and destroys it. It adds no lock:
// the settings store and the source table guard themselves, and no method holds a lock
// while it posts to the writer thread or while Suspend waits. It has no count of its own:
// AddRef and Release act on the server lock.

#include "channel/channel_set.h"
#include "com/source_table.h"
#include "forward/forwarder.h"
#include "settings/log_settings.h"
#include "writer/counters.h"
#include "writer/forward_queue.h"
#include "writer/writer_thread.h"

#include <kvtlog.h>

#include <memory>
#include <utility>

namespace kvt {

class logservice final : public ILogService, public ILogControl, public ILogAdmin, public ILogChannel {
public:
    // Opens the settings, starts the forwarder with the stored target, then starts the writer
    // thread and returns once it is ready, then the channels' drain thread. Throws
    // std::bad_alloc, or the Win32 or Winsock code (DWORD) when a thread cannot start.
    logservice();
    // Drains every channel into the writer, then stops the writer thread after everything
    // posted before has been handled, then the forwarder.
    ~logservice() = default;
    logservice(const logservice&) = delete;
    logservice& operator=(const logservice&) = delete;

    // IUnknown, shared by both interfaces. IUnknown yields the ILogService pointer.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // ILogService
    HRESULT STDMETHODCALLTYPE CreateSource(DWORD sourceId, LPCWSTR name, const DWORD* version, REFIID riid,
                                           void** source) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDefaultLimit(DWORD* sizeKiB, DWORD* files) noexcept override;
    HRESULT STDMETHODCALLTYPE SetDefaultLimit(DWORD sizeKiB, DWORD files) noexcept override;
    HRESULT STDMETHODCALLTYPE GetLimit(DWORD sourceId, DWORD* sizeKiB, DWORD* files) noexcept override;
    HRESULT STDMETHODCALLTYPE SetLimit(DWORD sourceId, DWORD sizeKiB, DWORD files) noexcept override;
    HRESULT STDMETHODCALLTYPE GetStripPaths(boolean* strip) noexcept override;
    HRESULT STDMETHODCALLTYPE SetStripPaths(boolean strip) noexcept override;

    // ILogControl
    HRESULT STDMETHODCALLTYPE GetLogPath(LPWSTR* path) noexcept override;
    HRESULT STDMETHODCALLTYPE SetLogPath(LPCWSTR path) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDefaultLevel(DWORD* mask) noexcept override;
    HRESULT STDMETHODCALLTYPE SetDefaultLevel(DWORD mask) noexcept override;
    HRESULT STDMETHODCALLTYPE GetLevel(DWORD sourceId, DWORD* mask) noexcept override;
    HRESULT STDMETHODCALLTYPE SetLevel(DWORD sourceId, DWORD mask) noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved1(ULONG_PTR* reserved) noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved2() noexcept override;
    HRESULT STDMETHODCALLTYPE Suspend(boolean suspend) noexcept override;
    HRESULT STDMETHODCALLTYPE ParseSourceId(LPCWSTR text, DWORD* sourceId) noexcept override;
    HRESULT STDMETHODCALLTYPE FormatSourceId(DWORD sourceId, LPWSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE ParseLevels(LPCWSTR text, DWORD* mask) noexcept override;
    HRESULT STDMETHODCALLTYPE FormatLevels(DWORD mask, LPWSTR* text) noexcept override;

    // ILogAdmin
    HRESULT STDMETHODCALLTYPE GetCounters(DWORD fromId, DWORD* sourceId, LogCounters* counters) noexcept override;
    HRESULT STDMETHODCALLTYPE SetForwarding(LPCWSTR host, DWORD port, DWORD facility, DWORD levels) noexcept override;
    HRESULT STDMETHODCALLTYPE GetForwarding(LPWSTR* host, DWORD* port, DWORD* facility, DWORD* levels,
                                            LogForwardState* state) noexcept override;

    // ILogChannel
    HRESULT STDMETHODCALLTYPE OpenChannel(DWORD processId, DWORD ringKiB, DWORD* channelId, ULONGLONG* ringSection,
                                          ULONGLONG* levelSection, ULONGLONG* wakeEvent) noexcept override;
    HRESULT STDMETHODCALLTYPE AddChannelSource(DWORD channelId, DWORD sourceId, LPCWSTR name, const DWORD* version,
                                               DWORD* slot) noexcept override;
    HRESULT STDMETHODCALLTYPE CloseChannel(DWORD channelId) noexcept override;

    // For the service's own source and message objects.
    sourcetable& sources() noexcept { return sources_; }
    const logsettings& settings() const noexcept { return settings_; }
    countertable& counters() noexcept { return counters_; }
    bool post(UINT message, WPARAM wparam, LPARAM lparam) const noexcept
    {
        return writer_.post(message, wparam, lparam);
    }
    void commit(std::unique_ptr<postedrecord> posted) const noexcept { writer_.commit(std::move(posted)); }
    template <class Payload>
    bool post(UINT message, std::unique_ptr<Payload> payload) const noexcept
    {
        return writer_.post(message, std::move(payload));
    }

private:
    // Constructed in this order and destroyed in reverse: the drain thread hands its last
    // records to the writer before the writer stops, the writer thread stops before the
    // forwarder it feeds, and all before the tables and the settings they read go away.
    // forward_lock_ keeps the stored target and the forwarder's in step.
    logsettings settings_;
    countertable counters_;
    sourcetable sources_;
    criticalsection forward_lock_;
    forwardqueue forward_queue_;
    forwarder forwarder_;
    writerthread writer_;
    channelset channels_;
};

} // namespace kvt
