#include "client/fake_log.h"
#include "client/type_mappings.h"

#include "support/scratch_registry.h"

#include <gtest/gtest.h>

#include <source_location>

namespace kvt::test {
namespace {

std::vector<std::pair<HRESULT, std::string>> failures;

void remember_failure(HRESULT hr, const char* operation) { failures.emplace_back(hr, operation); }

class ClientMessage : public ::testing::Test {
protected:
    void SetUp() override { failures.clear(); }

    kvtlog::source open_source(kvtlog::error_handler on_error = nullptr)
    {
        return kvtlog::source(kvtlog::com_ptr<ILogSource>(new fake_source(log)), on_error);
    }

    call_log log;
};

int evaluated = 0;
int costly() { return ++evaluated; }

TEST_F(ClientMessage, EachTypeReachesItsOwnMethod)
{
    const kvtlog::source source = open_source();
    for (const type_mapping& row : type_mappings()) {
        log.calls.clear();
        {
            kvtlog::message m = source.info();
            row.append(m);
        }
        ASSERT_EQ(log.calls.size(), 3u) << row.type;
        EXPECT_EQ(log.calls[2], row.call) << row.type;
    }
}

TEST_F(ClientMessage, MessageAtAnOffLevelCostsOneCallAndEvaluatesNothingWhenGuarded)
{
    log.enabled = 0x02;
    const kvtlog::source source = open_source();
    source.debug() << "value " << 42 << L" and " << 1.5;
    if (auto m = source.trace())
        m << costly();
    EXPECT_EQ(log.calls, (std::vector<std::wstring>{L"CreateMessage(32)", L"CreateMessage(64)"}));
    EXPECT_EQ(evaluated, 0);
}

TEST_F(ClientMessage, MessageRecordsTheCallersLocationAndIds)
{
    const kvtlog::source source = open_source();
    const auto here = std::source_location::current();
    source(kvtlog::level::fatal | kvtlog::level::debug).ids(4, 5);
    ASSERT_EQ(log.calls.size(), 3u);
    EXPECT_EQ(log.calls[0], L"CreateMessage(33)");
    const std::string function = here.function_name();
    EXPECT_EQ(log.calls[1], L"SetLocation(" + std::wstring(here.file_name(), here.file_name() + strlen(here.file_name())) +
                                L"," + std::to_wstring(here.line() + 1) + L"," +
                                std::wstring(function.begin(), function.end()) + L")");
    EXPECT_EQ(log.calls[2], L"SetIds(4,5)");
}

TEST_F(ClientMessage, FailedCallsAreReportedAndTheStatementGoesOn)
{
    log.append_result = RPC_E_DISCONNECTED;
    const kvtlog::source source = open_source(remember_failure);
    source.error() << 1 << "two";
    EXPECT_EQ(log.calls.size(), 4u);
    EXPECT_EQ(failures, (decltype(failures){{RPC_E_DISCONNECTED, "SetLocation"},
                                            {RPC_E_DISCONNECTED, "AddInt32"},
                                            {RPC_E_DISCONNECTED, "AddString"}}));
}

TEST_F(ClientMessage, FailedCreateMessageIsReportedAndMakesAnEmptyMessage)
{
    log.create_result = E_OUTOFMEMORY;
    const kvtlog::source source = open_source(remember_failure);
    kvtlog::message m = source.warning();
    m << 1;
    EXPECT_FALSE(m);
    EXPECT_EQ(log.calls, std::vector<std::wstring>{L"CreateMessage(4)"});
    EXPECT_EQ(failures, (decltype(failures){{E_OUTOFMEMORY, "CreateMessage"}}));
}

TEST_F(ClientMessage, HandlerThatThrowsDoesNotReachTheCaller)
{
    log.append_result = E_FAIL;
    const kvtlog::source source = open_source([](HRESULT, const char*) { throw 1; });
    EXPECT_NO_THROW(source.info() << 1);
}

TEST_F(ClientMessage, SourceWithoutAServiceReportsTheActivationAndLogsNothing)
{
    const kvtlog::apartment com;
    const scratch_registry nothing_registered;
    const kvtlog::source source{7, L"App", {1, 0, 0, 0}, remember_failure};
    EXPECT_FALSE(source);
    EXPECT_FALSE(source.fatal() << 1);
    EXPECT_EQ(failures, (decltype(failures){{REGDB_E_CLASSNOTREG, "CoCreateInstance"}}));
}

} // namespace
} // namespace kvt::test
