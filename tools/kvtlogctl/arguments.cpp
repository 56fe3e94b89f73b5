#include "kvtlogctl/arguments.h"

#include "kvtlogctl/failure.h"

#include <algorithm>
#include <cwchar>

namespace kvt::ctl {

namespace {

bool same_word(std::wstring_view text, const wchar_t* word)
{
    return ::_wcsicmp(std::wstring(text).c_str(), word) == 0;
}

} // namespace

std::optional<std::uint32_t> parse_decimal(std::wstring_view text) noexcept
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::uint32_t read_number(std::wstring_view text, std::wstring_view what)
{
    if (const auto value = parse_decimal(text))
        return *value;
    throw usageerror{std::wstring(what) + L" must be a number from 0 to 4294967295, not \"" + std::wstring(text) + L"\""};
}

std::array<std::uint32_t, 4> read_version(std::wstring_view text)
{
    std::array<std::uint32_t, 4> version{};
    std::wstring_view rest = text;
    for (std::size_t i = 0; i < version.size(); ++i) {
        const std::size_t dot = i + 1 < version.size() ? rest.find(L'.') : rest.size();
        const auto part = dot == std::wstring_view::npos ? std::nullopt : parse_decimal(rest.substr(0, dot));
        if (!part)
            throw usageerror{L"the version must be four numbers joined by dots (1.0.0.0), not \"" + std::wstring(text) + L"\""};
        version[i] = *part;
        rest.remove_prefix(std::min(dot + 1, rest.size()));
    }
    return version;
}

source_id read_source_id(servicesession& service, const std::wstring& text)
{
    if (same_word(text, L"default"))
        return std::nullopt;
    if (const auto id = parse_decimal(text))
        return *id;
    return service.parse_source_id(text);
}

std::wstring source_id_label(servicesession& service, source_id id)
{
    return id ? service.format_source_id(*id) : L"default";
}

DWORD read_levels(servicesession& service, const std::vector<std::wstring>& words)
{
    std::wstring text;
    for (const auto& word : words)
        text += (text.empty() ? L"" : L" ") + word;
    return same_word(text, L"none") ? 0 : service.parse_levels(text);
}

std::wstring levels_label(servicesession& service, DWORD mask)
{
    std::wstring names = service.format_levels(mask);
    return names.empty() ? L"none" : names;
}

} // namespace kvt::ctl
