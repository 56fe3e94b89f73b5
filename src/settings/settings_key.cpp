#include "settings/settings_key.h"

#include <windows.h>
#include <objbase.h>

#include <iterator>
#include <new>

namespace kvt {

namespace {

// The class id of the logging service. Kept here so that the settings store does not
// depend on the interface definitions.
constexpr GUID log_service_class = {0x00120700, 0x2A33, 0x11DC, {0x93, 0x09, 0x02, 0x80, 0x37, 0x00, 0x03, 0x00}};

} // namespace

std::wstring settings_key_path()
{
    wchar_t class_id[39];
    // StringFromGUID2 fails only for a buffer that is too small, which here can only mean
    // the text did not fit: treated as out of memory ("Not enough memory for StringFromGUID2 call").
    if (::StringFromGUID2(log_service_class, class_id, static_cast<int>(std::size(class_id))) == 0)
        throw std::bad_alloc();
    return std::wstring(L"CLSID\\") + class_id + L"\\Settings";
}

} // namespace kvt
