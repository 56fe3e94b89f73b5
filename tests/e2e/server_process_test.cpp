// The server program as a process: its exit code for a rejected command line, and a clean
// stop while a client still holds the class object. (The client library's and kvtlogctl's
// tests carry every method of the four interfaces through the proxy/stub DLL; the load test
// has many clients share one server.)

#include "support/processes.h"
#include "support/server_fixture.h"

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

// A client that keeps its class object lets go of it only after the server has stopped,
// whatever the order in which its service, source and message went. The server still ends
// with 0, after writing the message.
TEST_F(ServerProcess, StopsCleanlyWhileAClientStillHoldsTheClassObject)
{
    const std::wstring orders[] = {L"somf", L"mosf", L"msof", L"fmos"};
    for (const std::wstring& order : orders)
        EXPECT_EQ(run_process(build_path(KVT_SECOND_CLIENT_PATH), order), 0u) << std::string(order.begin(), order.end());
    const std::vector<std::wstring> lines = read_log_lines(logs_.path() + L"\\CA4242\\e2e-1.2.3.4.TXT");
    ASSERT_EQ(lines.size(), std::size(orders));
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].ends_with(L"|released in the order " + orders[i])) << lines[i];
}

} // namespace
} // namespace kvt::test
