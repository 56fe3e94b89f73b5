#pragma once
// kvtlog client library: one log message under construction, filled with << and committed
// when the object goes away. The values are stored raw in a record on the caller's stack
// (it moves to the heap once it outgrows 512 bytes); the server renders them later, on its
// writer thread. At the end of the statement the record goes into the process's channel
// with one memory write; a record too long for the channel, and every record of a source
// without one, goes through the ILogMessage methods instead, each value to the method of
// its kind.
//
// A message that its source did not create (level switched off, or any failure) is empty:
// every operation on it returns at once and makes no call. Nothing here throws; a call that
// fails is dropped and reported to the error handler, if one was given.
// A message belongs to the thread that made it, and ends before its source.

#include "kvtlog.h"
#include "kvtlog/channel.h"
#include "kvtlog/com_ptr.h"
#include "kvtlog/error_handler.h"
#include "kvtlog/record_builder.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kvtlog {

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
    // Provided rather than defaulted: a disabled statement returns `{}`, and value-initialising
    // a class whose constructor is defaulted first zeroes the whole object, inline buffer and all.
    message() noexcept {}

    // Where a statement is made: texts that live as long as the program, as a
    // std::source_location's do.
    struct location {
        const char* file;
        std::uint32_t line;
        const char* function;
    };

    // A record through the process's channel, for the slot's source at these levels. source:
    // the source's COM object, which takes the record instead when it grows too long for the
    // ring. Both must outlive the message.
    message(channel& through, std::uint16_t slot, ILogSource* source, DWORD levels, const location& at,
            error_handler on_error) noexcept
        : channel_(&through), source_(source), levels_(levels), at_(at), on_error_(on_error)
    {
        record_.emplace(std::span<std::byte>(inline_), slot, levels);
        record_->set_location(at.file, at.line, at.function);
    }

    // A message that the source created through COM; its values go to it when the statement ends.
    message(comptr<ILogMessage> m, const location& at, error_handler on_error) noexcept
        : m_(std::move(m)), at_(at), on_error_(on_error)
    {
        record_.emplace(std::span<std::byte>(inline_), std::uint16_t{0}, DWORD{0});
    }

    message(message&& o) noexcept { take(o); }
    message& operator=(message&& o) noexcept
    {
        if (this != &o) {
            commit();
            take(o);
        }
        return *this;
    }
    ~message() { commit(); }

    // False when the level is off (or the message could not be made): nothing will be logged,
    // so `if (auto m = log.debug()) m << costly();` skips costly() as well.
    explicit operator bool() const noexcept { return record_.has_value(); }

    message& operator<<(bool v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_bool(v); }); }
    message& operator<<(char v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_char(v); }); }
    message& operator<<(wchar_t v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_wchar(v); }); }
    message& operator<<(signed char v) noexcept { return signed_value(v); }
    message& operator<<(unsigned char v) noexcept { return unsigned_value(v); }
    message& operator<<(short v) noexcept { return signed_value(v); }
    message& operator<<(unsigned short v) noexcept { return unsigned_value(v); }
    message& operator<<(int v) noexcept { return signed_value(v); }
    message& operator<<(unsigned int v) noexcept { return unsigned_value(v); }
    message& operator<<(long v) noexcept { return signed_value(v); }
    message& operator<<(unsigned long v) noexcept { return unsigned_value(v); }
    message& operator<<(long long v) noexcept { return signed_value(v); }
    message& operator<<(unsigned long long v) noexcept { return unsigned_value(v); }
    message& operator<<(float v) noexcept { return *this << double(v); }
    message& operator<<(double v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_real(v); }); }
    message& operator<<(const char* v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_string(v); }); }
    message& operator<<(const wchar_t* v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_wstring(v); }); }
    message& operator<<(std::string_view v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_oem(v); }); }
    message& operator<<(std::wstring_view v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_wide(v); }); }
    message& operator<<(const std::string& v) noexcept { return *this << std::string_view(v); }
    message& operator<<(const std::wstring& v) noexcept { return *this << std::wstring_view(v); }
    message& operator<<(hex32 v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_hex32(v.value); }); }
    message& operator<<(hex64 v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_hex64(v.value); }); }
    message& operator<<(errorcode v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_error_code(v.value); }); }

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
        if (record_)
            record_->set_ids(first, second);
        return *this;
    }

