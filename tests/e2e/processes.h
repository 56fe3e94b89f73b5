#pragma once
// Running the programs under test and finding the server process that COM started.

#include "win/unique_resource.h"

#include <string>
#include <vector>

namespace kvt::test {

// The exit code of a program run to its end with the given arguments. A program still
// running after a minute (a message box waiting for a click, say) is ended and gives
// STILL_ACTIVE; only clients and registration commands are run this way, never a server
// that COM may still use. A program that cannot start gives not_started.
constexpr DWORD not_started = 0xFFFFFFFF;
DWORD run_process(const std::wstring& program, const std::wstring& arguments);

// Handles (SYNCHRONIZE, PROCESS_QUERY_LIMITED_INFORMATION) to the running processes whose
// executable is image_path, compared without regard to letter case.
std::vector<uniquehandle> processes_of(const std::wstring& image_path);

// The exit code of an ended process, or STILL_ACTIVE.
DWORD exit_code(const uniquehandle& process);

} // namespace kvt::test
