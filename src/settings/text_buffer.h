#pragma once
// Runs a Win32 call that writes a wide text into a caller's buffer and reports the size it
// needs when the buffer is too small (ExpandEnvironmentStringsW, GetFullPathNameW,
// GetLongPathNameW), growing the buffer until the text fits.

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>

namespace kvt {

// call(buffer, size in characters) returns 0 on failure, a size larger than the buffer when
// it needs more room, anything else on success. The result is the text up to its NUL, or
// empty when the call failed (GetLastError tells why).
template <class Call>
std::optional<std::wstring> call_with_text_buffer(DWORD first_size, Call call)
{
    std::wstring buffer(first_size, L'\0');
    for (;;) {
        const DWORD needed = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0)
            return std::nullopt;
        if (needed <= buffer.size()) {
            buffer.resize(std::wcslen(buffer.c_str()));
            return buffer;
        }
        buffer.resize(needed);
    }
}

} // namespace kvt
