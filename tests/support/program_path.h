#pragma once
// Where the programs under test lie: found from the running test program's own folder, so
// tests work in any build directory and from inside Wine.

#include <string>

namespace kvt::test {

// The full Windows path of relative, a path from the folder of this program with '/' or '\'
// separators (CMake gives it as $<PATH:RELATIVE_PATH,program,test folder>).
std::wstring path_beside_this_program(const char* relative);

} // namespace kvt::test
