#include "settings/registry_value.h"

#include "core/inttotext.h"
#include "core/sourcekey.h"
#include "win/unique_resource.h"

#include <algorithm>
#include <iterator>

namespace kvt {

namespace {

bool is_string_type(DWORD type) noexcept { return type == REG_SZ || type == REG_EXPAND_SZ; }

void check(LSTATUS status)
{
    if (status != ERROR_SUCCESS)
        throw static_cast<DWORD>(status);
}

} // namespace

valuename::valuename(std::uint32_t id) noexcept : is_default_(id == default_source_id)
{
    inttotext(id, text_, std::size(text_), int_format(10, 0));
}

std::optional<storedstring> read_string_value(HKEY key, const wchar_t* name)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LSTATUS probe = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (probe != ERROR_SUCCESS && probe != ERROR_MORE_DATA)
        throw static_cast<DWORD>(probe);
    if (!is_string_type(type))
        return std::nullopt;
    // One character beyond the data stays NUL, so data stored without its terminator still
    // ends; the text stops at the first NUL within the data.
    std::vector<wchar_t> buffer((size + 1) / 2 + 1, L'\0');
    DWORD read = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    check(::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read));
    // The value may have been replaced between the two queries.
    if (!is_string_type(type))
        return std::nullopt;
    const auto end = buffer.begin() + read / sizeof(wchar_t);
    return storedstring{type, std::wstring(buffer.begin(), std::find(buffer.begin(), end, L'\0'))};
}

binaryvalue read_binary_value(HKEY key, const wchar_t* name)
{
    binaryvalue value{ERROR_MORE_DATA, {}};
    // A value that grows between the two queries is read again from the start.
    while (value.status == ERROR_MORE_DATA) {
        DWORD size = 0;
        value.status = ::RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
        if (value.status != ERROR_SUCCESS)
            return value;
        value.data.resize(size);
        value.status = ::RegQueryValueExW(key, name, nullptr, nullptr, value.data.data(), &size);
        value.data.resize(std::min<std::size_t>(size, value.data.size()));
    }
    return value;
}

void write_value(HKEY key, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    uniquehkey target;
    check(::RegOpenKeyExW(key, subkey, 0, KEY_SET_VALUE, target.put()));
    check(::RegSetValueExW(target.get(), name, 0, type, static_cast<const BYTE*>(data), size));
}

} // namespace kvt
