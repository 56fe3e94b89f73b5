// Calls on all four interfaces from this process to a server that COM started.

#include "server_fixture.h"

namespace kvt::test {
namespace {

constexpr DWORD level_error = 0x02;
constexpr DWORD level_debug = 0x20;

// Holds the service through both its interfaces and the shared test source.
class CrossProcessCalls : public server_fixture {
protected:
    void SetUp() override
    {
        server_fixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_NO_FATAL_FAILURE(activate(service_));
        ASSERT_EQ(service_.As(&control_), S_OK);
        ASSERT_EQ(create_test_source(service_.Get(), source_), S_OK);
    }

    HRESULT create_message(DWORD level, ComPtr<ILogMessage>& message)
    {
        return source_->CreateMessage(level, IID_ILogMessage,
                                      reinterpret_cast<void**>(message.ReleaseAndGetAddressOf()));
    }

    // Lets go of the server as a client that is done does; the server then stops.
    void release_server()
    {
        source_.Reset();
        control_.Reset();
        service_.Reset();
        expect_server_exits_with_zero();
    }

    ComPtr<ILogService> service_;
    ComPtr<ILogControl> control_;
    ComPtr<ILogSource> source_;
};

TEST_F(CrossProcessCalls, MessageMadeThroughEveryInterfaceBecomesOneLine)
{
    ASSERT_EQ(control_->SetLevel(test_source_id, level_error | level_info), S_OK);
    ComPtr<ILogMessage> disabled;
    EXPECT_EQ(create_message(level_debug, disabled), S_FALSE);
    EXPECT_EQ(disabled, nullptr);

    ComPtr<ILogMessage> message;
    ASSERT_EQ(create_message(level_info, message), S_OK);
    const HRESULT results[] = {
        message->SetLocation("src\\e2e.cpp", 42, "log_everything"),
        message->SetIds(1, 2),
        message->AddString("narrow"),
        message->AddChar(' '),
        message->AddWString(L"wide"),
        message->AddWChar(L' '),
        message->AddInt32(-5),
        message->AddChar(' '),
        message->AddHex32(0xBEEF),
        message->AddChar(' '),
        message->AddUInt64(1ull << 40),
    };
    for (HRESULT hr : results)
        EXPECT_EQ(hr, S_OK);
    message.Reset();
    ASSERT_NO_FATAL_FAILURE(release_server());

    const std::vector<std::wstring> lines = test_source_lines();
    ASSERT_EQ(lines.size(), 1u);
    // Behind the date and time of day, "yyyy/mm/dd|hh:mm:ss.mmm|".
    EXPECT_EQ(lines[0].substr(24),
              L"INF|1/2|e2e.cpp,42|log_everything|narrow wide -5 0000BEEF 1099511627776");
}

TEST_F(CrossProcessCalls, OutStringsArriveInTheClient)
{
    ComPtr<ILogMessage> message;
    ASSERT_EQ(create_message(level_info, message), S_OK);
    ASSERT_EQ(message->SetLocation("dir/e2e.cpp", 7, "out_strings"), S_OK);

    unique_cotaskmem<wchar_t> path, levels, id, file, function;
    EXPECT_EQ(control_->GetLogPath(path.put()), S_OK);
    EXPECT_EQ(control_->FormatLevels(0x41, levels.put()), S_OK);
    EXPECT_EQ(control_->FormatSourceId(7, id.put()), S_OK);
    EXPECT_EQ(message->GetFile(file.put()), S_OK);
    EXPECT_EQ(message->GetFunction(function.put()), S_OK);
    EXPECT_STREQ(path.get(), logs_.path().c_str());
    EXPECT_STREQ(levels.get(), L"FATAL,TRACE");
    EXPECT_STREQ(id.get(), L"CA7");
    EXPECT_STREQ(file.get(), L"e2e.cpp");
    EXPECT_STREQ(function.get(), L"out_strings");

    message.Reset();
    EXPECT_NO_FATAL_FAILURE(release_server());
}

} // namespace
} // namespace kvt::test
