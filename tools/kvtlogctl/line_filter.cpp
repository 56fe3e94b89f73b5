#include "kvtlogctl/line_filter.h"

#include "core/levels.h"

#include <cwchar>

namespace kvt::ctl {

namespace {

constexpr std::wstring_view header_shape = L"dddd/dd/dd|dd:dd:dd.ddd|";

bool is_digit(wchar_t c) noexcept { return c >= L'0' && c <= L'9'; }

DWORD level_bits(std::wstring_view field) noexcept
{
    DWORD bits = 0;
    while (!field.empty()) {
        const std::size_t comma = field.find(L',');
        const std::wstring_view word = field.substr(0, comma);
        for (const levelrow& row : level_table)
            if (word == row.abbreviation)
                bits |= row.mask;
        field.remove_prefix(comma == std::wstring_view::npos ? field.size() : comma + 1);
    }
    return bits;
}

// Reads up to max_digits digits (at least one) at the front of text.
std::optional<int> take_number(std::wstring_view& text, std::size_t max_digits)
{
    std::size_t n = 0;
    int value = 0;
    while (n < text.size() && n < max_digits && is_digit(text[n]))
        value = value * 10 + (text[n++] - L'0');
    if (n == 0)
        return std::nullopt;
    text.remove_prefix(n);
    return value;
}

bool take(std::wstring_view& text, std::wstring_view one_of)
{
    if (text.empty() || one_of.find(text.front()) == std::wstring_view::npos)
        return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

std::optional<lineheader> read_header(std::wstring_view line) noexcept
{
    if (line.size() < header_shape.size())
        return std::nullopt;
    for (std::size_t i = 0; i < header_shape.size(); ++i)
        if (header_shape[i] == L'd' ? !is_digit(line[i]) : line[i] != header_shape[i])
            return std::nullopt;
    const std::wstring_view rest = line.substr(header_shape.size());
    const std::size_t bar = rest.find(L'|');
    if (bar == std::wstring_view::npos)
        return std::nullopt;
    return lineheader{line.substr(0, header_shape.size() - 1), level_bits(rest.substr(0, bar))};
}

std::optional<std::wstring> time_key(std::wstring_view text, const SYSTEMTIME& today)
{
    int year = today.wYear, month = today.wMonth, day = today.wDay;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    std::wstring_view rest = text;
    const bool has_date = text.find_first_of(L"/-") != std::wstring_view::npos;
    bool has_time = !has_date;
    if (has_date) {
        const auto y = take_number(rest, 4);
        const bool s1 = take(rest, L"/-");
        const auto m = take_number(rest, 2);
        const bool s2 = take(rest, L"/-");
        const auto d = take_number(rest, 2);
        if (!y || !s1 || !m || !s2 || !d)
            return std::nullopt;
        year = *y, month = *m, day = *d;
        has_time = take(rest, L" T|");
    }
    if (has_time) {
        const auto h = take_number(rest, 2);
        const bool s1 = take(rest, L":");
        const auto m = take_number(rest, 2);
        if (!h || !s1 || !m)
            return std::nullopt;
        hour = *h, minute = *m;
        if (take(rest, L":")) {
            const auto s = take_number(rest, 2);
            if (!s)
                return std::nullopt;
            second = *s;
            if (take(rest, L".")) {
                const std::size_t digits = rest.size();
                const auto fraction = take_number(rest, 3);
                if (!fraction)
                    return std::nullopt;
                millisecond = *fraction * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
            }
        }
    }
    if (!rest.empty() || year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;
    wchar_t key[32];
    std::swprintf(key, 32, L"%04d/%02d/%02d|%02d:%02d:%02d.%03d", year, month, day, hour, minute, second,
                  millisecond);
    return key;
}

linefilter::verdict linefilter::classify(std::wstring_view line)
{
    const auto header = read_header(line);
    const bool continues = !header && started_;
    started_ = true;
    if (!continues)
        showing_ = shows(header);
    if (!showing_)
        return verdict::hidden;
    return continues ? verdict::next_line : verdict::first_line;
}

bool linefilter::shows(const std::optional<lineheader>& header) const
{
    const bool filtered = options_.levels || !options_.since.empty() || !options_.until.empty();
    if (!header)
        return !filtered;
    return (!options_.levels || (header->levels & *options_.levels)) &&
           (options_.since.empty() || header->time >= options_.since) &&
           (options_.until.empty() || header->time < options_.until);
}

} // namespace kvt::ctl
