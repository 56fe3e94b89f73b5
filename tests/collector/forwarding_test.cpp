// Records logged through the server arrive in a real collector (rsyslog, started by the
// CollectorStart fixture) parsed into the right fields.

#include "support/log_checks.h"
#include "support/server_fixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kvt::test {
namespace {

std::string collector_file(const char* name)
{
    return read_file_text(build_path((std::string(KVT_COLLECTOR_DIR) + "/" + name).c_str()));
}

// The collector's JSON lines once there are count of them, or what there is after 20 s.
std::vector<std::string> collected(std::size_t count)
{
    std::vector<std::string> lines;
    for (const ULONGLONG end = ::GetTickCount64() + 20'000; lines.size() < count && ::GetTickCount64() < end;
         ::Sleep(20)) {
        lines.clear();
        std::istringstream in(collector_file("messages.json"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    return lines;
}

using Collector = heldservice;

TEST_F(Collector, RecordsArriveParsedWithUtf8TextsEscapesLineBreaksAndLongTexts)
{
    ComPtr<ILogAdmin> admin;
    ASSERT_EQ(service_.As(&admin), S_OK);
    const DWORD port = std::stoul(collector_file("port"));
    ASSERT_EQ(admin->SetForwarding(L"127.0.0.1", port, 16, 0x7F), S_OK);

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
    ComPtr<ILogSource> source;
    const DWORD version[4] = {1, 2, 3, 4};
    ASSERT_EQ(service_->CreateSource(7, L"App", version, IID_PPV_ARGS(&source)), S_OK);
    for (const auto& row : rows) {
        ComPtr<ILogMessage> message;
        ASSERT_EQ(source->CreateMessage(row.level, IID_PPV_ARGS(&message)), S_OK);
        ASSERT_EQ(message->SetLocation(row.file, 42, row.function), S_OK);
        ASSERT_EQ(message->AddWString(row.text.c_str()), S_OK);
    }

    const std::vector<std::string> lines = collected(std::size(rows));
    ASSERT_EQ(lines.size(), std::size(rows)) << collector_file("rsyslogd.log");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> fields = {"\"source\": \"CA7\", \"version\": \"1.2.3.4\"",
                                           "\"app\": \"App\", \"procid\": \"-\", \"msgid\": \"CA7\"",
                                           "\"version\": \"1\", \"msg\""};
        fields.insert(fields.end(), rows[i].expected.begin(), rows[i].expected.end());
        for (const std::string& field : fields)
            EXPECT_NE(lines[i].find(field), std::string::npos) << i << ": " << field << "\n" << lines[i].substr(0, 600);
    }
    EXPECT_EQ(admin->SetForwarding(nullptr, 0, 0, 0), S_OK);
}

} // namespace
} // namespace kvt::test
