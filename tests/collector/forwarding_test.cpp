// Records logged through the server arrive in a real collector (rsyslog, started by the
// CollectorStart fixture) parsed into the right fields, also when it restarts or stalls.

#include "support/log_checks.h"
#include "support/server_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kvt::test {
namespace {

std::wstring collector_path(const char* name)
{
    return build_path((std::string(KVT_COLLECTOR_DIR) + "/" + name).c_str());
}

std::string collector_file(const char* name)
{
    return read_file_text(collector_path(name));
}

template <class Check>
bool within_20s(Check check)
{
    for (const ULONGLONG end = ::GetTickCount64() + 20'000; !check(); ::Sleep(50)) {
        if (::GetTickCount64() > end)
            return false;
    }
    return true;
}

// The collector's JSON lines once there are count of them, or what there is after 20 s.
std::vector<std::string> collected(std::size_t count)
{
    std::vector<std::string> lines;
    within_20s([&] {
        lines.clear();
        std::istringstream in(collector_file("messages.json"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines.size() >= count;
    });
    return lines;
}

// Forwarding to the collector from the held server, and source 7 to log with. The
// collector's file holds the lines of earlier tests: base_ counts them.
class Collector : public heldservice {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(heldservice::SetUp());
        ASSERT_EQ(service_.As(&admin_), S_OK);
        ASSERT_EQ(admin_->SetForwarding(L"127.0.0.1", std::stoul(collector_file("port")), 16, 0x7F), S_OK);
        const DWORD version[4] = {1, 2, 3, 4};
        ASSERT_EQ(service_->CreateSource(7, L"App", version, IID_PPV_ARGS(&source_)), S_OK);
        base_ = collected(0).size();
    }
    void TearDown() override
    {
        source_.Reset();
        admin_.Reset();
        heldservice::TearDown();
    }

    void log(DWORD level, const std::wstring& text, const char* file = "main.c", const char* function = "f")
    {
        ComPtr<ILogMessage> message;
        ASSERT_EQ(source_->CreateMessage(level, IID_PPV_ARGS(&message)), S_OK);
        ASSERT_EQ(message->SetLocation(file, 42, function), S_OK);
        ASSERT_EQ(message->AddWString(text.c_str()), S_OK);
    }

    LogCounters counters()
    {
        DWORD id = 0;
        LogCounters c{};
        EXPECT_EQ(admin_->GetCounters(7, &id, &c), S_OK);
        return c;
    }

    // Has the collector's script restart rsyslog, or stop or continue it, and waits for it.
    static void ask_collector(const std::string& word)
    {
        ::DeleteFileW(collector_path("answer").c_str());
        std::ofstream(std::filesystem::path(collector_path("request.new"))) << word;
        ASSERT_TRUE(::MoveFileExW(collector_path("request.new").c_str(), collector_path("request").c_str(),
                                  MOVEFILE_REPLACE_EXISTING));
        ASSERT_TRUE(within_20s([&] { return collector_file("answer").starts_with(word); })) << word;
    }

    ComPtr<ILogAdmin> admin_;
    ComPtr<ILogSource> source_;
    std::size_t base_ = 0;
};

TEST_F(Collector, RecordsArriveParsedWithUtf8TextsEscapesLineBreaksAndLongTexts)
{
    const std::string bom = "\xEF\xBB\xBF", long_text(100'000, 'x');
    // The server cuts directories off file names: escapes of a backslash show in the function.
    const struct { DWORD level; const char* file; const char* function; std::wstring text;
                   std::vector<std::string> expected; } rows[] = {
        {0x10, "main.c", "f", L"h\u00e9llo \u2603 \U0001F600",
         {"\"pri\": \"134\"", "\"msg\": \"" + bom + "h\xC3\xA9llo \xE2\x98\x83 \xF0\x9F\x98\x80\"", "\"file\": \"main.c\""}},
        {0x03, "a\"b]c", "n\\f\"]", L"x",
         {"\"pri\": \"130\"", "\"file\": \"a\\\"b]c\"", "\"function\": \"n\\\\f\\\"]\"", "\"levels\": \"FTL,ERR\""}},
        {0x40, "main.c", "f", L"first\nsecond", {"\"pri\": \"135\"", "\"msg\": \"" + bom + "first\\r\\nsecond\""}},
        {0x08, "main.c", "f", std::wstring(long_text.begin(), long_text.end()), {"\"msg\": \"" + bom + long_text + "\""}},
    };
    for (const auto& row : rows)
        log(row.level, row.text, row.file, row.function);

    const std::vector<std::string> lines = collected(base_ + std::size(rows));
    ASSERT_EQ(lines.size(), base_ + std::size(rows)) << collector_file("rsyslogd.log");
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        for (const std::string& field : {std::string("\"version\": \"1\""), std::string("\"app\": \"App\""),
                                         std::string("\"msgid\": \"CA7\""), std::string("\"procid\": \"-\""),
                                         std::string("\"source\": \"CA7\""), std::string("\"version\": \"1.2.3.4\"")})
            EXPECT_NE(lines[base_ + i].find(field), std::string::npos) << i << ": " << field;
        for (const std::string& field : rows[i].expected)
            EXPECT_NE(lines[base_ + i].find(field), std::string::npos) << i << ": " << field;
    }
}

// A restarted collector loses nothing sent after the restart. A stalled one (SIGSTOP) holds
// up no file: what forwarding cannot take is dropped from it and counted, never silently.
TEST_F(Collector, RecordsAfterARestartArriveAndAStalledCollectorCostsForwardingOnly)
{
    log(0x10, L"before");
    ASSERT_EQ(collected(base_ + 1).size(), base_ + 1);
    ask_collector("restart");
    for (int i = 0; i < 3; ++i)
        log(0x10, L"after");
    ASSERT_EQ(collected(base_ + 4).size(), base_ + 4);

    ask_collector("stop");
    // Until the forwarding queue and the sockets' buffers are full, which depends on how long
    // the logging takes: each send time-out brings a new connection with empty buffers.
    const std::wstring text(20'000, L's');
    for (int i = 0; i < 10'000 && (i % 50 || counters().forwardFull == 0); ++i)
        log(0x10, text);
    wait_for_writer(control_.Get());
    const LogCounters stalled = counters();
    EXPECT_EQ(stalled.written, stalled.committed);
    EXPECT_GT(stalled.forwardFull, 0u);
    ask_collector("cont");
    LogCounters c{};
    EXPECT_TRUE(within_20s([&] {
        c = counters();
        return c.forwarded + c.forwardFull + c.forwardLost == c.committed;
    }));
    // A record counted lost may have arrived in part, never one counted forwarded.
    const std::size_t lines = collected(base_ + c.forwarded).size() - base_;
    EXPECT_GE(lines, c.forwarded);
    EXPECT_LE(lines, c.forwarded + c.forwardLost);
}

} // namespace
} // namespace kvt::test
