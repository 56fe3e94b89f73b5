#pragma once
// The real server for a test: registered and activated by the end-to-end fixture, with the
// service's two interfaces at hand and a check that it stops normally once they are let go.

#include "load/service_test.h"
#include "server_fixture.h"

namespace kvt::test {

class ServerTest : public server_fixture, protected service_access {
protected:
    void SetUp() override;
    void TearDown() override;

    // Releases the test's pointers and waits for the server process to end; its exit code,
    // or STILL_ACTIVE when it did not end within the time (server_ then still holds it).
    DWORD stop_server(DWORD timeout_ms = 60000);

    // TerminateProcess on the server. Wine keeps a stale class registration of a server
    // ended this way, so later activations in the same Wine session may fail.
    void end_server_by_force();
};

} // namespace kvt::test
