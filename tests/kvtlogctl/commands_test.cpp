// kvtlogctl against a running server. Its own code in this process: the forms of source id
// it reads itself, what each command prints and its exit code, the viewer's filters, and
// following a file while the server rotates it (the service's parsers have their own tests;
// the shown settings are those of the status row and of the console examples). And
// kvtlogctl.exe as a process, with the console examples of the documentation. A malloc spy
// counts the CoTaskMem blocks of the process around each command, so that a text the service
// hands out and kvtlogctl never frees shows.

#include "kvtlogctl/commands.h"
#include "kvtlogctl/tail.h"
#include "support/log_checks.h"
#include "support/processes.h"
#include "support/server_fixture.h"

#include "kvtlog/client.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace kvt::test {
namespace {

// Counts the CoTaskMem blocks allocated while it is registered and not freed yet; a
// reallocation counts as a free and an allocation.
class blockcounter final : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return (*out = iid == IID_IUnknown || iid == IID_IMallocSpy ? this : nullptr) ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override { return alive += block != nullptr, block; }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override { return alive -= block && spied, block; }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** request, BOOL spied) override
    {
        return alive -= block && spied, *request = block, size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return alive += block != nullptr, block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

    std::atomic<long> alive{0};
} spy;

const HRESULT spy_registered = ::CoRegisterMallocSpy(&spy);  // for the life of the program

struct commandrun { int code; std::string out, err; };

