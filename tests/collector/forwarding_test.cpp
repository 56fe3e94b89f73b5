// Records logged through the server arrive in a real collector (rsyslog, started by the
// CollectorStart fixture) parsed into the right fields, also when it restarts or stalls.

#include "support/log_checks.h"
#include "support/server_fixture.h"

#include <kvtlog/client.h>

#include <gtest/gtest.h>

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

// The held server forwarding to the collector, and source 7 to log with. Every wait of a test
// ends by the test's deadline, so that a test that fails does so well inside ctest's time.
// The collector's file holds the lines of earlier tests: base_ counts them.
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
        if (stopped_)
            ask_collector("cont");
        source_.Reset();
        admin_.Reset();
        heldservice::TearDown();
    }

    bool time_left() const { return ::GetTickCount64() < deadline_; }

    // Polls the check every 20 ms until it holds or the test's time is up.
    template <class Check>
    bool in_time(Check check) const
    {
        for (; !check(); ::Sleep(20)) {
            if (!time_left())
                return false;
        }
        return true;
    }

    // The collector's JSON lines once there are count of them, or those there are in time.
    std::vector<std::string> collected(std::size_t count) const
    {
        std::vector<std::string> lines;
        in_time([&] {
            lines.clear();
            std::istringstream in(collector_file("messages.json"));
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            return lines.size() >= count;
        });
        return lines;
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

    // Has the collector's watcher end or start rsyslog, or stop or continue it; waits for it.
    void ask_collector(const std::string& word)
    {
        stopped_ = word == "stop";
        ::DeleteFileW(collector_path("answer").c_str());
        std::ofstream(std::filesystem::path(collector_path("request.new"))) << word;
        ASSERT_TRUE(::MoveFileExW(collector_path("request.new").c_str(), collector_path("request").c_str(),
                                  MOVEFILE_REPLACE_EXISTING));
        ASSERT_TRUE(in_time([&] { return collector_file("answer").starts_with(word); })) << word;
    }

    const ULONGLONG deadline_ = ::GetTickCount64() + 45'000;
    ComPtr<ILogAdmin> admin_;
    ComPtr<ILogSource> source_;
    std::size_t base_ = 0;
    bool stopped_ = false;
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
    // Through the client library, so through this process's channel: the server knows whose.
    kvtlog::source{7, L"App", {1, 2, 3, 4}}.info() << "channel";

    const std::vector<std::string> lines = collected(base_ + std::size(rows) + 1);
    ASSERT_EQ(lines.size(), base_ + std::size(rows) + 1) << collector_file("rsyslogd.log");
    EXPECT_NE(lines.back().find("\"procid\": \"" + std::to_string(::GetCurrentProcessId()) + "\""), std::string::npos)
        << lines.back();
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        std::vector<std::string> fields = {"\"source\": \"CA7\", \"version\": \"1.2.3.4\"",
                                           "\"app\": \"App\", \"procid\": \"-\", \"msgid\": \"CA7\"",
                                           "\"version\": \"1\", \"msg\""};
        fields.insert(fields.end(), rows[i].expected.begin(), rows[i].expected.end());
        for (const std::string& field : fields)
            EXPECT_NE(lines[base_ + i].find(field), std::string::npos) << i << ": " << field << "\n"
                                                                      << lines[base_ + i].substr(0, 600);
    }
}

// A collector ended and started again gets the records logged meanwhile and after: the
// connection it closed is noticed before the next send, and the forwarder retries until it
// is back. A stalled one (SIGSTOP) holds up no file: what forwarding cannot take is dropped
// from it and counted, and every record is accounted for.
TEST_F(Collector, RecordsAfterARestartArriveAndAStalledCollectorCostsForwardingOnly)
{
    log(0x10, L"before");
    ASSERT_EQ(collected(base_ + 1).size(), base_ + 1);
    ask_collector("end");
    log(0x10, L"meanwhile");
    ask_collector("start");
    for (int i = 0; i < 3; ++i)
        log(0x10, L"after");
    ASSERT_EQ(collected(base_ + 5).size(), base_ + 5);
    EXPECT_EQ(counters().forwarded, 5u);

    ask_collector("stop");
    // Until the connection's buffers and then the forwarding queue are full.
    const std::wstring text(100'000, L's');
    while (counters().forwardFull == 0 && time_left())
        log(0x10, text);
    LogCounters c{};
    EXPECT_TRUE(in_time([&] {
        c = counters();
        return c.written == c.committed;
    }));
    EXPECT_GT(c.forwardFull, 0u);
    ask_collector("cont");
    EXPECT_TRUE(in_time([&] {
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
