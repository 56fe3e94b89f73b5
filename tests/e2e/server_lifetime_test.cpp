// When the server process that COM started for its clients ends, and that its clients
// share it.

#include "build_paths.h"
#include "processes.h"
#include "server_fixture.h"

#include <string>

namespace kvt::test {
namespace {

class ServerLifetime : public server_fixture {};

TEST_F(ServerLifetime, SourceAloneKeepsTheServerUntilItIsReleased)
{
    ComPtr<ILogService> service;
    ASSERT_NO_FATAL_FAILURE(activate(service));
    ComPtr<ILogSource> source;
    ASSERT_EQ(create_test_source(service.Get(), source), S_OK);
    service.Reset();

    EXPECT_EQ(::WaitForSingleObject(server_.get(), 3'000), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(log_text(source.Get(), L"after the service was released"), S_OK);
    source.Reset();

    ASSERT_NO_FATAL_FAILURE(expect_server_exits_with_zero());
    const std::vector<std::wstring> lines = test_source_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with(L"|after the service was released")) << lines[0];
}

TEST_F(ServerLifetime, TwoClientProcessesShareOneServiceAndItsSettings)
{
    constexpr DWORD first_id = 4711, first_mask = 0x15, second_id = 4712, second_mask = 0x2A;
    ComPtr<ILogService> service;
    ASSERT_NO_FATAL_FAILURE(activate(service));
    ComPtr<ILogControl> control;
    ASSERT_EQ(service.As(&control), S_OK);
    ASSERT_EQ(control->SetLevel(first_id, first_mask), S_OK);
    ComPtr<ILogSource> source;
    ASSERT_EQ(create_test_source(service.Get(), source), S_OK);
    EXPECT_EQ(log_text(source.Get(), L"from the first client"), S_OK);

    const std::wstring arguments = std::to_wstring(first_id) + L" " + std::to_wstring(first_mask) +
                                   L" " + std::to_wstring(second_id) + L" " +
                                   std::to_wstring(second_mask);
    EXPECT_EQ(run_process(second_client_path(), arguments), 0u);
    DWORD mask = 0;
    EXPECT_EQ(control->GetLevel(second_id, &mask), S_OK);
    EXPECT_EQ(mask, second_mask);
    source.Reset();
    control.Reset();
    service.Reset();

    ASSERT_NO_FATAL_FAILURE(expect_server_exits_with_zero());
    const std::vector<std::wstring> lines = test_source_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with(L"|from the first client")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with(L"|from the second client")) << lines[1];
}

} // namespace
} // namespace kvt::test
