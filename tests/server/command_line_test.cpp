#include "server/command_line.h"

#include "registration/registration_fixture.h"

#include <optional>
#include <string>
#include <vector>

namespace kvt::test {
namespace {

shownbox command_line_error(const std::wstring& text) { return {L"KVT.Logging.1", text, MB_OK | MB_ICONERROR}; }

shownbox incompatible(const std::wstring& first, const std::wstring& second)
{
    return command_line_error(L"The command line switch " + first + L" is incompatible with the switch " + second + L".");
}

const shownbox unrecognized = command_line_error(L"Unrecognized option at command line.");
const shownbox bad_parameter = command_line_error(L"Error in parameter string for command line switch -LOGPATH.");
const shownbox logpath_alone = command_line_error(
    L"The command line switch -LogPath requires the switch -RegServer to be specified.");

// Registration without a log directory stores the variable, so it follows TEMP at run time.
const registryvalue default_directory = string_value(L"%TEMP%", REG_EXPAND_SZ);

struct commandcase {
    const wchar_t* commandline;
    run_mode mode;
    std::vector<shownbox> boxes = {};
    // The Settings (default) a registration stored; none: nothing may be registered.
    std::optional<registryvalue> log_directory = {};
    bool quiet = false;  // the quiet flag afterwards
};

constexpr run_mode rejected = run_mode::error_reported, done = run_mode::registration_done;

const std::wstring long_path(10000, L'p'), long_line = L"-RegServer -LogPath=" + long_path;

const commandcase cases[] = {
    {nullptr, run_mode::no_mode_switch}, {L"hello world", run_mode::no_mode_switch},
    {L"-Embedding /Q", run_mode::embedding, {}, {}, true}, {L"/eMbEdDiNg", run_mode::embedding},
    {L"-RegServer", done, {registered}, default_directory}, {L"hello/RegServer", done, {registered}, default_directory},
    {L"-silent -RegServer", done, {}, default_directory, true}, {L"-Quiet /unregserver", done, {}, {}, true},
    {L"-", rejected, {unrecognized}}, {L"-RegServerX", rejected, {unrecognized}},
    {L"--RegServer", rejected, {unrecognized}}, {L"-Sx", rejected, {unrecognized}},
    // A quiet switch is read in its turn: "/S -X" shows nothing, "-X /S" never reaches the /S.
    {L"-RegServer\t/S", rejected, {unrecognized}}, {L"-X /S", rejected, {unrecognized}},
    {L"/S -X", rejected, {}, {}, true},
    {L"-RegServer -LogPath:C:\\Logs", done, {registered}, string_value(L"C:\\Logs")},
    {L"-RegServer -LogPath=%TEMP%\\x", done, {registered}, string_value(L"%TEMP%\\x", REG_EXPAND_SZ)},
    {L"-RegServer -LogPath C:\\Logs", done, {registered}, default_directory},
    {L"-RegServer -LogPath:", done, {registered}, default_directory},
    {L"-RegServer -LogPath: ", done, {registered}, string_value(L"")},
    {L"-RegServer -LogPath:\"C:\\My Logs\"", done, {registered}, string_value(L"C:\\My Logs")},
    {L"-RegServer -LogPath:\"a\"\"b\"", done, {registered}, string_value(L"a\"b")},
    {L"-RegServer -LogPath:\"C:\\open", done, {registered}, string_value(L"C:\\open")},
    {L"-RegServer -LogPath:\"C:\\x\"y", rejected, {bad_parameter}},
    {L"-RegServer -LogPath:a -LogPath:b", done, {registered}, string_value(L"b")},
    {long_line.c_str(), done, {registered}, string_value(long_path)},
    {L"-RegServer -LogPath:a -LogPath", done, {registered}, default_directory},
    {L"-LogPath:C:\\Logs", rejected, {logpath_alone}}, {L"-LogPath", rejected, {logpath_alone}},
    {L"-UnregServer", done, {unregistered}},
    {L"-UnregServer -RegServer", rejected, {incompatible(L"-RegServer", L"-UnregServer")}},
    {L"-UnregServer -LogPath:x", rejected, {incompatible(L"-UnregServer", L"-LogPath")}},
    {L"-Embedding -RegServer", rejected, {incompatible(L"-Embedding", L"-RegServer")}},
    {L"-Embedding -UnregServer", rejected, {incompatible(L"-Embedding", L"-UnregServer")}},
    {L"-Embedding -LogPath:x", rejected, {incompatible(L"-Embedding", L"-LogPath")}},
    {L"-Embedding -RegServer -UnregServer", rejected, {incompatible(L"-Embedding", L"-RegServer")}},
};

TEST(CommandLineTest, EachLineGivesItsModeBoxesQuietFlagAndRegistration)
{
    for (const commandcase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.commandline ? c.commandline : L"(null)")));
        const scratchregistry registry;
        const boxrecorder boxes;
        EXPECT_EQ(parse_command_line(c.commandline), c.mode);
        EXPECT_EQ(boxes.shown(), c.boxes);
        EXPECT_EQ(quiet(), c.quiet);
        if (c.log_directory)
            EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, class_key + L"\\Settings"), *c.log_directory);
        else
            EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, class_key));
    }
}

} // namespace
} // namespace kvt::test
