#pragma once
// Fixture of the end-to-end tests. SetUp registers the server, logging into the fixture's
// own directory, and the proxy/stub DLL in the real HKEY_CLASSES_ROOT of the Wine prefix,
// where COM activation looks, and joins the multithreaded apartment. TearDown leaves the
// apartment, waits for the server process to end and removes both registrations. Tests run
// one at a time and each waits for its server, so at most one server runs.
// Used on the test's main thread only.

#include "client_calls.h"
#include "support/temp_directory.h"
#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvt::test {

class serverfixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Activates the service through COM and remembers the one server process it runs in.
    void activate(ComPtr<ILogService>& service);

    // Expects the remembered server to end within half a minute, with exit code 0.
    void expect_server_exits_with_zero();

    // The lines of the shared test source's log file.
    std::vector<std::wstring> test_source_lines() const;

    tempdirectory logs_;
    uniquehandle server_;

private:
    bool com_ = false;
};

} // namespace kvt::test
