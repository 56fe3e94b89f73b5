#pragma once
// kvtlog client library. A program joins COM, opens its source once and logs through it
// from any thread:
//
//     kvtlog::apartment com;
//     const kvtlog::source log{7, L"MyApp", {1, 0, 0, 0}};
//     log.info() << "opened " << path << " in " << ms << " ms";
//
// Each statement reads its source's level mask in the process's channel (channel.h); when the
// level is switched off that one read is all the statement costs. The message records the
// caller's file, line and function, collects the values on the caller's stack, and writes
// them into the channel as one record at the end of the statement. Where no channel can be
// opened, the library says so to the error handler and logs through the COM methods.
//
// Nothing here throws or ends the program: a call that fails is dropped and reported to the
// error handler, if one was given; a source that could not be opened logs nothing.
// kvtlog::explain() tells a handler what an incomplete installation's failures mean.

#include "kvtlog.h"
#include "kvtlog/channel.h"
#include "kvtlog/com_ptr.h"
#include "kvtlog/explain.h"
#include "kvtlog/message.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <source_location>

namespace kvtlog {

// A message's level; several may be combined with |.
enum class level : std::uint32_t {
    fatal = 0x01,
    error = 0x02,
    warning = 0x04,
    event = 0x08,
    info = 0x10,
    debug = 0x20,
    trace = 0x40,
};

constexpr level operator|(level a, level b) noexcept
{
    return level(std::uint32_t(a) | std::uint32_t(b));
}

// The four parts of a source's version, as in its file names: name-1.2.3.4.TXT.
using version = std::array<DWORD, 4>;

// Joins the calling thread to COM's multithreaded apartment for the object's life. Every
// thread that shares one source must be in the multithreaded apartment.
class apartment {
public:
    apartment() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~apartment()
    {
        if (SUCCEEDED(hr_))
            ::CoUninitialize();
    }
    apartment(const apartment&) = delete;
    apartment& operator=(const apartment&) = delete;

    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

// The logging service of the machine, started by COM when it is not running yet. Keeping
// it (or any source) keeps the server running.
class service {
public:
    explicit service(error_handler on_error = nullptr) noexcept : on_error_(on_error)
    {
        const HRESULT hr = ::CoCreateInstance(CLSID_LogService, nullptr, CLSCTX_LOCAL_SERVER,
                                              IID_ILogService, p_.put_void());
        if (FAILED(hr))
            report(on_error_, hr, "CoCreateInstance");
    }

    explicit operator bool() const noexcept { return static_cast<bool>(p_); }
    ILogService* get() const noexcept { return p_.get(); }
    error_handler on_error() const noexcept { return on_error_; }

private:
    comptr<ILogService> p_;
    error_handler on_error_;
};

// One log source: an id (its level and size limit are set per id), a name and a version,
// which name its files. Open it once and share it; its const members may be called from
// many threads at once.
class source {
public:
    source() noexcept = default;

    // Opens the source through a service of its own.
    source(std::uint32_t id, const wchar_t* name, const version& v, error_handler on_error = nullptr) noexcept
        : source(service(on_error), id, name, v)
    {
    }

    // Takes over a source pointer obtained by other means.
    explicit source(comptr<ILogSource> adopted, error_handler on_error = nullptr) noexcept
        : p_(std::move(adopted)), on_error_(on_error)
    {
    }

    // Opens the source through an existing service; failures go to the service's handler.
    source(const service& svc, std::uint32_t id, const wchar_t* name, const version& v) noexcept
        : on_error_(svc.on_error())
    {
        if (!svc)
            return;
        const HRESULT hr = svc.get()->CreateSource(id, name, v.data(), IID_ILogSource, p_.put_void());
        if (FAILED(hr)) {
            report(on_error_, hr, "CreateSource");
            return;
        }
        channel_ = channel::of_process(svc.get(), on_error_);
        if (channel_)
            slot_ = channel_->add_source(id, name, v.data(), on_error_);
        if (!slot_)
            channel_.reset();
    }

    explicit operator bool() const noexcept { return static_cast<bool>(p_); }
    ILogSource* get() const noexcept { return p_.get(); }

    // A message at these levels, located at the caller; empty when none of them is on.
    message operator()(level levels, std::source_location at = std::source_location::current()) const noexcept
    {
        if (channel_) {
            if (!(channel_->level(*slot_) & DWORD(levels)))
                return {};
            return message(*channel_, *slot_, p_.get(), DWORD(levels), {at.file_name(), at.line(), at.function_name()},
                           on_error_);
        }
        if (!p_)
            return {};
        comptr<ILogMessage> m;
        const HRESULT hr = p_->CreateMessage(DWORD(levels), IID_ILogMessage, m.put_void());
        if (FAILED(hr))
            report(on_error_, hr, "CreateMessage");
        if (hr != S_OK || !m)
            return {};
        return message(std::move(m), {at.file_name(), at.line(), at.function_name()}, on_error_);
    }

    message fatal(std::source_location at = std::source_location::current()) const noexcept { return (*this)(level::fatal, at); }
    message error(std::source_location at = std::source_location::current()) const noexcept { return (*this)(level::error, at); }
    message warning(std::source_location at = std::source_location::current()) const noexcept { return (*this)(level::warning, at); }
    message event(std::source_location at = std::source_location::current()) const noexcept { return (*this)(level::event, at); }
    message info(std::source_location at = std::source_location::current()) const noexcept { return (*this)(level::info, at); }
    message debug(std::source_location at = std::source_location::current()) const noexcept { return (*this)(level::debug, at); }
    message trace(std::source_location at = std::source_location::current()) const noexcept { return (*this)(level::trace, at); }

private:
    comptr<ILogSource> p_;
    error_handler on_error_ = nullptr;
    // The process's channel and the source's slot in it; none when the source logs through
    // COM (no channel could be opened, or the source was adopted).
    std::shared_ptr<channel> channel_;
    std::optional<std::uint16_t> slot_;
};

} // namespace kvtlog
