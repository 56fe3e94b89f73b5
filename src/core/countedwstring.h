#pragma once
// An immutable UTF-16 text shared through a counted reference to its buffer, with its
// length in code units (the terminating NUL not counted). Copies share the buffer.

#include "core/counted.h"

#include <cstddef>
#include <cwchar>
#include <string_view>

namespace kvt {

class countedwstring {
public:
    countedwstring() noexcept = default;

    // A private, NUL-terminated copy of text.
    explicit countedwstring(std::wstring_view text)
        : buffer_(counted<wchar_t[]>::adopt(new wchar_t[text.size() + 1])), length_(text.size())
    {
        if (!text.empty())
            std::wmemcpy(buffer_.get(), text.data(), text.size());
        buffer_.get()[length_] = L'\0';
    }

    // Takes a buffer of length + 1 code units that the caller has filled and terminated.
    countedwstring(counted<wchar_t[]> buffer, std::size_t length) noexcept
        : buffer_(std::move(buffer)), length_(length) {}

    const wchar_t* data() const noexcept { return buffer_ ? buffer_.get() : L""; }
    std::size_t length() const noexcept { return length_; }
    std::wstring_view view() const noexcept { return {data(), length_}; }

private:
    counted<wchar_t[]> buffer_;
    std::size_t length_ = 0;
};

} // namespace kvt
