#pragma once
// A channel record under construction in the caller's buffer (on its stack), in the layout of
// channel_layout.h. Each add mirrors the COM method of the same value, so that a statement
// gives the same line through either road: the server renders what these write exactly as it
// renders what the methods store.
//
// Owner: the statement; one thread. Nothing here allocates, throws or takes a lock. A value
// that does not fit any more makes the record overflow: record() is then empty.

#include "channel/channel_layout.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <span>
#include <string_view>

namespace kvt {

class recordbuilder {
public:
    // Starts a record of the slot's source with the client's time now and no location.
    // buffer: aligned to 8 bytes.
    recordbuilder(std::span<std::byte> buffer, std::uint16_t slot, std::uint32_t level) noexcept : buffer_(buffer)
    {
        if (buffer.size() < sizeof(recordhead)) {
            overflowed_ = true;
            return;
        }
        recordhead head{};
        head.slot = slot;
        head.level = level;
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        head.time = std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
        head.file_bytes = head.function_bytes = no_location_text;
        std::memcpy(buffer.data(), &head, sizeof head);
        size_ = sizeof head;
    }

    // As SetIds and SetLocation. The location goes right after the head, so it comes before
    // any value; a null text is none.
    void set_ids(std::uint32_t first, std::uint32_t second) noexcept
    {
        if (size_ < sizeof(recordhead))
            return;
        head().firstid = first;
        head().secondid = second;
    }
    void set_location(const char* file, std::uint32_t line, const char* function) noexcept
    {
        if (size_ != sizeof(recordhead))
            return overflow();
        const std::size_t file_bytes = file ? std::strlen(file) : 0, function_bytes = function ? std::strlen(function) : 0;
        if (file_bytes >= no_location_text || function_bytes >= no_location_text)
            return overflow();
        head().line = line;
        head().file_bytes = file ? static_cast<std::uint16_t>(file_bytes) : no_location_text;
        head().function_bytes = function ? static_cast<std::uint16_t>(function_bytes) : no_location_text;
        append(file, file_bytes);
        append(function, function_bytes);
        pad();
    }

    void add_signed(std::int64_t v, std::uint8_t radix = 10, std::uint16_t digits = 0) noexcept { number(wirekind::signedint, &v, radix, digits); }
    void add_unsigned(std::uint64_t v, std::uint8_t radix = 10, std::uint16_t digits = 0) noexcept { number(wirekind::unsignedint, &v, radix, digits); }
    void add_real(double v) noexcept { number(wirekind::real, &v, 0, 0); }
    void add_hex32(std::uint32_t v) noexcept { add_unsigned(v, 16, 8); }
    void add_hex64(std::uint64_t v) noexcept { add_unsigned(v, 16, 16); }
    void add_error_code(std::uint32_t code) noexcept
    {
        const std::uint64_t v = code;
        number(wirekind::errorcode, &v, 0, 0);
    }
    void add_bool(bool v) noexcept { add_wide(v ? L"true" : L"false"); }
    void add_char(char c) noexcept { add_oem({&c, 1}); }
    void add_wchar(wchar_t c) noexcept { add_wide({&c, 1}); }
    // Up to the first NUL, as the methods take a NUL-terminated text; null is "(null)".
    void add_string(const char* text) noexcept { text ? add_oem(text) : add_wide(L"(null)"); }
    void add_wstring(const wchar_t* text) noexcept { add_wide(text ? text : L"(null)"); }
    void add_oem(std::string_view text) noexcept { add_text(wirekind::oemtext, text.substr(0, text.find('\0'))); }
    void add_wide(std::wstring_view text) noexcept { add_text(wirekind::widetext, text.substr(0, text.find(L'\0'))); }

    // The whole record, its length in the head; empty after an overflow.
    std::span<std::byte> record() noexcept
    {
        if (overflowed_)
            return {};
        head().bytes = static_cast<std::uint32_t>(size_);
        return buffer_.first(size_);
    }

private:
    recordhead& head() noexcept { return *reinterpret_cast<recordhead*>(buffer_.data()); }

    void number(wirekind kind, const void* value, std::uint8_t radix, std::uint16_t digits) noexcept
    {
        const valuehead value_head{kind, radix, digits, 0};
        if (room(sizeof value_head + 8)) {
            append(&value_head, sizeof value_head);
            append(value, 8);
            ++head().values;
        }
    }

    template <class Char>
    void add_text(wirekind kind, std::basic_string_view<Char> text) noexcept
    {
        const std::size_t bytes = text.size() * sizeof(Char);
        const valuehead value_head{kind, 0, 0, static_cast<std::uint32_t>(text.size())};
        if (room(sizeof value_head + padded8(bytes))) {
            append(&value_head, sizeof value_head);
            append(text.data(), bytes);
            pad();
            ++head().values;
        }
    }

    bool room(std::size_t bytes) noexcept
    {
        if (!overflowed_ && bytes <= buffer_.size() - size_ && head().values < 0xFFFF)
            return true;
        overflow();
        return false;
    }
    void overflow() noexcept { overflowed_ = true; }
    void append(const void* from, std::size_t bytes) noexcept
    {
        if (!room(bytes))
            return;
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
    std::size_t size_ = 0;
    bool overflowed_ = false;
};

} // namespace kvt