private:
    // The record on the caller's stack holds this much before it moves to the heap.
    static constexpr std::size_t inline_bytes = 512;
    // Nor does it grow past this: the values beyond go to the error handler.
    static constexpr std::size_t most_bytes = std::size_t{1} << 30;

    message& signed_value(long long v) noexcept { return add([&](wire::recordbuilder& r) { return r.add_signed(v); }); }
    message& unsigned_value(unsigned long long v) noexcept
    {
        return add([&](wire::recordbuilder& r) { return r.add_unsigned(v); });
    }

    // Adds a value, moving the record into a buffer twice as large for as long as it does
    // not fit.
    template <class Add>
    message& add(Add value) noexcept
    {
        if (!record_)
            return *this;
        while (!value(*record_)) {
            const std::size_t now = heap_ ? heap_bytes_ : inline_bytes;
            std::byte* larger = record_->full_of_values() || now >= most_bytes ? nullptr : new (std::nothrow) std::byte[2 * now];
            if (!larger) {
                report(on_error_, E_OUTOFMEMORY, "message");
                break;
            }
            record_->move_to({larger, 2 * now});
            heap_.reset(larger);
            heap_bytes_ = 2 * now;
        }
        return *this;
    }

    // The channel takes a record that fits its ring; COM takes every other one.
    void commit() noexcept
    {
        if (!record_)
            return;
        const std::span<std::byte> record = record_->record();
        if (channel_ && record.size() <= channel_->ring().max_record_bytes())
            channel_->ring().write(record);
        else
            replay(record);
        record_.reset();
    }

    // Hands the record's values to the COM message, made now for a record too long for the ring.
    void replay(std::span<const std::byte> record) noexcept
    {
        const auto head = read<wire::recordhead>(record, 0);
        if (!m_ && source_) {
            const HRESULT hr = source_->CreateMessage(levels_, IID_ILogMessage, m_.put_void());
            if (FAILED(hr))
                report(on_error_, hr, "CreateMessage");
        }
        if (!m_)
            return;
        call("SetLocation", &ILogMessage::SetLocation, at_.file, DWORD(at_.line), at_.function);
        if (head.firstid || head.secondid)
            call("SetIds", &ILogMessage::SetIds, DWORD(head.firstid), DWORD(head.secondid));
        std::size_t at = sizeof(wire::recordhead);
        if (head.file_bytes != wire::no_location_text || head.function_bytes != wire::no_location_text)
            at += static_cast<std::size_t>(wire::padded8(std::size_t(head.file_bytes % wire::no_location_text) +
                                                         std::size_t(head.function_bytes % wire::no_location_text)));
        for (std::uint16_t i = 0; i < head.values; ++i)
            at = replay_value(record, at);
        m_.reset();
    }

    // One value to its method; the offset of the next.
    std::size_t replay_value(std::span<const std::byte> record, std::size_t at) noexcept
    {
        const auto value = read<wire::valuehead>(record, at);
        const std::byte* payload = record.data() + at + sizeof value;
        const auto number = read<std::uint64_t>(record, at + sizeof value);
        try {
            switch (value.kind) {
            case wire::wirekind::signedint:
                call("AddInt64", &ILogMessage::AddInt64, static_cast<LONGLONG>(number));
                break;
            case wire::wirekind::unsignedint:
                value.radix == 16 && value.min_digits == 8    ? call("AddHex32", &ILogMessage::AddHex32, static_cast<DWORD>(number))
                : value.radix == 16 && value.min_digits == 16 ? call("AddHex64", &ILogMessage::AddHex64, ULONGLONG(number))
                                         : call("AddUInt64", &ILogMessage::AddUInt64, ULONGLONG(number));
                break;
            case wire::wirekind::real:
                call("AddDouble", &ILogMessage::AddDouble, std::bit_cast<double>(number));
                break;
            case wire::wirekind::errorcode:
                call("AddErrorCode", &ILogMessage::AddErrorCode, static_cast<DWORD>(number));
                break;
            case wire::wirekind::widetext:
                call("AddWString", &ILogMessage::AddWString, std::wstring(reinterpret_cast<const wchar_t*>(payload), value.length).c_str());
                return at + sizeof value + static_cast<std::size_t>(wire::padded8(value.length * sizeof(wchar_t)));
            case wire::wirekind::oemtext:
                call("AddString", &ILogMessage::AddString, std::string(reinterpret_cast<const char*>(payload), value.length).c_str());
                return at + sizeof value + static_cast<std::size_t>(wire::padded8(value.length));
            }
        } catch (const std::bad_alloc&) {
            report(on_error_, E_OUTOFMEMORY, "message");
        }
        return at + sizeof value + 8;
    }

    template <class T>
    static T read(std::span<const std::byte> record, std::size_t at) noexcept
    {
        T value{};
        std::memcpy(&value, record.data() + at, std::min(sizeof value, record.size() - std::min(at, record.size())));
        return value;
    }

    template <class Method, class... Args>
    void call(const char* operation, Method method, Args... args) noexcept
    {
        const HRESULT hr = (m_.get()->*method)(args...);
        if (FAILED(hr))
            report(on_error_, hr, operation);
    }

    // Takes over the other's statement, and its record into this one's buffer unless it is
    // on the heap.
    void take(message& o) noexcept
    {
        channel_ = o.channel_;
        source_ = o.source_;
        m_ = std::move(o.m_);
        levels_ = o.levels_;
        at_ = o.at_;
        on_error_ = o.on_error_;
        heap_ = std::move(o.heap_);
        heap_bytes_ = o.heap_bytes_;
        record_ = std::move(o.record_);
        o.record_.reset();
        if (record_ && !heap_)
            record_->move_to(std::span<std::byte>(inline_));
    }

    channel* channel_ = nullptr;
    ILogSource* source_ = nullptr;
    comptr<ILogMessage> m_;
    DWORD levels_ = 0;
    location at_{};
    error_handler on_error_ = nullptr;
    std::optional<wire::recordbuilder> record_;  // empty: nothing to log
    std::unique_ptr<std::byte[]> heap_;
    std::size_t heap_bytes_ = 0;
    alignas(8) std::byte inline_[inline_bytes];
};

} // namespace kvtlog
