#include "core/error_text.h"

#include "core/inttotext.h"
#include "win/system_text.h"

#include <optional>
#include <string_view>

namespace kvt {

namespace {

constexpr wchar_t no_message[] = L"No message defined for the code";

bool is_blank(wchar_t c) noexcept { return c == L'\t' || c == L'\n' || c == L'\r' || c == L' '; }

// System texts end in a full stop and a line end, and long ones are wrapped; the log line
// wants one line that the closing parenthesis follows directly.
std::wstring one_line(std::wstring_view text)
{
    while (!text.empty() && (is_blank(text.back()) || text.back() == L'.'))
        text.remove_suffix(1);
    std::wstring line;
    line.reserve(text.size());
    bool in_blanks = false;
    for (const wchar_t c : text) {
        if (is_blank(c) && !in_blanks)
            line += L' ';
        else if (!is_blank(c))
            line += c;
        in_blanks = is_blank(c);
    }
    return line;
}

} // namespace

std::wstring error_code_text(DWORD code)
{
    const std::optional<std::wstring> system = system_text(code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT));
    std::wstring message = system ? one_line(*system) : std::wstring();
    if (message.empty())
        message = no_message;
    wchar_t hex[9];
    const std::size_t digits = inttotext(code, hex, std::size(hex), int_format(16, 8));
    return std::wstring(hex, digits) + L" (" + message + L")";
}

} // namespace kvt
