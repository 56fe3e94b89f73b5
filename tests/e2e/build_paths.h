#pragma once
// Where the programs under test lie, found from the running program's own folder, so the
// end-to-end tests work in any build directory. Full Windows paths.

#include <string>

namespace kvt::test {

std::wstring server_path();        // kvtlog.exe
std::wstring proxy_path();         // kvtlogps.dll
std::wstring second_client_path(); // the second client program of these tests
std::wstring regsvr32_path();

} // namespace kvt::test
