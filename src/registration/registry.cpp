#include "registration/registry.h"

#include "kvtlog.h"

#include <cwchar>

namespace kvt {

class_id_text make_class_id_text(const wchar_t* caption)
{
    class_id_text text{};
    if (::StringFromGUID2(CLSID_LogService, text.data(), static_cast<int>(text.size())) == 0)
        throw usrerror(caption, L"StringFromGUID2() failed.");
    return text;
}

void check(LSTATUS status)
{
    if (status != ERROR_SUCCESS)
        throw static_cast<DWORD>(status);
}

uniquehkey create_key(HKEY parent, const wchar_t* name, REGSAM access)
{
    uniquehkey key;
    check(::RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(),
                            nullptr));
    return key;
}

uniquehkey open_key(HKEY parent, const wchar_t* name, REGSAM access)
{
    uniquehkey key;
    check(::RegOpenKeyExW(parent, name, 0, access, key.put()));
    return key;
}

void set_default_value(HKEY key, DWORD type, const void* data, DWORD size)
{
    check(::RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), size));
}

void set_default_string(HKEY key, const wchar_t* text, DWORD type)
{
    set_default_value(key, type, text, static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)));
}

} // namespace kvt
