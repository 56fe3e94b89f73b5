#pragma once
// This test program started again in another process, as a client of the real server.

#include "win/unique_resource.h"

#include <string>

namespace kvt::test {

// Starts this program with the switch and the arguments; empty when it cannot be started.
unique_handle start_self(const char* role_switch, const std::wstring& arguments);

} // namespace kvt::test
