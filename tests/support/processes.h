#pragma once
// The programs of the build as processes: where they lie, starting and running them, and
// finding the server process that COM started.

#include "win/unique_resource.h"

#include <string>
#include <vector>

namespace kvt::test {

// Full Windows paths: of this program; of relative, a path from this program's folder; of a
// file of the build given relative to the build directory (the first folder above this
// program that holds CMakeCache.txt), so that tests find the build's programs from inside
// Wine whatever the build directory is. '/' or '\' separate.
std::wstring this_program();
std::wstring path_beside_this_program(const char* relative);
std::wstring build_path(const char* relative);
std::wstring server_path();  // kvtlog.exe

// Starts the program (a full path, or a name that CreateProcessW looks up as it does a
// command line's first word) with the arguments; its standard output and error go to out
// and err, inheritable handles, when they are given. Empty when it cannot be started. Under a
// loaded machine Wine now and then fails a start with ERROR_INTERNAL_ERROR although nothing
// is wrong with the program; such a start is tried again, a few times.
uniquehandle start_process(const std::wstring& program, const std::wstring& arguments, HANDLE out = nullptr,
                           HANDLE err = nullptr);

// Runs the program to its end: its exit code, and what it wrote to its standard output and
// error when asked for. A program still running after a minute (a message box waiting for
// a click, say) is ended and gives STILL_ACTIVE; never run a server that COM may still use
// this way. A program that cannot start gives not_started.
constexpr DWORD not_started = 0xFFFFFFFF;
DWORD run_process(const std::wstring& program, const std::wstring& arguments, std::string* out = nullptr,
                  std::string* err = nullptr);

// Handles (SYNCHRONIZE, PROCESS_QUERY_LIMITED_INFORMATION, PROCESS_TERMINATE) to the
// running processes whose executable is image_path, compared without regard to case.
std::vector<uniquehandle> processes_of(const std::wstring& image_path);

// The exit code of an ended process, or STILL_ACTIVE.
DWORD exit_code(HANDLE process);

} // namespace kvt::test
