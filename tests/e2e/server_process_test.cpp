// The server program as a process: its exit code for a rejected command line, and a clean
// stop while a client still holds the class object. (The client library's and kvtlogctl's
// tests carry every method of the four interfaces through the proxy/stub DLL; the load test
// has many clients share one server.)

#include "channel/record_builder.h"
#include "channel/ring_writer.h"
#include "support/processes.h"
#include "support/server_fixture.h"

#include <array>
#include <string>

namespace kvt::test {
namespace {

using ServerProcess = serverfixture;
using ServerChannel = heldservice;

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

// A client process's channel to the real server: the handles arrive in this process, a level
// change is in the level section once SetLevel has returned, a channel for another process is
// refused, and the records are in the file once the server has stopped.
TEST_F(ServerChannel, RecordsThroughAChannelAreWrittenByTheTimeTheServerHasStopped)
{
    ComPtr<ILogChannel> channels;
    ASSERT_EQ(service_.As(&channels), S_OK);
    DWORD id = 0, slot = 0;
    ULONGLONG ring = 0, levels = 0, wake = 0;
    EXPECT_EQ(channels->OpenChannel(::GetProcessId(server_.get()), 0, &id, &ring, &levels, &wake), E_ACCESSDENIED);
    ASSERT_EQ(channels->OpenChannel(::GetCurrentProcessId(), 0, &id, &ring, &levels, &wake), S_OK);
    ASSERT_EQ(channels->AddChannelSource(id, 4242, L"channel", std::array<DWORD, 4>{1, 2, 3, 4}.data(), &slot), S_OK);
    const auto handle = [](ULONGLONG h) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(h)); };
    ringwriter writer;
    ASSERT_TRUE(writer.open(handle(ring), handle(levels), handle(wake)));
    ASSERT_EQ(control_->SetLevel(4242, 0x10), S_OK);
    EXPECT_EQ(writer.level(static_cast<std::uint16_t>(slot)), 0x10u);
    for (int i = 0; i < 100; ++i) {
        alignas(8) std::byte buffer[128];
        recordbuilder record(buffer, static_cast<std::uint16_t>(slot), 0x10);
        record.add_signed(i);
        ASSERT_TRUE(writer.write(record.record()));
    }
    channels.Reset();
    EXPECT_EQ(stop_server(), 0u);
    const std::vector<std::wstring> lines = read_log_lines(logs_.path() + L"\\CA4242\\channel-1.2.3.4.TXT");
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_TRUE(lines[99].ends_with(L"|99")) << lines[99];
}

} // namespace
} // namespace kvt::test
