#include "kvtlogctl/failure.h"

#include "win/unique_resource.h"

#include <cwchar>

namespace kvt::ctl {

std::wstring describe(HRESULT hr)
{
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX ", static_cast<unsigned long>(hr));
    uniquelocalmem<wchar_t> buffer;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(hr), 0,
                                     reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer.get(), n) : L"(no system text)";
    // The system's texts end in a line break, and some hold more: the console gets one line.
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n' || c == L'\t')
            c = L' ';
    text.erase(text.find_last_not_of(L' ') + 1);
    return code + text;
}

} // namespace kvt::ctl
