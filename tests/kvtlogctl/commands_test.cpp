// Every kvtlogctl command against a running server: exit codes, output, and the effect on
// the service. The test holds the service, so each kvtlogctl process reaches the same server.

#include "kvtlogctl/held_service_fixture.h"
#include "kvtlogctl/tool_process.h"

#include <gtest/gtest.h>

#include <array>

namespace kvt::test {
namespace {

class KvtlogctlCommands : public heldservice {
protected:
    // The levels, size limit and number of files the service holds for id.
    std::array<DWORD, 3> held(DWORD id) const
    {
        std::array<DWORD, 3> values{};
        EXPECT_EQ(control_->GetLevel(id, &values[0]), S_OK);
        EXPECT_EQ(service_->GetLimit(id, &values[1], &values[2]), S_OK);
        return values;
    }
};

// Each row runs after the rows above it, so what a command shows is what the rows before set.
TEST_F(KvtlogctlCommands, SettingsCommandsTakeEveryFormOfIdAndLevelsAndShowWhatTheServiceHolds)
{
    const std::string logs = narrow(logs_.path()), other = logs + "\\other";
    const struct {
        std::wstring arguments;
        std::string out;
    } steps[] = {
        {L"path", logs + "\r\n"},
        {L"path \"" + wide(other) + L"\"", ""},
        {L"path", other + "\r\n"},
        {L"level CA7 error warning", ""},
        {L"level 7", "ERROR,WARNING\r\n"},
        {L"level 8 FTL;trc", ""},
        {L"level ca8", "FATAL,TRACE\r\n"},
        {L"level GE none", ""},
        {L"level 0", "none\r\n"},
        {L"level default info,debug", ""},
        {L"level DEFAULT", "INFO,DEBUG\r\n"},
        {L"limit CA7 100 2", ""},
        {L"limit CA7", "100 KiB, 2 files\r\n"},
        {L"limit default 512 5", ""},
        {L"limit 8", "512 KiB, 5 files\r\n"},
        {L"status CA7 GE", "log directory: " + other + "\r\n"
                           "default: levels INFO,DEBUG; limit 512 KiB, 5 files\r\n"
                           "CA7: levels ERROR,WARNING; limit 100 KiB, 2 files\r\n"
                           "GE: levels none; limit 512 KiB, 5 files\r\n"},
    };
    for (const auto& step : steps)
        EXPECT_EQ(succeed(step.arguments), step.out) << narrow(step.arguments);

    wchar_t* path = nullptr;
    ASSERT_EQ(control_->GetLogPath(&path), S_OK);
    const uniquetaskmem<wchar_t> owner(path);
    EXPECT_EQ(narrow(path), other);
    EXPECT_EQ(held(7), (std::array<DWORD, 3>{0x06, 100, 2}));
    EXPECT_EQ(held(8)[0], 0x41u);
    EXPECT_EQ(held(0)[0], 0u);
    EXPECT_EQ(held(0xFFFFFFFF), (std::array<DWORD, 3>{0x30, 512, 5}));
}

TEST_F(KvtlogctlCommands, BadArgumentsFailWithOneLineAndChangeNothing)
{
    const struct {
        const wchar_t* arguments;
        DWORD exit_code;
        const char* message; // the start of the one line on the standard error
    } cases[] = {
        {L"bogus", 2, "kvtlogctl: unknown command \"bogus\"; see kvtlogctl --help"},
        {L"level", 2, "kvtlogctl level: too few arguments; see kvtlogctl level --help"},
        {L"level CA0 error", 1, "kvtlogctl level: ParseSourceId(\"CA0\") failed: 0x80070057 "},
        {L"level CA7 loud", 1, "kvtlogctl level: ParseLevels(\"loud\") failed: 0x80070057 "},
        {L"limit CA7 10", 2, "kvtlogctl limit: give both SIZE_KIB and FILES; see kvtlogctl limit --help"},
        {L"limit CA7 ten 2", 2, "kvtlogctl limit: SIZE_KIB must be a number from 0 to 4294967295, not \"ten\""},
        {L"limit CA7 10 256", 1, "kvtlogctl limit: SetLimit failed: 0x80070057 "},
        {L"suspend now", 2, "kvtlogctl suspend: too many arguments"},
        {L"tail", 2, "kvtlogctl tail: give FILE, or ID NAME VERSION"},
        {L"tail x.TXT --since never", 2, "kvtlogctl tail: \"never\" is not a time"},
        {L"tail CA7 App 1.0", 2, "kvtlogctl tail: the version must be four numbers"},
        {L"tail missing.TXT", 1, "kvtlogctl tail: CreateFileW(missing.TXT) failed: 0x80070002 "},
    };
    for (const auto& c : cases) {
        toolprocess tool(c.arguments);
        EXPECT_EQ(tool.wait(), c.exit_code) << narrow(c.arguments);
        const std::string err = tool.err();
        EXPECT_TRUE(err.starts_with(c.message)) << narrow(c.arguments) << ": " << err;
        EXPECT_EQ(err.find("\r\n"), err.size() - 2) << narrow(c.arguments) << ": " << err;
        EXPECT_EQ(tool.out(), "") << narrow(c.arguments);
    }
    EXPECT_EQ(held(7), (std::array<DWORD, 3>{0xFFFFFFFF, 2048, 3}));
}

TEST_F(KvtlogctlCommands, EveryCommandExplainsItself)
{
    for (const std::wstring command : {L"path", L"level", L"limit", L"suspend", L"resume", L"status", L"tail"}) {
        const std::string usage = "usage: kvtlogctl " + narrow(command);
        EXPECT_TRUE(succeed(command + L" --help").starts_with(usage)) << usage;
        EXPECT_TRUE(succeed(L"help " + command).starts_with(usage)) << usage;
    }
    EXPECT_TRUE(succeed(L"--help").starts_with("usage: kvtlogctl COMMAND"));
    toolprocess bare(L"");
    EXPECT_EQ(bare.wait(), 2u);
    EXPECT_TRUE(bare.out().starts_with("usage: kvtlogctl COMMAND"));
}

} // namespace
} // namespace kvt::test
