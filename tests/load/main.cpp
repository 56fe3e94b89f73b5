// The test executable is also the client program of the tests that need other processes:
// started with a role's switch it plays that role instead of running tests.

#include "load/running_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    using namespace kvt::test;
    const auto widen = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
    if (argc == 4 && std::strcmp(argv[1], load_client_switch) == 0)
        return run_load_client(static_cast<unsigned>(std::atoi(argv[2])), widen(argv[3]).c_str());
    if (argc == 3 && std::strcmp(argv[1], victim_switch) == 0)
        return run_victim(widen(argv[2]).c_str());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
