#pragma once
// The real server for tests in a client process. SetUp joins the multithreaded apartment and
// registers the server, logging into the fixture's own directory, and the proxy/stub DLL in
// the Wine prefix's real HKEY_CLASSES_ROOT, where COM activation looks. TearDown lets go of
// the service, expects the server to stop normally (ending it by force when it does not, so
// that no later test meets it), leaves the apartment and removes both registrations. Tests
// run one at a time, so at most one server runs. Used on the test's main thread only.

#include "support/temp_directory.h"
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
    void SetUp() override;
    void TearDown() override;

    // Lets go of service_ and control_ and waits for the server to end: its exit code, or
    // STILL_ACTIVE when it did not end in time (server_ then still holds it).
    DWORD stop_server(DWORD timeout_ms = 30'000);

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
    void SetUp() override;
};

} // namespace kvt::test
