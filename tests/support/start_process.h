#pragma once
// CreateProcessW for the tests' helper programs. Under a loaded machine Wine now and then
// fails a start with ERROR_INTERNAL_ERROR although nothing is wrong with the program; such a
// start is tried again, a few times.

#include <windows.h>

namespace kvt::test {

inline BOOL start_process(const wchar_t* program, wchar_t* command, BOOL inherit, STARTUPINFOW& startup,
                          PROCESS_INFORMATION& info)
{
    for (int attempt = 0;; ++attempt) {
        if (::CreateProcessW(program, command, nullptr, nullptr, inherit, 0, nullptr, nullptr, &startup, &info))
            return TRUE;
        if (::GetLastError() != ERROR_INTERNAL_ERROR || attempt == 4)
            return FALSE;
        ::Sleep(200);
    }
}

} // namespace kvt::test
