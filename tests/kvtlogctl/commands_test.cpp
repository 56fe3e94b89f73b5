// Every kvtlogctl command against a running server: exit codes, output, and the effect on
// the service. The test holds the service, so each kvtlogctl process reaches the same server.

#include "kvtlogctl/tool_process.h"
#include "kvtlogctl/held_service_fixture.h"
#include "support/wait_for_writer.h"

#include "kvtlog/client.h"

#include <gtest/gtest.h>

namespace kvt::test {
namespace {

std::string utf8(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class KvtlogctlCommands : public held_service_fixture {
protected:
    // Runs kvtlogctl, expecting exit code 0 and nothing on the standard error.
    std::string succeed(const std::wstring& arguments)
    {
        const tool_result r = kvtlogctl(arguments);
        EXPECT_EQ(r.exit_code, 0u) << utf8(arguments) << ": " << r.err;
        EXPECT_EQ(r.err, "") << utf8(arguments);
        return r.out;
    }

    DWORD level(DWORD id)
    {
        DWORD mask = 0;
        EXPECT_EQ(control_->GetLevel(id, &mask), S_OK);
        return mask;
    }

    std::pair<DWORD, DWORD> limit(DWORD id)
    {
        DWORD size = 0, files = 0;
        EXPECT_EQ(service_->GetLimit(id, &size, &files), S_OK);
        return {size, files};
    }
};

TEST_F(KvtlogctlCommands, PathShowsAndSetsTheLogDirectory)
{
    EXPECT_EQ(succeed(L"path"), utf8(logs_.path()) + "\r\n");
    const std::wstring other = logs_.path() + L"\\other";
    EXPECT_EQ(succeed(L"path \"" + other + L"\""), "");
    wchar_t* path = nullptr;
    ASSERT_EQ(control_->GetLogPath(&path), S_OK);
    const unique_cotaskmem<wchar_t> owner(path);
    EXPECT_STREQ(path, other.c_str());
    EXPECT_EQ(succeed(L"path"), utf8(other) + "\r\n");
}

TEST_F(KvtlogctlCommands, LevelTakesEveryFormOfSourceIdAndLevelText)
{
    struct {
        const wchar_t* set;
        DWORD id;
        DWORD mask;
        const wchar_t* show;
        const char* shown;
    } const cases[] = {
        {L"level CA7 error warning", 7, 0x06, L"level 7", "ERROR,WARNING"},
        {L"level 7 FTL;trc", 7, 0x41, L"level ca7", "FATAL,TRACE"},
        {L"level GE none", 0, 0, L"level 0", "none"},
        {L"level default info,debug", 0xFFFFFFFF, 0x30, L"level DEFAULT", "INFO,DEBUG"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(succeed(c.set), "");
        EXPECT_EQ(level(c.id), c.mask) << utf8(c.set);
        EXPECT_EQ(succeed(c.show), std::string(c.shown) + "\r\n");
    }
}

TEST_F(KvtlogctlCommands, LimitShowsAndSetsSizeAndFiles)
{
    EXPECT_EQ(succeed(L"limit CA7 100 2"), "");
    EXPECT_EQ(limit(7), std::make_pair(DWORD{100}, DWORD{2}));
    EXPECT_EQ(succeed(L"limit CA7"), "100 KiB, 2 files\r\n");
    EXPECT_EQ(succeed(L"limit default 512 5"), "");
    EXPECT_EQ(limit(0xFFFFFFFF), std::make_pair(DWORD{512}, DWORD{5}));
    EXPECT_EQ(succeed(L"limit 8"), "512 KiB, 5 files\r\n");
}

TEST_F(KvtlogctlCommands, StatusShowsTheDefaultAndEachIdGiven)
{
    ASSERT_EQ(control_->SetLevel(7, 0x02), S_OK);
    ASSERT_EQ(service_->SetLimit(0, 64, 1), S_OK);
    EXPECT_EQ(succeed(L"status CA7 GE"),
              "log directory: " + utf8(logs_.path()) + "\r\n"
              "default: levels FATAL,ERROR,WARNING,EVENT,INFO,DEBUG,TRACE; limit 2048 KiB, 3 files\r\n"
              "CA7: levels ERROR; limit 2048 KiB, 3 files\r\n"
              "GE: levels FATAL,ERROR,WARNING,EVENT,INFO,DEBUG,TRACE; limit 64 KiB, 1 files\r\n");
}

TEST_F(KvtlogctlCommands, MessagesOfASuspendedServiceAreDropped)
{
    const kvtlog::source log{7, L"App", {1, 0, 0, 0}};
    EXPECT_EQ(succeed(L"suspend"), "");
    log.info() << "while suspended";
    EXPECT_EQ(succeed(L"resume"), "");
    log.info() << "after resume";
    wait_for_writer(control_.Get());
    const auto lines = read_log_lines(logs_.path() + L"\\CA7\\App-1.0.0.0.TXT");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with(L"|after resume")) << utf8(lines[0]);
}

TEST_F(KvtlogctlCommands, BadArgumentsFailWithOneLineAndChangeNothing)
{
    struct {
        const wchar_t* arguments;
        DWORD exit_code;
        const char* message;    // the start of the one line on the standard error
    } const cases[] = {
        {L"bogus", 2, "kvtlogctl: unknown command \"bogus\"; see kvtlogctl --help"},
        {L"level", 2, "kvtlogctl level: too few arguments; see kvtlogctl level --help"},
        {L"level CA0 error", 1, "kvtlogctl level: ParseSourceId(\"CA0\") failed: 0x80070057 "},
        {L"level CA7 loud", 1, "kvtlogctl level: ParseLevels(\"loud\") failed: 0x80070057 "},
        {L"limit CA7 10", 2, "kvtlogctl limit: give both SIZE_KIB and FILES; see kvtlogctl limit --help"},
        {L"limit CA7 ten 2", 2, "kvtlogctl limit: SIZE_KIB must be a number from 0 to 4294967295, not \"ten\""},
        {L"limit CA7 10 256", 1, "kvtlogctl limit: SetLimit failed: 0x80070057 "},
        {L"path a b", 2, "kvtlogctl path: too many arguments"},
        {L"suspend now", 2, "kvtlogctl suspend: too many arguments"},
        {L"tail", 2, "kvtlogctl tail: give FILE, or ID NAME VERSION"},
        {L"tail x.TXT --since never", 2, "kvtlogctl tail: \"never\" is not a time"},
        {L"tail x.TXT --lines", 2, "kvtlogctl tail: --lines needs a value"},
        {L"tail CA7 App 1.0", 2, "kvtlogctl tail: the version must be four numbers"},
        {L"tail missing.TXT", 1, "kvtlogctl tail: CreateFileW(missing.TXT) failed: 0x80070002 "},
    };
    for (const auto& c : cases) {
        const tool_result r = kvtlogctl(c.arguments);
        EXPECT_EQ(r.exit_code, c.exit_code) << utf8(c.arguments);
        EXPECT_TRUE(r.err.starts_with(c.message)) << utf8(c.arguments) << ": " << r.err;
        EXPECT_EQ(r.err.find("\r\n"), r.err.size() - 2) << utf8(c.arguments) << ": " << r.err;
        EXPECT_EQ(r.out, "") << utf8(c.arguments);
    }
    EXPECT_EQ(level(7), 0xFFFFFFFF);
    EXPECT_EQ(limit(7), std::make_pair(DWORD{2048}, DWORD{3}));
}

TEST_F(KvtlogctlCommands, EveryCommandExplainsItself)
{
    for (const wchar_t* command : {L"path", L"level", L"limit", L"suspend", L"resume", L"status", L"tail"}) {
        const std::string usage = "usage: kvtlogctl " + utf8(command);
        EXPECT_TRUE(succeed(std::wstring(command) + L" --help").starts_with(usage)) << utf8(command);
        EXPECT_TRUE(succeed(L"help " + std::wstring(command)).starts_with(usage)) << utf8(command);
    }
    EXPECT_TRUE(succeed(L"--help").starts_with("usage: kvtlogctl COMMAND"));
    const tool_result bare = kvtlogctl(L"");
    EXPECT_EQ(bare.exit_code, 2u);
    EXPECT_TRUE(bare.out.starts_with("usage: kvtlogctl COMMAND"));
}

TEST(KvtlogctlWithoutServer, NamesTheFailedActivation)
{
    const tool_result r = kvtlogctl(L"status");
    EXPECT_EQ(r.exit_code, 1u);
    EXPECT_TRUE(r.err.starts_with("kvtlogctl status: CoCreateInstance failed: 0x80040154 ")) << r.err;
}

} // namespace
} // namespace kvt::test
