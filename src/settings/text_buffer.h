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
// empty when the call failed (GetLastError tells why). A call that still asks for more after
// a few rounds (a text that keeps changing, or a call past its own limits) fails with
// ERROR_INSUFFICIENT_BUFFER instead of growing the buffer without end.
template <class Call>
std::optional<std::wstring> call_with_text_buffer(DWORD first_size, Call call)
{
    std::wstring buffer(first_size, L'\0');
    for (int round = 0; round < 8; ++round) {
        const DWORD needed = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0)
            return std::nullopt;
        if (needed <= buffer.size()) {
            buffer.resize(std::wcslen(buffer.c_str()));
            return buffer;
        }
        buffer.resize(needed);
    }
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return std::nullopt;
}

} // namespace kvt
