// kvtlogctl tail on log files: the older files first, the last lines, the level and time
// filters, and --follow while the server rotates the file.

#include "kvtlogctl/held_service_fixture.h"
#include "kvtlogctl/tool_process.h"
#include "support/wait_for_writer.h"

#include "kvtlog/client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace kvt::test {
namespace {

class KvtlogctlTail : public heldservice {
protected:
    std::wstring file(const wchar_t* name) const { return logs_.path() + L"\\CA7\\App-1.0.0.0" + name + L".TXT"; }

    // Writes a log file as the server does: UTF-16LE behind a byte-order mark.
    void write_log(const wchar_t* name, const std::wstring& text) const
    {
        const std::wstring units = L"\xFEFF" + text;
        std::filesystem::create_directories(logs_.path() + L"\\CA7");
        std::ofstream(std::filesystem::path(file(name)), std::ios::binary)
            .write(reinterpret_cast<const char*>(units.data()), std::streamsize(units.size() * 2));
    }
};

std::wstring log_line(const wchar_t* time, const wchar_t* levels, const wchar_t* text)
{
    return L"2024/05/01|" + std::wstring(time) + L"|" + levels + L"|0/0|app.cpp,1|main|" + text;
}

TEST_F(KvtlogctlTail, ShowsTheLastLinesOfTheFilesOldestFirstAsFiltered)
{
    const std::wstring lines[] = {L"no header", log_line(L"10:00:00.000", L"INF", L"one"),
                                  log_line(L"10:00:01.000", L"ERR", L"two"), L"second line of two",
                                  log_line(L"10:00:02.000", L"DBG", L"three"),
                                  log_line(L"10:00:03.000", L"WRN,EVT", L"four")};
    write_log(L"-4", log_line(L"09:00:00.000", L"INF", L"behind a gap") + L"\r\n");
    write_log(L"-2", lines[0] + L"\r\n" + lines[1] + L"\r\n");
    write_log(L"-1", lines[2] + L"\r\n" + lines[3] + L"\r\n");
    write_log(L"", lines[4] + L"\r\n" + lines[5]); // the last line is not whole yet

    const struct {
        const wchar_t* options;
        std::vector<int> shown; // indexes into lines
    } cases[] = {
        {L"", {0, 1, 2, 3, 4, 5}},
        {L"-n 3", {2, 3, 4, 5}},
        {L"-n 0", {}},
        {L"--level error,DBG", {2, 3, 4}},
        {L"--level trace", {}},
        {L"--since 2024/05/01", {1, 2, 3, 4, 5}},
        {L"--since \"2024/05/01 10:00:01\"", {2, 3, 4, 5}},
        {L"--since 2024-5-1T10:00:00.5 --level INF,DBG", {4}},
        {L"--until 2024/05/01|10:00:01 -n all", {1}},
        {L"--since 13:45", {}}, // today
    };
    for (const auto& c : cases) {
        std::string expected;
        for (const int i : c.shown)
            expected += narrow(lines[i]) + "\r\n";
        EXPECT_EQ(succeed(L"tail \"" + file(L"") + L"\" " + c.options), expected);
    }
}

// Lines in UTF-8, each once and in order; what came while the service was suspended is not there.
TEST_F(KvtlogctlTail, SuspendDropsMessagesAndFollowShowsEveryOtherLineAcrossARotation)
{
    ASSERT_EQ(service_->SetLimit(7, 1, 3), S_OK);
    const kvtlog::source log{7, L"App", {1, 0, 0, 0}};
    log.info() << L"line 0 \u00e9";
    EXPECT_EQ(succeed(L"suspend"), "");
    log.info() << "dropped";
    EXPECT_EQ(succeed(L"resume"), "");
    wait_for_writer(control_.Get());

    toolprocess tail(L"tail --follow CA7 App 1.0.0.0");
    for (int i = 1; i <= 12; ++i) {
        ::Sleep(100);
        log.info() << "line " << i;
    }
    const auto lines_out = [&tail] { return std::ranges::count(tail.out(), '\n'); };
    for (int i = 0; i < 200 && lines_out() < 13; ++i)
        ::Sleep(100);
    const std::string out = tail.out();
    std::size_t at = out.find("|line 0 \xC3\xA9\r\n");
    for (int i = 1; i <= 12; ++i) // each line once, in order
        EXPECT_NE(at = out.find("|line " + std::to_string(i) + "\r\n", at), std::string::npos) << out;
    EXPECT_EQ(lines_out(), 13);
    EXPECT_TRUE(file_exists(file(L"-1")));
    EXPECT_EQ(tail.err(), "");
}

} // namespace
} // namespace kvt::test
