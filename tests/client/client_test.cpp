// The client library against the real server, in another process: the line each C++ type
// makes, what a statement costs when its level is off, where failed calls go, and the C++
// examples of the client developers' documentation, each built as a program of its own.

#include "support/log_checks.h"
#include "support/processes.h"
#include "support/scratch_registry.h"
#include "support/server_fixture.h"

#include "kvtlog/client.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <source_location>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

namespace kvt::test {
namespace {

using namespace std::literals;

using ClientMessage = heldservice;

// The values sit at their type's limits, so the text shows which kind of value of which width
// and signedness the type became. The statement goes through the channel, through COM (a
// source the library did not open, as where no channel can be had), and through the channel
// once more with a megabyte of text behind, which only COM takes: the same line each time.
TEST_F(ClientMessage, EachTypeGivesTheSameLineThroughTheChannelAndThroughCom)
{
    const std::source_location at = std::source_location::current();
    const auto statement = [&](const kvtlog::source& log) {
        return std::move(
            log(kvtlog::level::error | kvtlog::level::info, at).ids(1, 2)
            << true << 'x' << L'\u0101' << std::int8_t(INT8_MIN) << std::uint8_t(UINT8_MAX) << std::int16_t(INT16_MIN)
            << std::uint16_t(UINT16_MAX) << std::int32_t(INT32_MIN) << UINT32_MAX << long(LONG_MIN) << DWORD(MAXDWORD)
            << std::int64_t(INT64_MIN) << UINT64_MAX << 1.5f << -0.25 << "narrow" << L"wide" << "abcdef"sv.substr(1, 3)
            << L"uvwxyz"sv.substr(0, 2) << "str"s << L"wstr"s << kvtlog::hex32(255) << kvtlog::hex64(255)
            << kvtlog::errorcode(0x20000000));
    };
    {
        const kvtlog::source log{7, L"Types", {1, 0, 0, 0}};
        ComPtr<ILogSource> adopted;
        ASSERT_EQ(service_->CreateSource(7, L"Types", std::array<DWORD, 4>{1, 0, 0, 0}.data(), IID_PPV_ARGS(&adopted)), S_OK);
        statement(log);
        statement(kvtlog::source(kvtlog::comptr<ILogSource>(adopted.Detach())));
        statement(log) << std::string(1 << 20, 'm');
    }
    wait_for_writer(control_.Get());
    const auto lines = read_log_lines(logs_.path() + L"\\CA7\\Types-1.0.0.0.TXT");
    ASSERT_EQ(lines.size(), 3u);
    const std::string_view function = at.function_name();
    const std::wstring head = // behind the date and time
        L"ERR,INF|1/2|client_test.cpp," + std::to_wstring(at.line()) + L"|" + std::wstring(function.begin(), function.end()) +
        L"|truex\u0101-128255-3276865535-21474836484294967295-21474836484294967295"
        L"-922337203685477580818446744073709551615"
        L"1.500000e+000-2.500000e-001narrowwidebcduvstrwstr000000FF00000000000000FF"
        L"20000000 (No message defined for the code)";
    for (const std::wstring& line : lines)
        EXPECT_EQ(line.substr(24, head.size()), head);
    EXPECT_EQ(lines[0].size(), 24 + head.size());
    EXPECT_EQ(lines[1].size(), 24 + head.size());
    EXPECT_TRUE(lines[2].substr(24 + head.size()) == std::wstring(1 << 20, L'm')) << "a megabyte of text";
}

// Answers every CreateMessage with one result and counts the calls. It lives on the test's
// stack, so its reference count is not kept.
class answeringsource final : public ILogSource {
public:
    explicit answeringsource(HRESULT answer) : answer(answer) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateMessage(DWORD, REFIID, void** out) override { return ++calls, *out = nullptr, answer; }

