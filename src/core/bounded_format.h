#pragma once
// The runtime library's bounded wide formatting (_vsnwprintf_s), used for every formatted
// text the writer renders. With the Microsoft runtime, %s takes a wide string here.

#include <cstdarg>
#include <cstddef>
#include <cwchar>

namespace kvt {

// Formats into buffer, at most size - 1 code units and a NUL. Returns the number of code
// units written, or -1 when the text did not fit (the buffer then holds a truncated text).
inline int format_bounded(wchar_t* buffer, std::size_t size, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = ::_vsnwprintf_s(buffer, size, _TRUNCATE, format, args);
    va_end(args);
    return n;
}

} // namespace kvt
