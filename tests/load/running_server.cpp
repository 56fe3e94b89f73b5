#include "load/running_server.h"

#include "processes.h"

namespace kvt::test {

void ServerTest::SetUp()
{
    server_fixture::SetUp();
    if (HasFatalFailure())
        return;
    log_directory_ = logs_.path();
    activate(service_);
    if (HasFatalFailure())
        return;
    ASSERT_EQ(service_.As(&control_), S_OK);
}

void ServerTest::TearDown()
{
    if (server_) {
        EXPECT_EQ(stop_server(), 0u) << "the server did not stop normally";
    }
    if (server_)
        end_server_by_force();
    server_fixture::TearDown();
}

DWORD ServerTest::stop_server(DWORD timeout_ms)
{
    control_.Reset();
    service_.Reset();
    if (::WaitForSingleObject(server_.get(), timeout_ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    const DWORD code = exit_code(server_);
    server_.reset();
    return code;
}

void ServerTest::end_server_by_force()
{
    const unique_handle server(::OpenProcess(PROCESS_TERMINATE, FALSE, ::GetProcessId(server_.get())));
    ::TerminateProcess(server.get(), 1);
    ::WaitForSingleObject(server_.get(), 10000);
    server_.reset();
}

} // namespace kvt::test
