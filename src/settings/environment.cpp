#include "settings/environment.h"

#include "settings/log_settings.h"
#include "settings/text_buffer.h"

#include <cwchar>

namespace kvt {

std::optional<std::wstring> expand_environment(const wchar_t* text, DWORD first_size)
{
    return call_with_text_buffer(first_size, [text](wchar_t* buffer, DWORD size) {
        return ::ExpandEnvironmentStringsW(text, buffer, size);
    });
}

bool references_environment(const wchar_t* text)
{
    if (!text)
        return false;
    for (const wchar_t* open = std::wcschr(text, L'%'); open; ) {
        const wchar_t* close = std::wcschr(open + 1, L'%');
        if (!close)
            return false;
        // "%%" names nothing; an undefined name is left as it stands by the expansion, so
        // only a defined variable makes the text worth storing for expansion.
        if (close > open + 1) {
            const std::wstring name(open + 1, close);
            if (::GetEnvironmentVariableW(name.c_str(), nullptr, 0) != 0)
                return true;
        }
        open = std::wcschr(close + 1, L'%');
    }
    return false;
}

} // namespace kvt
