// The server program as a process: its exit code for a rejected command line, when it ends,
// and that its clients share it. (The client library's and kvtlogctl's tests carry every
// method of the four interfaces through the proxy/stub DLL.)

#include "e2e_source.h"
#include "support/log_checks.h"
#include "support/processes.h"

#include <string>

namespace kvt::test {
namespace {

using ServerProcess = serverfixture;

// Which lines are rejected is tested in-process; here a line near the length limit of a
// command line reaches the exit code. The quiet switch comes first, so no box waits.
TEST_F(ServerProcess, ARejectedCommandLineExitsWithOne)
{
    EXPECT_EQ(run_process(server_path(), L"/S -RegServer -UnregServer -LogPath=" + std::wstring(30000, L'z')), 1u);
}

// The second client reaches the same server process and logs into the same file. Then a
// source alone keeps the server.
TEST_F(ServerProcess, ClientsShareOneServerThatEndsOnlyWhenTheLastSourceIsGone)
{
    ASSERT_NO_FATAL_FAILURE(activate());
    ComPtr<ILogSource> source;
    ASSERT_EQ(create_test_source(service_.Get(), source), S_OK);
    EXPECT_EQ(log_text(source.Get(), L"from the first client"), S_OK);
    EXPECT_EQ(run_process(build_path(KVT_SECOND_CLIENT_PATH), L""), 0u);
    EXPECT_EQ(stop_server(3'000), STILL_ACTIVE);
    EXPECT_EQ(log_text(source.Get(), L"after the service was released"), S_OK);
    source.Reset();
    ASSERT_EQ(stop_server(), 0u);
    EXPECT_EQ(log_texts(logs_.path() + test_source_file),
              (std::vector<std::wstring>{L"from the first client", L"from the second client",
                                         L"after the service was released"}));
}

// A client that keeps its class object lets go of it only after the server has stopped,
// whatever the order in which its service, source and message went. The server still ends
// with 0, after writing the message.
TEST_F(ServerProcess, StopsCleanlyWhileAClientStillHoldsTheClassObject)
{
    std::vector<std::wstring> expected;
    for (const std::wstring order : {L"somf", L"mosf", L"msof", L"fmos"}) {
        EXPECT_EQ(run_process(build_path(KVT_SECOND_CLIENT_PATH), order), 0u) << std::string(order.begin(), order.end());
        expected.push_back(L"released in the order " + order);
    }
    EXPECT_EQ(log_texts(logs_.path() + test_source_file), expected);
}

} // namespace
} // namespace kvt::test
