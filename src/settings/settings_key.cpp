#include "settings/settings_key.h"

#include "core/inttotext.h"
#include "core/sourcekey.h"

#include <kvtlog.h>
#include <objbase.h>

#include <iterator>
#include <new>

namespace kvt {

std::optional<classidtext> class_id_text() noexcept
{
    classidtext text{};
    if (::StringFromGUID2(CLSID_LogService, text.data(), static_cast<int>(text.size())) == 0)
        return std::nullopt;
    return text;
}

std::wstring class_key_path(const wchar_t* class_id)
{
    return std::wstring(clsid_key) + L'\\' + class_id;
}

std::wstring settings_key_path()
{
    // A failed StringFromGUID2 can only mean the text did not fit: treated as out of memory
    // ("Not enough memory for StringFromGUID2 call").
    const std::optional<classidtext> class_id = class_id_text();
    if (!class_id)
        throw std::bad_alloc();
    return class_key_path(class_id->data()) + L'\\' + settings_subkey;
}

valuename::valuename(std::uint32_t id) noexcept : is_default_(id == default_source_id)
{
    inttotext(id, text_, std::size(text_), int_format(10, 0));
}

} // namespace kvt
