#include "com/level_names.h"

#include "core/levels.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string_view>

namespace kvt {

namespace {

constexpr wchar_t separators[] = L" \t,;";

std::optional<std::uint32_t> level_bit(const std::wstring& upper_token)
{
    for (const levelrow& row : level_table)
        if (upper_token == row.name || upper_token == row.abbreviation)
            return row.mask;
    return std::nullopt;
}

} // namespace

std::wstring level_names(std::uint32_t mask)
{
    std::wstring text;
    for (const levelrow& row : level_table) {
        if (!(mask & row.mask))
            continue;
        if (!text.empty())
            text += L',';
        text += row.name;
    }
    return text;
}

bool parse_level_names(const wchar_t* text, std::uint32_t& mask)
{
    const std::wstring_view rest(text);
    std::size_t start = rest.find_first_not_of(separators);
    while (start != std::wstring_view::npos) {
        const std::size_t end = std::min(rest.find_first_of(separators, start), rest.size());
        std::wstring token(rest.substr(start, end - start));
        ::CharUpperBuffW(token.data(), static_cast<DWORD>(token.size()));
        const std::optional<std::uint32_t> bit = level_bit(token);
        if (!bit)
            return false;
        mask |= *bit;
        start = rest.find_first_not_of(separators, end);
    }
    return true;
}

} // namespace kvt
