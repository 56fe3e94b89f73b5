// The client library against the real server, in another process: the line each C++ type
// makes, what a statement costs when its level is off, where failed calls go, and the C++
// examples of the client developers' documentation, each built as a program of its own.

#include "support/log_checks.h"
#include "support/processes.h"
#include "support/scratch_registry.h"
#include "support/server_fixture.h"

#include "kvtlog/client.h"

#include <algorithm>
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

// The values sit at their type's limits, so the text shows which method of which width and
// signedness the type reached. A megabyte of text goes in, and the message's texts come back
// out through the proxy/stub DLL.
TEST_F(ClientMessage, EachTypeIsWrittenByItsOwnMethodAtTheCallersLocation)
{
    std::source_location at;
    {
        const kvtlog::source log{7, L"Types", {1, 0, 0, 0}};
        kvtlog::message m = log(kvtlog::level::error | kvtlog::level::info, at = std::source_location::current());
        m.ids(1, 2) << true << 'x' << L'\u0101' << std::int8_t(INT8_MIN) << std::uint8_t(UINT8_MAX)
                    << std::int16_t(INT16_MIN) << std::uint16_t(UINT16_MAX) << std::int32_t(INT32_MIN) << UINT32_MAX
                    << long(LONG_MIN) << DWORD(MAXDWORD) << std::int64_t(INT64_MIN) << UINT64_MAX << 1.5f << -0.25
                    << "narrow" << L"wide" << "abcdef"sv.substr(1, 3) << L"uvwxyz"sv.substr(0, 2) << "str"s << L"wstr"s
                    << kvtlog::hex32(255) << kvtlog::hex64(255) << kvtlog::errorcode(0x20000000) << std::string(1 << 20, 'm');
        uniquetaskmem<wchar_t> file, function;
        EXPECT_EQ(m.get()->GetFile(file.put()), S_OK);
        EXPECT_EQ(m.get()->GetFunction(function.put()), S_OK);
        EXPECT_STREQ(file.get(), L"client_test.cpp");
        EXPECT_EQ(std::string(function.get(), function.get() + std::wcslen(function.get())), at.function_name());
    }
    wait_for_writer(control_.Get());
    const auto lines = read_log_lines(logs_.path() + L"\\CA7\\Types-1.0.0.0.TXT");
    ASSERT_EQ(lines.size(), 1u);
    const std::string_view function = at.function_name();
    const std::wstring head = // behind the date and time
        L"ERR,INF|1/2|client_test.cpp," + std::to_wstring(at.line()) + L"|" + std::wstring(function.begin(), function.end()) +
        L"|truex\u0101-128255-3276865535-21474836484294967295-21474836484294967295"
        L"-922337203685477580818446744073709551615"
        L"1.500000e+000-2.500000e-001narrowwidebcduvstrwstr000000FF00000000000000FF"
        L"20000000 (No message defined for the code)";
    EXPECT_EQ(lines[0].substr(24, head.size()), head);
    EXPECT_TRUE(lines[0].substr(24 + head.size()) == std::wstring(1 << 20, L'm')) << "a megabyte of text";
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

    // A message of the multithreaded apartment used from another apartment: every call fails.
    const kvtlog::source log{7, L"App", {1, 0, 0, 0}, remember_failure};
    kvtlog::message m = log.info();
    std::thread([&m] {
        const HRESULT sta = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m << 1 << "two";
        ::CoUninitialize();
        EXPECT_EQ(sta, S_OK);
    }).join();
    EXPECT_EQ(failures, (decltype(failures){{E_OUTOFMEMORY, "CreateMessage"},
                                            {RPC_E_WRONG_THREAD, "AddInt32"},
                                            {RPC_E_WRONG_THREAD, "AddString"}}));

    const kvtlog::source throwing(kvtlog::comptr<ILogSource>(&outofmemory), [](HRESULT, const char*) { throw 1; });
    EXPECT_NO_THROW(throwing.info() << 1);
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
