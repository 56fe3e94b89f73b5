// The server program's exit codes for registration and for command lines it rejects. The
// quiet switch comes first, so no message box waits for a click.

#include "build_paths.h"
#include "processes.h"
#include "server_fixture.h"

#include <string>

namespace kvt::test {
namespace {

class RegistrationSwitches : public server_fixture {};

TEST_F(RegistrationSwitches, ExitCodesTellDoneFromRejected)
{
    const struct {
        std::wstring arguments;
        DWORD exit_code;
    } cases[] = {
        {L"-RegServer /S -LogPath:\"" + logs_.path() + L"\"", 0},
        {L"/S -NoSuchSwitch", 1},
        {L"/S -LogPath:C:\\Logs", 1},
        {L"/Q -RegServer -UnregServer", 1},
        {L"/Q -Embedding -LogPath:x", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run_process(server_path(), c.arguments), c.exit_code) << c.arguments;
}

} // namespace
} // namespace kvt::test