    const HRESULT answer;
    int calls = 0;
};

std::vector<std::pair<HRESULT, std::string>> failures;
void remember_failure(HRESULT hr, const char* operation) { failures.emplace_back(hr, operation); }

TEST(ClientStatement, AtAnOffLevelCostsOneCallAndWhenGuardedEvaluatesNothing)
{
    failures.clear();
    answeringsource off(S_FALSE);
    const kvtlog::source log(kvtlog::comptr<ILogSource>(&off), remember_failure);
    log.debug() << "value " << 42 << L" and " << 1.5;
    int evaluated = 0;
    if (auto m = log.trace())
        m << ++evaluated;
    EXPECT_EQ(off.calls, 2);
    EXPECT_EQ(evaluated, 0);
    EXPECT_TRUE(failures.empty());
}

using ClientSource = heldservice;

TEST_F(ClientSource, FailedCallsGoToTheHandlerAndTheStatementGoesOn)
{
    failures.clear();
    answeringsource outofmemory(E_OUTOFMEMORY);
    EXPECT_FALSE(kvtlog::source(kvtlog::comptr<ILogSource>(&outofmemory), remember_failure).warning() << 1);
    const kvtlog::source throwing(kvtlog::comptr<ILogSource>(&outofmemory), [](HRESULT, const char*) { throw 1; });
    EXPECT_NO_THROW(throwing.info() << 1);
    EXPECT_EQ(failures, (decltype(failures){{E_OUTOFMEMORY, "CreateMessage"}}));
}

// Six sources opened by three threads share the process's one channel: a process gets four
// at most. Its level masks follow SetLevel at once. A channel is for the caller's own
// process only. Once the server will not open another, a source says so and logs through COM.
TEST_F(ClientSource, SourcesShareOneChannelWhichFollowsLevelsAndWithoutOneTheyLogThroughCom)
{
    failures.clear();
    {
        std::vector<kvtlog::source> sources(6);
        std::vector<std::jthread> threads;
        for (unsigned t = 0; t < 3; ++t)
            threads.emplace_back([&, t] {
                const kvtlog::apartment com;
                for (unsigned i = t; i < 6; i += 3)
                    sources[i] = kvtlog::source{i, L"Shared", {1, 0, 0, 0}, remember_failure};
            });
        threads.clear();
        ASSERT_EQ(control_->SetLevel(4, 0x01), S_OK);
        EXPECT_FALSE(sources[4].info());
        EXPECT_TRUE(sources[4].fatal() << "on");
        ASSERT_EQ(control_->SetLevel(4, 0x7F), S_OK);
        EXPECT_TRUE(sources[4].info() << "on again");
    }
    EXPECT_TRUE(failures.empty());

    ComPtr<ILogChannel> channels;
    ASSERT_EQ(service_.As(&channels), S_OK);
    DWORD id = 0;
    ULONGLONG ring = 0, levels = 0, wake = 0;
    EXPECT_EQ(channels->OpenChannel(::GetProcessId(server_.get()), 0, &id, &ring, &levels, &wake), E_ACCESSDENIED);
    for (int taken = 0; taken < 4; ++taken) {
        EXPECT_EQ(channels->OpenChannel(::GetCurrentProcessId(), 0, &id, &ring, &levels, &wake), S_OK);
        for (const ULONGLONG handle : {ring, levels, wake})
            ::CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)));
    }
    kvtlog::source{7, L"Fallback", {1, 0, 0, 0}, remember_failure}.info() << "through COM";
    EXPECT_EQ(failures, (decltype(failures){{HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA), "OpenChannel"}}));
    wait_for_writer(control_.Get());
    EXPECT_EQ(read_log_lines(logs_.path() + L"\\CA4\\Shared-1.0.0.0.TXT").size(), 2u);
    EXPECT_EQ(read_log_lines(logs_.path() + L"\\CA7\\Fallback-1.0.0.0.TXT").size(), 1u);
}

TEST(ClientWithoutService, SourceReportsTheActivationAndLogsNothing)
{
    failures.clear();
    const kvtlog::apartment com;
    const scratchregistry nothing_registered;
    const kvtlog::source log{7, L"App", {1, 0, 0, 0}, remember_failure};
    EXPECT_FALSE(log);
    EXPECT_FALSE(log.fatal() << 1);
    EXPECT_EQ(failures, (decltype(failures){{REGDB_E_CLASSNOTREG, "CoCreateInstance"}}));
}

using DocExamples = heldservice;

TEST_F(DocExamples, EveryCppExampleRunsAndLogsWhatTheDocumentSays)
{
    // Each example logs some of the lines below, so one not built or not run shows there.
    std::istringstream names(KVT_DOC_EXAMPLES);
    for (std::string name; std::getline(names, name, ',');)
        EXPECT_EQ(run_process(path_beside_this_program(name.c_str()), L""), 0u) << name;
    wait_for_writer(control_.Get());

    std::vector<std::wstring> texts;
    for (const auto& line : read_log_lines(logs_.path() + L"\\CA7\\MyApp-1.0.0.0.TXT"))
        texts.push_back(line.substr(24, 4) + line.substr(line.rfind(L'|') + 1));
    ASSERT_EQ(texts.size(), 7u);
    std::sort(texts.begin() + 3, texts.begin() + 5); // the two workers' lines come in any order
    texts[5].erase(std::min(texts[5].find(L'(') + 1, texts[5].size())); // the system's text varies
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"INF|started with 3 workers", L"WRN|disk C is 9.350000e+001% full",
                                                L"DBG|cache: 3 entries", L"EVT|worker 1 running",
                                                L"EVT|worker 2 running", L"ERR|cannot read missing.cfg: 00000002 (",
                                                L"TRC|flags 0000002A, mask 00000000000000FF"}));
}

} // namespace
} // namespace kvt::test
