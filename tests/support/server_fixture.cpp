#include "support/server_fixture.h"

#include "support/processes.h"

namespace kvt::test {

void serverfixture::SetUp()
{
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ASSERT_EQ(run_process(server_path(), L"-RegServer -Quiet -LogPath:\"" + logs_.path() + L"\""), 0u);
    ASSERT_EQ(run_process(L"regsvr32.exe", L"/s \"" + build_path(KVT_PROXY_PATH) + L"\""), 0u);
}

void serverfixture::TearDown()
{
    if (const DWORD code = server_ ? stop_server() : 0) {
        ADD_FAILURE() << "the server did not stop normally: " << code;
        ::TerminateProcess(server_.get(), 1);  // when still running, so that no later test meets it
        ::WaitForSingleObject(server_.get(), 10'000);
    }
    ::CoUninitialize();
    EXPECT_EQ(run_process(L"regsvr32.exe", L"/u /s \"" + build_path(KVT_PROXY_PATH) + L"\""), 0u);
    EXPECT_EQ(run_process(server_path(), L"-UnregServer /S"), 0u);
}

void heldservice::SetUp()
{
    ASSERT_NO_FATAL_FAILURE(serverfixture::SetUp());
    ASSERT_EQ(activate_service(service_), S_OK);
    ASSERT_EQ(service_.As(&control_), S_OK);
    std::vector<uniquehandle> servers = processes_of(server_path());
    ASSERT_EQ(servers.size(), 1u) << "server processes of " << ::testing::PrintToString(server_path());
    server_ = std::move(servers.front());
}

DWORD serverfixture::stop_server(DWORD timeout_ms)
{
    control_.Reset();
    service_.Reset();
    if (::WaitForSingleObject(server_.get(), timeout_ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    const DWORD code = exit_code(server_.get());
    server_.reset();
    return code;
}

} // namespace kvt::test
