// What a statement costs when its level is off, and where failed calls go.

#include "support/scratch_registry.h"
#include "support/server_fixture.h"

#include "kvtlog/client.h"

#include <thread>

namespace kvt::test {
namespace {

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

int evaluated = 0;
int costly() { return ++evaluated; }

TEST(ClientStatement, AtAnOffLevelCostsOneCallAndWhenGuardedEvaluatesNothing)
{
    failures.clear();
    answeringsource off(S_FALSE);
    const kvtlog::source log(kvtlog::comptr<ILogSource>(&off), remember_failure);
    log.debug() << "value " << 42 << L" and " << 1.5;
    if (auto m = log.trace())
        m << costly();
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

} // namespace
} // namespace kvt::test
