#pragma once
// The real server for a test: registered and activated by the end-to-end fixture, with the
// service's two interfaces at hand, the steps every test takes, and a check that the server
// stops normally once they are let go. Used on the test's main thread only.

#include "load/log_paths.h"
#include "server_fixture.h"
#include "support/log_checks.h"

#include <string>
#include <vector>

namespace kvt::test {

// The roles this test program plays when started again as another client process; each
// returns the process's exit code.
inline constexpr char load_client_switch[] = "--load-client";  // <client index> <shared block name>
int run_load_client(unsigned client, const wchar_t* block_name);
inline constexpr char victim_switch[] = "--victim";  // <ready event name>
int run_victim(const wchar_t* ready_event);

// Starts this program with the switch and the arguments; empty when it cannot be started.
uniquehandle start_self(const char* role_switch, const std::wstring& arguments);

class ServerTest : public serverfixture {
protected:
    static constexpr DWORD default_version[4] = {1, 2, 3, 4};

    void SetUp() override;
    void TearDown() override;

    // Releases the test's pointers and waits for the server process to end; its exit code,
    // or STILL_ACTIVE when it did not end within the time (server_ then still holds it).
    DWORD stop_server(DWORD timeout_ms = 60000);

    // TerminateProcess on the server. Wine keeps a stale class registration of a server
    // ended this way, so later activations in the same Wine session may fail.
    void end_server_by_force();

    ComPtr<ILogSource> create_source(DWORD id, const wchar_t* name, const DWORD version[4] = default_version);
    void log(ILogSource* source, const wchar_t* text);  // one ERROR message with the text
    void wait_for_writer();
    std::vector<std::wstring> lines_of(DWORD id, const wchar_t* name, const DWORD version[4] = default_version) const
    {
        return read_log_lines(log_file_path(logs_.path(), id, name, version));
    }

    ComPtr<ILogService> service_;
    ComPtr<ILogControl> control_;
};

// True when one of the lines ends with the text (the message text ends a line).
bool has_line_ending(const std::vector<std::wstring>& lines, const std::wstring& text);

} // namespace kvt::test
