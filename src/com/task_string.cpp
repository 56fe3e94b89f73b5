#include "com/task_string.h"

#include "com/com_boundary.h"

namespace kvt {

uniquetaskmem<wchar_t> task_string(const wchar_t* text)
{
    const int length = ::lstrlenW(text);
    uniquetaskmem<wchar_t> copy(static_cast<wchar_t*>(::CoTaskMemAlloc((length + 1) * sizeof(wchar_t))));
    if (!copy)
        throw outofmemory("CoTaskMemAlloc() failed");
    ::lstrcpynW(copy.get(), text, length + 1);
    return copy;
}

} // namespace kvt
