#include "server_fixture.h"

#include "build_paths.h"
#include "processes.h"

namespace kvt::test {

void serverfixture::SetUp()
{
    ASSERT_EQ(run_process(server_path(), L"-RegServer /S -LogPath:\"" + logs_.path() + L"\""), 0u);
    ASSERT_EQ(run_process(regsvr32_path(), L"/s \"" + proxy_path() + L"\""), 0u);
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    com_ = true;
}

void serverfixture::TearDown()
{
    if (com_)
        ::CoUninitialize(); // releases whatever a failed test still held
    if (server_)
        ::WaitForSingleObject(server_.get(), 30'000);
    EXPECT_EQ(run_process(regsvr32_path(), L"/u /s \"" + proxy_path() + L"\""), 0u);
    EXPECT_EQ(run_process(server_path(), L"-UnregServer /S"), 0u);
}

void serverfixture::activate(ComPtr<ILogService>& service)
{
    ASSERT_EQ(activate_service(service), S_OK);
    std::vector<uniquehandle> servers = processes_of(server_path());
    ASSERT_EQ(servers.size(), 1u) << "server processes of " << server_path();
    server_ = std::move(servers.front());
}

void serverfixture::expect_server_exits_with_zero()
{
    ASSERT_TRUE(server_);
    ASSERT_EQ(::WaitForSingleObject(server_.get(), 30'000), WAIT_OBJECT_0);
    EXPECT_EQ(exit_code(server_), 0u);
}

std::vector<std::wstring> serverfixture::test_source_lines() const
{
    return read_log_lines(logs_.path() + L"\\" + test_source_file);
}

} // namespace kvt::test
