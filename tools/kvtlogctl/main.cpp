// kvtlogctl.exe: the console tool of the logging service's administrators.

#include "kvtlog/client.h"
#include "kvtlogctl/commands.h"
#include "win/unique_resource.h"

#include <shellapi.h>

int main()
{
    const kvt::ctl::console con;
    int argc = 0;
    const kvt::uniquelocalmem<wchar_t*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (!argv) {
        con.err(L"kvtlogctl: cannot read the command line");
        return 2;
    }
    const kvtlog::apartment com;
    if (FAILED(com.result())) {
        con.err(L"kvtlogctl: CoInitializeEx failed");
        return 1;
    }
    return kvt::ctl::run(kvt::ctl::arguments(argv.get() + 1, argv.get() + argc), con);
}
