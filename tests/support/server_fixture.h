#pragma once
// The real server for tests in a client process. SetUp joins the multithreaded apartment and
// registers the server, logging into the fixture's own directory, and the proxy/stub DLL in
// the Wine prefix's real HKEY_CLASSES_ROOT, where COM activation looks. TearDown lets go of
// the service, expects the server to stop normally (ending it by force when it does not, so
// that no later test meets it), leaves the apartment and removes both registrations. Tests
// run one at a time, so at most one server runs. Used on the test's main thread only.

#include "support/processes.h"
#include "win/unique_resource.h"

#include <kvtlog.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

namespace kvt::test {

using Microsoft::WRL::ComPtr;

// CoCreateInstance of the service as a local server, as another process's client does.
template <class Interface>
HRESULT activate_service(ComPtr<Interface>& service)
{
    return ::CoCreateInstance(CLSID_LogService, nullptr, CLSCTX_LOCAL_SERVER,
                              IID_PPV_ARGS(service.ReleaseAndGetAddressOf()));
}

class serverfixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(run_process(server_path(), L"-RegServer -Quiet -LogPath:\"" + logs_.path() + L"\""), 0u);
        ASSERT_EQ(run_process(L"regsvr32.exe", L"/s \"" + build_path(KVT_PROXY_PATH) + L"\""), 0u);
    }
    void TearDown() override
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

    // Lets go of service_ and control_ and waits for the server to end: its exit code, or
    // STILL_ACTIVE when it did not end in time (server_ then still holds it).
    DWORD stop_server(DWORD timeout_ms = 30'000)
    {
        control_.Reset();
        service_.Reset();
        if (::WaitForSingleObject(server_.get(), timeout_ms) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        const DWORD code = exit_code(server_.get());
        server_.reset();
        return code;
    }

    tempdirectory logs_;
    uniquehandle server_;
    ComPtr<ILogService> service_;
    ComPtr<ILogControl> control_;
};

// The service held from SetUp on, through service_ and control_, with the one server
// process remembered: every client process the test starts reaches the same server, and the
// test sees the effects of their calls.
class heldservice : public serverfixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(serverfixture::SetUp());
        ASSERT_EQ(activate_service(service_), S_OK);
        ASSERT_EQ(service_.As(&control_), S_OK);
        std::vector<uniquehandle> servers = processes_of(server_path());
        ASSERT_EQ(servers.size(), 1u) << "server processes of " << ::testing::PrintToString(server_path());
        server_ = std::move(servers.front());
    }
};

} // namespace kvt::test
