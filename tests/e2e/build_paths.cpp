#include "build_paths.h"

#include "support/program_path.h"

#include <windows.h>

namespace kvt::test {

std::wstring server_path() { return path_beside_this_program(KVT_SERVER_PATH); }
std::wstring proxy_path() { return path_beside_this_program(KVT_PROXY_PATH); }
std::wstring second_client_path() { return path_beside_this_program(KVT_SECOND_CLIENT_PATH); }

std::wstring regsvr32_path()
{
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system, n) + L"\\regsvr32.exe";
}

} // namespace kvt::test
