#pragma once
// Finds programs and DLLs of this build from inside Wine (or Windows), whatever the build
// directory is: each test folder's CMakeLists passes their paths relative to its own test
// program's folder.

#include <string>

namespace kvt::test {

// The full path of relative (with '/' or '\' separators), taken from the folder of the
// running program.
std::wstring path_beside_this_program(const char* relative);

} // namespace kvt::test
