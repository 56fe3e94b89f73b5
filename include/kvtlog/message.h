#pragma once
// kvtlog client library: one log message under construction, filled with << and committed
// when the object goes away. Each C++ type goes to the ILogMessage method of its own width
// and signedness; the server renders the values later, on its writer thread.
//
// A message that its source did not create (level switched off, or any failure) is empty:
// every operation on it returns at once and makes no call. Nothing here throws; a call that
// fails is dropped and reported to the error handler, if one was given.
// A message belongs to the thread that made it.

#include "kvtlog.h"
#include "kvtlog/com_ptr.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace kvtlog {

// Told about every call that failed: its HRESULT and the method's name ("AddInt32",
// "CreateMessage", ...). May be called on any thread that logs; should not throw (what it
// throws is swallowed).
using error_handler = void (*)(HRESULT hr, const char* operation);

inline void report(error_handler on_error, HRESULT hr, const char* operation) noexcept
{
    if (!on_error)
        return;
    try {
        on_error(hr, operation);
    } catch (...) {
    }
}

// Values that are written differently from their type's usual form.
struct hex32 {                  // exactly 8 upper-case hexadecimal digits
    constexpr explicit hex32(std::uint32_t v) noexcept : value(v) {}
    std::uint32_t value;
};
struct hex64 {                  // exactly 16 upper-case hexadecimal digits
    constexpr explicit hex64(std::uint64_t v) noexcept : value(v) {}
    std::uint64_t value;
};
struct errorcode {             // a Win32 code or HRESULT as 8 hex digits and its system text
    constexpr explicit errorcode(std::uint32_t v) noexcept : value(v) {}
    std::uint32_t value;
};

class message {
public:
    message() noexcept = default;
    message(comptr<ILogMessage> m, error_handler on_error) noexcept : m_(std::move(m)), on_error_(on_error) {}
    message(message&&) noexcept = default;
    message& operator=(message&&) noexcept = default;

    // False when the level is off (or the message could not be made): nothing will be logged,
    // so `if (auto m = log.debug()) m << costly();` skips costly() as well.
    explicit operator bool() const noexcept { return static_cast<bool>(m_); }
    ILogMessage* get() const noexcept { return m_.get(); }

    message& operator<<(bool v) noexcept { return call("AddBool", &ILogMessage::AddBool, boolean(v ? 1 : 0)); }
    message& operator<<(char v) noexcept { return call("AddChar", &ILogMessage::AddChar, v); }
    message& operator<<(wchar_t v) noexcept { return call("AddWChar", &ILogMessage::AddWChar, v); }
    message& operator<<(signed char v) noexcept { return call("AddInt8", &ILogMessage::AddInt8, v); }
    message& operator<<(unsigned char v) noexcept { return call("AddUInt8", &ILogMessage::AddUInt8, v); }
    message& operator<<(short v) noexcept { return call("AddInt16", &ILogMessage::AddInt16, v); }
    message& operator<<(unsigned short v) noexcept { return call("AddUInt16", &ILogMessage::AddUInt16, v); }
    message& operator<<(int v) noexcept { return call("AddInt32", &ILogMessage::AddInt32, LONG(v)); }
    message& operator<<(unsigned int v) noexcept { return call("AddUInt32", &ILogMessage::AddUInt32, DWORD(v)); }
    message& operator<<(long v) noexcept { return call("AddLong", &ILogMessage::AddLong, v); }
    message& operator<<(unsigned long v) noexcept { return call("AddULong", &ILogMessage::AddULong, v); }
    message& operator<<(long long v) noexcept { return call("AddInt64", &ILogMessage::AddInt64, v); }
    message& operator<<(unsigned long long v) noexcept { return call("AddUInt64", &ILogMessage::AddUInt64, v); }
    message& operator<<(float v) noexcept { return call("AddFloat", &ILogMessage::AddFloat, v); }
    message& operator<<(double v) noexcept { return call("AddDouble", &ILogMessage::AddDouble, v); }
    message& operator<<(const char* v) noexcept { return call("AddString", &ILogMessage::AddString, v); }
    message& operator<<(const wchar_t* v) noexcept { return call("AddWString", &ILogMessage::AddWString, v); }
    message& operator<<(const std::string& v) noexcept { return *this << v.c_str(); }
    message& operator<<(const std::wstring& v) noexcept { return *this << v.c_str(); }
    message& operator<<(std::string_view v) noexcept { return terminated<std::string>("AddString", v); }
    message& operator<<(std::wstring_view v) noexcept { return terminated<std::wstring>("AddWString", v); }
    message& operator<<(hex32 v) noexcept { return call("AddHex32", &ILogMessage::AddHex32, DWORD(v.value)); }
    message& operator<<(hex64 v) noexcept { return call("AddHex64", &ILogMessage::AddHex64, ULONGLONG(v.value)); }
    message& operator<<(errorcode v) noexcept { return call("AddErrorCode", &ILogMessage::AddErrorCode, DWORD(v.value)); }

    // Types without a method of their own are refused rather than converted behind the
    // caller's back (a pointer would become a bool, a char16_t a number).
    message& operator<<(const void*) = delete;
    message& operator<<(std::nullptr_t) = delete;
    message& operator<<(long double) = delete;
    message& operator<<(char8_t) = delete;
    message& operator<<(char16_t) = delete;
    message& operator<<(char32_t) = delete;

    // Two numbers of the caller's choosing, shown as first/second on the line.
    message& ids(std::uint32_t first, std::uint32_t second) noexcept
    {
        return call("SetIds", &ILogMessage::SetIds, DWORD(first), DWORD(second));
    }

    template <class Method, class... Args>
    message& call(const char* operation, Method method, Args... args) noexcept
    {
        if (m_) {
            const HRESULT hr = (m_.get()->*method)(args...);
            if (FAILED(hr))
                report(on_error_, hr, operation);
        }
        return *this;
    }

private:
    // The methods take NUL-terminated texts; a view is copied into one first.
    template <class String, class View>
    message& terminated(const char* operation, View v) noexcept
    {
        if (!m_)
            return *this;
        try {
            return *this << String(v).c_str();
        } catch (const std::bad_alloc&) {
            report(on_error_, E_OUTOFMEMORY, operation);
            return *this;
        }
    }

    comptr<ILogMessage> m_;
    error_handler on_error_ = nullptr;
};

} // namespace kvtlog
