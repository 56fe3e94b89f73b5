// The server program as a process: its exit codes, the calls it answers on all four
// interfaces through the proxy/stub DLL, when it ends, and that its clients share it.

#include "build_paths.h"
#include "processes.h"
#include "server_fixture.h"

#include <string>

namespace kvt::test {
namespace {

using ServerProcess = serverfixture;
using CrossProcessCalls = serverfixture;

// SetUp has registered with "-RegServer /S -LogPath:<dir>" and required exit code 0 (the
// log directory that GetLogPath gives back shows what it wrote). The quiet switch comes
// first, so no message box waits for a click.
TEST_F(ServerProcess, RejectedCommandLinesExitWithOne)
{
    for (const wchar_t* arguments : {L"/S -NoSuchSwitch", L"/S -LogPath:C:\\Logs", L"/Q -RegServer -UnregServer",
                                     L"/Q -Embedding -LogPath:x"})
        EXPECT_EQ(run_process(server_path(), arguments), 1u) << ::testing::PrintToString(std::wstring(arguments));
}

TEST_F(CrossProcessCalls, EveryInterfaceLogsAndAnswersWithItsTexts)
{
    {  // the block's end lets go of the server
        ComPtr<ILogService> service;
        ASSERT_NO_FATAL_FAILURE(activate(service));
        ComPtr<ILogControl> control;
        ComPtr<ILogSource> source;
        ComPtr<ILogMessage> message;
        ASSERT_EQ(service.As(&control), S_OK);
        ASSERT_EQ(create_test_source(service.Get(), source), S_OK);
        ASSERT_EQ(source->CreateMessage(level_info, IID_PPV_ARGS(&message)), S_OK);
        const HRESULT results[] = {
            message->SetLocation("src\\e2e.cpp", 42, "log_everything"),
            message->SetIds(1, 2),
            message->AddString("narrow"), message->AddChar(' '),
            message->AddWString(L"wide"), message->AddWChar(L' '),
            message->AddInt32(-5), message->AddChar(' '),
            message->AddHex32(0xBEEF), message->AddChar(' '),
            message->AddUInt64(1ull << 40),
        };
        for (HRESULT hr : results)
            EXPECT_EQ(hr, S_OK);

        // The out strings the proxy/stub DLL carries back into this process.
        uniquetaskmem<wchar_t> path, levels, id, file, function;
        EXPECT_EQ(control->GetLogPath(path.put()), S_OK);
        EXPECT_EQ(control->FormatLevels(0x41, levels.put()), S_OK);
        EXPECT_EQ(control->FormatSourceId(7, id.put()), S_OK);
        EXPECT_EQ(message->GetFile(file.put()), S_OK);
        EXPECT_EQ(message->GetFunction(function.put()), S_OK);
        EXPECT_STREQ(path.get(), logs_.path().c_str());
        EXPECT_STREQ(levels.get(), L"FATAL,TRACE");
        EXPECT_STREQ(id.get(), L"CA7");
        EXPECT_STREQ(file.get(), L"e2e.cpp");
        EXPECT_STREQ(function.get(), L"log_everything");
    }
    ASSERT_NO_FATAL_FAILURE(expect_server_exits_with_zero());
    const std::vector<std::wstring> lines = test_source_lines();
    ASSERT_EQ(lines.size(), 1u);
    // Behind the date and time of day, "yyyy/mm/dd|hh:mm:ss.mmm|".
    EXPECT_EQ(lines[0].substr(24),
              L"INF|1/2|e2e.cpp,42|log_everything|narrow wide -5 0000BEEF 1099511627776");
}

// The second client checks that it reaches the same server process and sees the first
// client's level; the first sees the second's. Then a source alone keeps the server.
TEST_F(ServerProcess, ClientsShareOneServerThatEndsOnlyWhenTheLastSourceIsGone)
{
    ComPtr<ILogService> service;
    ASSERT_NO_FATAL_FAILURE(activate(service));
    ComPtr<ILogControl> control;
    ComPtr<ILogSource> source;
    ASSERT_EQ(service.As(&control), S_OK);
    ASSERT_EQ(control->SetLevel(first_client_id, first_client_mask), S_OK);
    ASSERT_EQ(create_test_source(service.Get(), source), S_OK);
    EXPECT_EQ(log_text(source.Get(), L"from the first client"), S_OK);
    EXPECT_EQ(run_process(second_client_path(), L""), 0u);
    DWORD mask = 0;
    EXPECT_EQ(control->GetLevel(second_client_id, &mask), S_OK);
    EXPECT_EQ(mask, second_client_mask);

    control.Reset();
    service.Reset();
    EXPECT_EQ(::WaitForSingleObject(server_.get(), 3'000), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(log_text(source.Get(), L"after the service was released"), S_OK);
    source.Reset();
    ASSERT_NO_FATAL_FAILURE(expect_server_exits_with_zero());
    const std::vector<std::wstring> lines = test_source_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].ends_with(L"|from the first client")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with(L"|from the second client")) << lines[1];
    EXPECT_TRUE(lines[2].ends_with(L"|after the service was released")) << lines[2];
}

// A client that keeps its class object lets go of it only after the server has stopped,
// whatever the order in which its service, source and message went. The server still ends
// with 0, after writing the message.
TEST_F(ServerProcess, StopsCleanlyWhileAClientStillHoldsTheClassObject)
{
    const std::wstring orders[] = {L"somf", L"mosf", L"msof", L"fmos"};
    for (const std::wstring& order : orders)
        EXPECT_EQ(run_process(second_client_path(), order), 0u) << std::string(order.begin(), order.end());
    const std::vector<std::wstring> lines = test_source_lines();
    ASSERT_EQ(lines.size(), std::size(orders));
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].ends_with(L"|released in the order " + orders[i])) << lines[i];
}

} // namespace
} // namespace kvt::test
