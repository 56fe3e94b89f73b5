#pragma once
// kvtlog client library: the record channel of the process. Statements write whole records
// into a ring in memory shared with the server and read their source's level mask there, so
// a statement makes no call to the server at all. The server drains the ring on its own
// thread; records already written reach the file even when the process dies right after.
//
// One channel serves every thread and every source of the process (of each module that
// includes this library): the first source opens it, the sources share it, and the last one
// to go closes it. Its memory is the server's ring (256 KiB by default) and one page of
// level masks, whatever the number of sources.
//
// Owner: shared by the sources (std::shared_ptr). Threads: any number write and read levels
// at once without a lock; opening and adding sources take the process's channel lock.

#include "kvtlog.h"
#include "kvtlog/com_ptr.h"
#include "kvtlog/error_handler.h"
#include "kvtlog/ring_writer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace kvtlog {

class channel {
public:
    // The process's channel, opened through the service unless one is open already. Null
    // when it cannot be opened (a server without channels, or a failure), which goes to the
    // error handler as "OpenChannel": the caller then logs through COM.
    static std::shared_ptr<channel> of_process(ILogService* service, error_handler on_error) noexcept
    {
        // Guards current; held while a channel is opened, so that threads opening their
        // first sources at once share one channel.
        static std::mutex lock;
        static std::weak_ptr<channel> current;
        try {
            const std::lock_guard<std::mutex> guard(lock);
            if (std::shared_ptr<channel> open = current.lock())
                return open;
            auto made = std::make_shared<channel>();
            if (const HRESULT hr = made->open(service); FAILED(hr)) {
                report(on_error, hr, "OpenChannel");
                return nullptr;
            }
            current = made;
            return made;
        } catch (...) {  // std::bad_alloc, or std::system_error from the lock
            report(on_error, E_OUTOFMEMORY, "OpenChannel");
            return nullptr;
        }
    }

    channel() noexcept = default;
    // Tells the server that no record follows: it writes what the ring holds and frees it.
    ~channel()
    {
        if (com_)
            com_->CloseChannel(id_);
    }
    channel(const channel&) = delete;
    channel& operator=(const channel&) = delete;

    // The slot under which the channel carries the source; none when the server refuses it
    // (every slot taken), which goes to the error handler as "AddChannelSource".
    std::optional<std::uint16_t> add_source(std::uint32_t id, const wchar_t* name, const DWORD* version,
                                            error_handler on_error) noexcept
    {
        DWORD slot = 0;
        const HRESULT hr = com_->AddChannelSource(id_, id, name, version, &slot);
        if (SUCCEEDED(hr) && slot < wire::channel_max_sources)
            return static_cast<std::uint16_t>(slot);
        report(on_error, FAILED(hr) ? hr : E_UNEXPECTED, "AddChannelSource");
        return std::nullopt;
    }

    std::uint32_t level(std::uint16_t slot) const noexcept { return ring_.level(slot); }
    wire::ringwriter& ring() noexcept { return ring_; }

private:
    HRESULT open(ILogService* service) noexcept
    {
        HRESULT hr = service->QueryInterface(IID_ILogChannel, com_.put_void());
        if (FAILED(hr))
            return hr;
        DWORD id = 0;
        ULONGLONG ring = 0, levels = 0, wake = 0;
        hr = com_->OpenChannel(::GetCurrentProcessId(), 0, &id, &ring, &levels, &wake);
        if (FAILED(hr)) {
            com_.reset();
            return hr;
        }
        id_ = id;
        if (!ring_.open(as_handle(ring), as_handle(levels), as_handle(wake)))
            return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);  // the destructor closes the channel
        return S_OK;
    }
    static HANDLE as_handle(ULONGLONG value) noexcept { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

    comptr<ILogChannel> com_;
    DWORD id_ = 0;
    wire::ringwriter ring_;
};

} // namespace kvtlog
