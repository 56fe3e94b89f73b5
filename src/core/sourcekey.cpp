#include "core/sourcekey.h"

#include "core/inttotext.h"

#include <algorithm>

namespace kvt {

sourcekeyref make_sourcekey(std::uint32_t id, const std::uint32_t version[4], const wchar_t* name)
{
    return make_counted<const sourcekey>(
        sourcekey{id, {version[0], version[1], version[2], version[3]}, std::wstring(name)});
}

bool operator==(const sourcekey& a, const sourcekey& b) noexcept
{
    return a.id == b.id && std::equal(a.version, a.version + 4, b.version) && a.name == b.name;
}

bool key_less(const sourcekey& a, const sourcekey& b) noexcept
{
    if (a.id != b.id)
        return a.id < b.id;
    for (int i = 3; i >= 0; --i) {
        const auto va = static_cast<std::int32_t>(a.version[i]);
        const auto vb = static_cast<std::int32_t>(b.version[i]);
        if (va != vb)
            return va < vb;
    }
    return a.name < b.name;
}

std::wstring source_id_text(std::uint32_t id)
{
    if (id == 0)
        return L"GE";
    wchar_t digits[16];
    const std::size_t n = inttotext(id, digits, std::size(digits), int_format(10, 0));
    return L"CA" + std::wstring(digits, n);
}

namespace {

bool is_blank(wchar_t c) noexcept { return c == L' ' || c == L'\t'; }

bool starts_with_nocase(const wchar_t* text, wchar_t upper0, wchar_t upper1) noexcept
{
    return (text[0] == upper0 || text[0] == upper0 + 32) && (text[1] == upper1 || text[1] == upper1 + 32);
}

} // namespace

std::optional<std::uint32_t> parse_source_id(const wchar_t* text) noexcept
{
    if (!text)
        return std::nullopt;
    const wchar_t* p = text;
    while (is_blank(*p))
        ++p;
    std::uint32_t id = 0;
    if (starts_with_nocase(p, L'C', L'A')) {
        p += 2;
        for (; *p >= L'0' && *p <= L'9'; ++p) {
            const std::uint64_t next = std::uint64_t{id} * 10 + static_cast<std::uint32_t>(*p - L'0');
            if (next > 0xFFFFFFFFu)
                break;
            id = static_cast<std::uint32_t>(next);
        }
        if (id == 0)
            return std::nullopt;
    } else if (starts_with_nocase(p, L'G', L'E')) {
        p += 2;
    } else {
        return std::nullopt;
    }
    while (is_blank(*p))
        ++p;
    if (*p != L'\0')
        return std::nullopt;
    return id;
}

} // namespace kvt