// Runs kvtlogctl as its main does, the standard output and error caught in files, and
// expects every CoTaskMem block allocated meanwhile to be freed.
commandrun run(const ctl::arguments& args)
{
    EXPECT_EQ(spy_registered, S_OK);
    const tempdirectory files;
    const std::wstring names[2] = {files.path() + L"\\out", files.path() + L"\\err"};
    const DWORD streams[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    const HANDLE standard[2] = {::GetStdHandle(streams[0]), ::GetStdHandle(streams[1])};
    uniquehandle caught[2];
    for (int i = 0; i < 2; ++i) {
        caught[i].reset(::CreateFileW(names[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ::SetStdHandle(streams[i], caught[i].get());
    }
    const long blocks = spy.alive;
    const int code = ctl::run(args, ctl::console());
    EXPECT_EQ(spy.alive, blocks) << "CoTaskMem blocks left by " << ::testing::PrintToString(args);
    for (int i = 0; i < 2; ++i)
        ::SetStdHandle(streams[i], standard[i]);
    return {code, read_file_text(names[0]), read_file_text(names[1])};
}

// The service is held by the test: the commands reach the server it runs in.
using Kvtlogctl = heldservice;

std::wstring app_file(const tempdirectory& logs, const wchar_t* number = L"")
{
    return logs.path() + L"\\CA7\\App-1.0.0.0" + number + L".TXT";
}

// Each row runs after the rows above it, so what a command shows is what the rows before set
// in the service.
// A failing row prints one line on the standard error, which starts with the row's text. The
// viewer reads files written as the server writes them (UTF-16LE behind a byte-order mark):
// the older files first, none behind a gap, a line without a header with the line it
// continues, the lines out in UTF-8.
TEST_F(Kvtlogctl, EachCommandLineAnswersWithItsOutputAndExitCodeAndFreesWhatItGot)
{
    const std::wstring lines[] = {L"no header", L"2024/05/01|10:00:00.000|INF|0/0|a.cpp,1|f|one \u00e9",
                                  L"2024/05/01|10:00:01.000|ERR|0/0|a.cpp,1|f|two", L"second line of two",
                                  L"2024/05/01|10:00:02.000|DBG|0/0|a.cpp,1|f|three",
                                  L"2024/05/01|10:00:03.000|WRN,EVT|0/0|a.cpp,1|f|four"};
    const std::pair<const wchar_t*, std::wstring> files[] = {
        {L"-4", L"2024/05/01|09:00:00.000|INF|0/0|a.cpp,1|f|behind a gap\r\n"},
        {L"-2", lines[0] + L"\r\n" + lines[1] + L"\r\n"},
        {L"-1", lines[2] + L"\r\n" + lines[3] + L"\r\n"},
        {L"", lines[4] + L"\r\n" + lines[5]}, // the last line is not whole yet
    };
    std::filesystem::create_directories(logs_.path() + L"\\CA7");
    for (const auto& [number, text] : files) {
        const std::wstring units = L"\xFEFF" + text;
        std::ofstream(std::filesystem::path(app_file(logs_, number)), std::ios::binary)
            .write(reinterpret_cast<const char*>(units.data()), std::streamsize(units.size() * 2));
    }
    const auto shown = [&lines](std::initializer_list<int> which) {
        std::wstring text;
        for (const int i : which)
            text += lines[i] + L"\r\n";
        return ctl::to_utf8(text);
    };
    const std::wstring other = logs_.path() + L"\\other", tail = L"tail", file = app_file(logs_);
    const std::string invalid = "failed: 0x80070057 ";
    const struct { ctl::arguments args; int code; std::string out, err = {}; } rows[] = {
        {{L"path", other}, 0, ""},
        {{L"level", L"CA7", L"error", L"warning"}, 0, ""},
        {{L"level", L"GE", L"none"}, 0, ""},
        {{L"level", L"default", L"info,debug"}, 0, ""},
        {{L"level", L"DEFAULT"}, 0, "INFO,DEBUG\r\n"},
        {{L"limit", L"CA7", L"100", L"2"}, 0, ""},
        {{L"limit", L"default", L"512", L"5"}, 0, ""},
        {{L"status", L"CA7", L"GE"}, 0, ctl::to_utf8(L"log directory: " + other + L"\r\n") +
                                        "default: levels INFO,DEBUG; limit 512 KiB, 5 files\r\n"
                                        "CA7: levels ERROR,WARNING; limit 100 KiB, 2 files\r\n"
                                        "GE: levels none; limit 512 KiB, 5 files\r\n"},
        {{L"forward", L"127.0.0.1:9", L"--levels", L"error,fatal", L"--facility", L"16"}, 0, ""},
        {{L"forward", L"off"}, 0, ""},
        {{L"forward"}, 0, "forwarding: off\r\n"},
        {{tail, file}, 0, shown({0, 1, 2, 3, 4, 5})},
        {{tail, file, L"-n", L"3"}, 0, shown({2, 3, 4, 5})},
        {{tail, file, L"-n", L"0"}, 0, ""},
        {{tail, file, L"--level", L"error,DBG"}, 0, shown({2, 3, 4})},
        {{tail, file, L"--level", L"trace"}, 0, ""},
        {{tail, file, L"--since", L"2024/05/01"}, 0, shown({1, 2, 3, 4, 5})},
        {{tail, file, L"--since", L"2024/05/01 10:00:01"}, 0, shown({2, 3, 4, 5})},
        {{tail, file, L"--since", L"2024-5-1T10:00:00.5", L"--level", L"INF,DBG"}, 0, shown({4})},
        {{tail, file, L"--until", L"2024/05/01|10:00:01", L"-n", L"all"}, 0, shown({1})},
        {{tail, file, L"--since", L"13:45"}, 0, ""}, // today
        {{L"bogus"}, 2, "", "kvtlogctl: unknown command \"bogus\"; see kvtlogctl --help"},
        {{L"level"}, 2, "", "kvtlogctl level: too few arguments; see kvtlogctl level --help"},
        {{L"level", L"CA0", L"error"}, 1, "", "kvtlogctl level: ParseSourceId(\"CA0\") " + invalid},
        {{L"level", L"4294967296", L"error"}, 1, "", "kvtlogctl level: ParseSourceId(\"4294967296\") " + invalid},
        {{L"level", L"CA7", L"error,loud"}, 1, "", "kvtlogctl level: ParseLevels(\"error,loud\") " + invalid},
        {{L"limit", L"CA7", L"10"}, 2, "", "kvtlogctl limit: give both SIZE_KIB and FILES; see kvtlogctl limit --help"},
        {{L"limit", L"CA7", L"ten", L"2"}, 2, "", "kvtlogctl limit: SIZE_KIB must be a number from 0 to 4294967295, not \"ten\""},
        {{L"limit", L"CA7", L"10", L"256"}, 1, "", "kvtlogctl limit: SetLimit " + invalid},
        {{L"suspend", L"now"}, 2, "", "kvtlogctl suspend: too many arguments"},
        {{L"forward", L"[::1]:65536"}, 2, "", "kvtlogctl forward: PORT must be a number from 1 to 65535"},
        {{L"forward", L"host:1", L"--facility", L"24"}, 2, "", "kvtlogctl forward: FACILITY must be a number from 0 to 23"},
        {{tail}, 2, "", "kvtlogctl tail: give FILE, or ID NAME VERSION"},
        {{tail, L"x.TXT", L"--since", L"never"}, 2, "", "kvtlogctl tail: \"never\" is not a time"},
        {{tail, L"CA7", L"App", L"1.0"}, 2, "", "kvtlogctl tail: the version must be four numbers"},
        {{tail, L"missing.TXT"}, 1, "", "kvtlogctl tail: CreateFileW(missing.TXT) failed: 0x80070002 "},
    };
    for (const auto& row : rows) {
        const commandrun ran = run(row.args);
        EXPECT_EQ(ran.code, row.code) << ::testing::PrintToString(row.args);
        EXPECT_EQ(ran.out, row.out) << ::testing::PrintToString(row.args);
        EXPECT_EQ(ran.err.substr(0, row.err.size()), row.err);
        EXPECT_EQ(ran.err.find("\r\n"), row.err.empty() ? std::string::npos : ran.err.size() - 2) << ran.err;
    }
}

TEST_F(Kvtlogctl, EveryCommandExplainsItself)
{
    for (const std::wstring command : {L"path", L"level", L"limit", L"suspend", L"resume", L"status", L"stats", L"tail", L"forward"})
        for (const ctl::arguments& args : {ctl::arguments{command, L"--help"}, ctl::arguments{L"help", command}})
            EXPECT_TRUE(run(args).out.starts_with("usage: kvtlogctl " + ctl::to_utf8(command))) << ctl::to_utf8(command);
    for (const ctl::arguments& args : {ctl::arguments{L"--help"}, ctl::arguments{}})
        EXPECT_TRUE(run(args).out.starts_with("usage: kvtlogctl COMMAND")) << args.size();
    EXPECT_EQ(run({}).code, 2);
}

// Every line once and in order across a rotation; what came while the service was suspended
// is not there.
TEST_F(Kvtlogctl, TailFollowsTheFileAcrossARotation)
{
    ASSERT_EQ(service_->SetLimit(7, 1, 3), S_OK);
    const kvtlog::source log{7, L"App", {1, 0, 0, 0}};
    log.info() << "line 0";
    EXPECT_EQ(run({L"suspend"}).code, 0);
    log.info() << "dropped";
    EXPECT_EQ(run({L"resume"}).code, 0);
    wait_for_writer(control_.Get());

    // The viewer ends itself after 13 lines, as when its output is gone, else at the stop event.
    std::vector<std::wstring> shown;  // the viewer's thread's until it has ended
    std::atomic<bool> ended = false;
    const uniquehandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread viewer([&] {
        ctl::tail({app_file(logs_), std::nullopt, true, {}, 10, stop.get()},
                  [&](std::wstring_view line) { return shown.emplace_back(line), shown.size() < 13; });
        ended = true;
    });
    for (int i = 1; i <= 12; ++i) {
        ::Sleep(30);
        log.info() << "line " << i;
    }
    EXPECT_TRUE(wait_until([&] { return ended.load(); }));
    ::SetEvent(stop.get());
    viewer.join();
    ASSERT_EQ(shown.size(), 13u);
    for (std::size_t i = 0; i < shown.size(); ++i)
        EXPECT_TRUE(shown[i].ends_with(L"|line " + std::to_wstring(i))) << shown[i];
    EXPECT_TRUE(file_exists(app_file(logs_, L"-1")));

    // What the service counted of it: every line written, the one while suspended dropped, and
    // a rotation before each line that found its file at 1 KiB or more.
    std::uint64_t size = 2, bytes = 0, rotations = 0;
    for (const std::wstring& line : shown) {
        if (size >= 1024)
            ++rotations, size = 2;
        size += (line.size() + 2) * 2;
        bytes += (line.size() + 2) * 2;
    }
    std::string stats = run({L"stats", L"CA7"}).out;  // its columns with one blank between them
    stats.erase(std::unique(stats.begin(), stats.end(), [](char a, char b) { return a == ' ' && b == ' '; }), stats.end());
    EXPECT_EQ(stats, "source committed written bytes rotations suspended no file refused ring full lost queued\r\nCA7 14 13 " +
                         std::to_string(bytes) + " " + std::to_string(rotations) + " 1 0 0 0 0 0\r\nqueued now: 0\r\n");
}

// kvtlogctl.exe as a process: the console examples of the administrators' documentation, run
// in order against a running server (each "> " line a command, the lines below it its
// output), and the exit code of an unusable command. C:\Logs stands for the test's log
// directory; the digits of a line's date and time may differ.
// The lines of text, C:\Logs replaced by logs and a leading date and time by zeros.
std::vector<std::string> lines_of(const std::string& text, const std::string& logs)
{
    static const std::regex doc_logs(R"(C:\\Logs)"), stamp(R"(^\d{4}/\d\d/\d\d\|\d\d:\d\d:\d\d\.\d{3})");
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line = std::regex_replace(line.substr(0, line.find('\r')), doc_logs, logs);
        lines.push_back(std::regex_replace(line, stamp, "0000/00/00|00:00:00.000"));
    }
    return lines;
}

using KvtlogctlProgram = heldservice;

TEST_F(KvtlogctlProgram, EveryConsoleExampleGivesTheOutputShownAndFailuresTheirExitCodes)
{
    const std::string logs(logs_.path().begin(), logs_.path().end());
    std::vector<std::pair<std::string, std::vector<std::string>>> commands; // with their output
    bool in_console = false;
    for (const std::string& line : lines_of(read_file_text(path_beside_this_program(KVT_DOC_PATH)), logs)) {
        if (line.starts_with("```"))
            in_console = line == "```console";
        else if (in_console && line.starts_with("> "))
            commands.push_back({line.substr(2), {}});
        else if (in_console && !commands.empty())
            commands.back().second.push_back(line);
    }
    EXPECT_GE(commands.size(), 10u);
    for (const auto& [command, shown] : commands) {
        const bool tool = command.starts_with("kvtlogctl ");
        ASSERT_TRUE(tool || command == "kvtlog_example") << command;
        wait_for_writer(control_.Get());
        const std::wstring arguments = tool ? std::wstring(command.begin() + 10, command.end()) : L"";
        std::string out, err;
        EXPECT_EQ(run_process(build_path(tool ? KVTLOGCTL_PATH : KVT_EXAMPLE_PATH), arguments, &out, &err), 0u)
            << command << ": " << err;
        EXPECT_EQ(lines_of(out, logs), shown) << command;
    }
    // The error line of an unusable command is the in-process rows' concern.
    EXPECT_EQ(run_process(build_path(KVTLOGCTL_PATH), L"bogus"), 2u);
}

} // namespace
} // namespace kvt::test
