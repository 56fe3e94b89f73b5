#include "com/task_string.h"

#include "com/com_boundary.h"

namespace kvt {

unique_cotaskmem<wchar_t> task_string(const wchar_t* text)
{
    const int length = ::lstrlenW(text);
    unique_cotaskmem<wchar_t> copy(static_cast<wchar_t*>(::CoTaskMemAlloc((length + 1) * sizeof(wchar_t))));
    if (!copy)
        throw out_of_memory("CoTaskMemAlloc() failed");
    ::lstrcpynW(copy.get(), text, length + 1);
    return copy;
}

} // namespace kvt
