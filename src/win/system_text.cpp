#include "win/system_text.h"

#include "win/unique_resource.h"

namespace kvt {

namespace {

// FormatMessageW into a block of its own, copied out and freed; empty when it fails.
std::optional<std::wstring> format_message(DWORD flags, const void* source, DWORD id, DWORD language,
                                           const DWORD_PTR* arguments)
{
    uniquelocalmem<wchar_t> buffer;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | flags, source, id, language,
                                          reinterpret_cast<LPWSTR>(buffer.put()), 0,
                                          reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
    if (length == 0 || !buffer)
        return std::nullopt;
    return std::wstring(buffer.get(), length);
}

} // namespace

std::optional<std::wstring> system_text(DWORD code, DWORD language)
{
    return format_message(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, language,
                          nullptr);
}

std::optional<std::wstring> format_text(const wchar_t* format, const DWORD_PTR* arguments)
{
    return format_message(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0, arguments);
}

} // namespace kvt
