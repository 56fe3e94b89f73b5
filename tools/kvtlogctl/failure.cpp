#include "kvtlogctl/failure.h"

#include "kvtlog/explain.h"
#include "win/system_text.h"

#include <cstring>
#include <cwchar>
#include <optional>

namespace kvt::ctl {

namespace {

// The system's texts end in a line break, and some hold more: the console gets one line.
std::wstring one_line(std::wstring text)
{
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n' || c == L'\t')
            c = L' ';
    text.erase(text.find_last_not_of(L' ') + 1);
    return text;
}

} // namespace

std::wstring describe(const failure& f)
{
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(f.hr));
    std::wstring text = code;
    const std::optional<std::wstring> system = system_text(static_cast<DWORD>(f.hr), 0);
    if (system)
        text += L' ' + one_line(*system);
    // The activation of the service has the same name here as in the client library.
    const char* remedy = kvtlog::explain(f.hr, f.operation == L"CoCreateInstance" ? "CoCreateInstance" : nullptr);
    if (remedy) {
        if (system && !text.ends_with(L'.'))
            text += L'.';
        text += L' ' + std::wstring(remedy, remedy + std::strlen(remedy));
    } else if (!system) {
        text += L" (no system text)";
    }
    return text;
}

} // namespace kvt::ctl
