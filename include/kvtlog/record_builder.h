#pragma once
// A channel record under construction in the caller's buffer (on its stack), in the layout of
// channel_layout.h. Each add mirrors the COM method of the same value, so that a statement
// gives the same line through either road: the server renders what these write exactly as it
// renders what the methods store.
//
// Owner: the statement; one thread. Nothing here allocates, throws or takes a lock. An add
// that does not fit returns false and leaves the record as it was, so that the caller can
// move it into a larger buffer and add again.

#include "kvtlog/channel_layout.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace kvtlog::wire {

class recordbuilder {
public:
    // Starts a record of the slot's source with the client's time now and no location.
    // buffer: aligned to 8 bytes, at least sizeof(recordhead) long.
    recordbuilder(std::span<std::byte> buffer, std::uint16_t slot, std::uint32_t level) noexcept : buffer_(buffer)
    {
        recordhead head{};
        head.slot = slot;
        head.level = level;
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        head.time = std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
        head.file_bytes = head.function_bytes = no_location_text;
        std::memcpy(buffer.data(), &head, sizeof head);
    }

    // Goes on in a larger buffer (aligned to 8 bytes), with what the record holds so far.
    void move_to(std::span<std::byte> larger) noexcept
    {
        std::memcpy(larger.data(), buffer_.data(), size_);
        buffer_ = larger;
    }

    // As SetIds and SetLocation. The location goes right after the head, so it comes before
    // any value; a null text is none.
    void set_ids(std::uint32_t first, std::uint32_t second) noexcept
    {
        head().firstid = first;
        head().secondid = second;
    }
    bool set_location(const char* file, std::uint32_t line, const char* function) noexcept
    {
        const std::size_t file_bytes = file ? std::strlen(file) : 0, function_bytes = function ? std::strlen(function) : 0;
        if (size_ != sizeof(recordhead) || file_bytes >= no_location_text || function_bytes >= no_location_text ||
            !room(padded8(file_bytes + function_bytes)))
            return false;
        head().line = line;
        head().file_bytes = file ? static_cast<std::uint16_t>(file_bytes) : no_location_text;
        head().function_bytes = function ? static_cast<std::uint16_t>(function_bytes) : no_location_text;
        append(file, file_bytes);
        append(function, function_bytes);
        pad();
        return true;
    }

    bool add_signed(std::int64_t v, std::uint8_t radix = 10, std::uint16_t digits = 0) noexcept { return number(wirekind::signedint, &v, radix, digits); }
    bool add_unsigned(std::uint64_t v, std::uint8_t radix = 10, std::uint16_t digits = 0) noexcept { return number(wirekind::unsignedint, &v, radix, digits); }
    bool add_real(double v) noexcept { return number(wirekind::real, &v, 0, 0); }
    bool add_hex32(std::uint32_t v) noexcept { return add_unsigned(v, 16, 8); }
    bool add_hex64(std::uint64_t v) noexcept { return add_unsigned(v, 16, 16); }
    bool add_error_code(std::uint32_t code) noexcept
    {
        const std::uint64_t v = code;
        return number(wirekind::errorcode, &v, 0, 0);
    }
    bool add_bool(bool v) noexcept { return add_wide(v ? L"true" : L"false"); }
    bool add_char(char c) noexcept { return add_oem({&c, 1}); }
    bool add_wchar(wchar_t c) noexcept { return add_wide({&c, 1}); }
    // Up to the first NUL, as the methods take a NUL-terminated text; null is "(null)".
    bool add_string(const char* text) noexcept { return text ? add_oem(text) : add_wide(L"(null)"); }
    bool add_wstring(const wchar_t* text) noexcept { return add_wide(text ? text : L"(null)"); }
    bool add_oem(std::string_view text) noexcept { return add_text(wirekind::oemtext, text.substr(0, text.find('\0'))); }
    bool add_wide(std::wstring_view text) noexcept { return add_text(wirekind::widetext, text.substr(0, text.find(L'\0'))); }

    // The whole record, its length in the head.
    std::span<std::byte> record() noexcept
    {
        head().bytes = static_cast<std::uint32_t>(size_);
        return buffer_.first(size_);
    }
    // True once the record holds as many values as a record can carry.
    bool full_of_values() const noexcept { return reinterpret_cast<const recordhead*>(buffer_.data())->values == 0xFFFF; }

private:
    recordhead& head() noexcept { return *reinterpret_cast<recordhead*>(buffer_.data()); }

    bool number(wirekind kind, const void* value, std::uint8_t radix, std::uint16_t digits) noexcept
    {
        const valuehead value_head{kind, radix, digits, 0};
        if (!room(sizeof value_head + 8))
            return false;
        append(&value_head, sizeof value_head);
        append(value, 8);
        ++head().values;
        return true;
    }

    template <class Char>
    bool add_text(wirekind kind, std::basic_string_view<Char> text) noexcept
    {
        const std::size_t bytes = text.size() * sizeof(Char);
        const valuehead value_head{kind, 0, 0, static_cast<std::uint32_t>(text.size())};
        if (text.size() > 0xFFFFFFFF || !room(sizeof value_head + padded8(bytes)))
            return false;
        append(&value_head, sizeof value_head);
        append(text.data(), bytes);
        pad();
        ++head().values;
        return true;
    }

    bool room(std::size_t bytes) noexcept { return bytes <= buffer_.size() - size_ && head().values < 0xFFFF; }
    void append(const void* from, std::size_t bytes) noexcept
    {
        if (bytes)
            std::memcpy(buffer_.data() + size_, from, bytes);
        size_ += bytes;
    }
    void pad() noexcept
    {
        static constexpr std::byte zeros[8]{};
        append(zeros, static_cast<std::size_t>(padded8(size_) - size_));
    }

    std::span<std::byte> buffer_;
    std::size_t size_ = sizeof(recordhead);
};

} // namespace kvtlog::wire
