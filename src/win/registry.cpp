#include "win/registry.h"

#include <algorithm>
#include <cwchar>

namespace kvt {

namespace {

bool is_string_type(DWORD type) noexcept { return type == REG_SZ || type == REG_EXPAND_SZ; }

} // namespace

void check_win32(LSTATUS status)
{
    if (status != ERROR_SUCCESS)
        throw static_cast<DWORD>(status);
}

uniquehkey create_key(HKEY parent, const wchar_t* name, REGSAM access)
{
    uniquehkey key;
    check_win32(::RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(),
                                  nullptr));
    return key;
}

uniquehkey open_key(HKEY parent, const wchar_t* name, REGSAM access)
{
    uniquehkey key;
    check_win32(::RegOpenKeyExW(parent, name, 0, access, key.put()));
    return key;
}

uniquehkey try_open_key(HKEY parent, const wchar_t* name, REGSAM access) noexcept
{
    uniquehkey key;
    if (::RegOpenKeyExW(parent, name, 0, access, key.put()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

void set_value(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    check_win32(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
}

void set_string(HKEY key, const wchar_t* name, const wchar_t* text, DWORD type)
{
    set_value(key, name, type, text, static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)));
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
    check_win32(::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read));
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

void delete_key_tree(HKEY parent, const wchar_t* name)
{
    const uniquehkey key = open_key(parent, name, DELETE | KEY_ENUMERATE_SUB_KEYS);
    std::vector<wchar_t> subkey(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(subkey.size());
        // Always index 0: each deleted subkey frees that place for the next.
        const LSTATUS status =
            ::RegEnumKeyExW(key.get(), 0, subkey.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_MORE_DATA) {
            subkey.resize(subkey.size() * 2);
            continue;
        }
        check_win32(status);
        try {
            delete_key_tree(key.get(), subkey.data());
        } catch (DWORD code) {
            // Someone else removed it first.
            if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
                throw;
        }
    }
    check_win32(::RegDeleteKeyW(parent, name));
}

} // namespace kvt
