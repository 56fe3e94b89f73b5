#include "core/oem_text.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace kvt {

std::unique_ptr<wchar_t[]> oem_to_wide(const char* text, std::size_t* length)
{
    if (length)
        *length = 0;
    if (!text)
        return nullptr;
    const std::size_t narrow = std::strlen(text);
    const int n = narrow == 0 || narrow > INT_MAX
                      ? 0
                      : ::MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, text, static_cast<int>(narrow), nullptr, 0);
    std::unique_ptr<wchar_t[]> wide(new wchar_t[static_cast<std::size_t>(n) + 1]);
    const int written =
        n == 0 ? 0 : ::MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, text, static_cast<int>(narrow), wide.get(), n);
    wide[static_cast<std::size_t>(written)] = L'\0';
    if (length)
        *length = static_cast<std::size_t>(written);
    return wide;
}

} // namespace kvt
