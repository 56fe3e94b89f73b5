#include "kvtlogctl/failure.h"

#include "win/system_text.h"

#include <cwchar>
#include <optional>

namespace kvt::ctl {

std::wstring describe(HRESULT hr)
{
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX ", static_cast<unsigned long>(hr));
    std::wstring text = system_text(static_cast<DWORD>(hr), 0).value_or(L"(no system text)");
    // The system's texts end in a line break, and some hold more: the console gets one line.
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n' || c == L'\t')
            c = L' ';
    text.erase(text.find_last_not_of(L' ') + 1);
    return code + text;
}

} // namespace kvt::ctl
