#include "support/program_path.h"

#include <windows.h>

#include <cstring>

namespace kvt::test {

std::wstring path_beside_this_program(const char* relative)
{
    wchar_t module[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    path.append(relative, relative + std::strlen(relative));
    wchar_t full[MAX_PATH];
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return std::wstring(full, length);
}

} // namespace kvt::test
