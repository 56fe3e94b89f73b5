// A second client process for the end-to-end tests. While the test program holds the
// service, this program activates it too, checks that it reaches the same server process
// and sees the test's level, sets a level of its own, and logs one line under the shared
// source.
//
// Exit code: 0 all as expected, 1 a call failed, 2 the level read differs, 3 not exactly
// one server process runs.

#include "build_paths.h"
#include "client_calls.h"
#include "processes.h"

using namespace kvt::test;

namespace {

int share_the_service()
{
    ComPtr<ILogService> service;
    ComPtr<ILogControl> control;
    ComPtr<ILogSource> source;
    DWORD mask = 0;
    if (FAILED(activate_service(service)) || FAILED(service.As(&control)) ||
        FAILED(create_test_source(service.Get(), source)) || FAILED(control->GetLevel(first_client_id, &mask)) ||
        FAILED(control->SetLevel(second_client_id, second_client_mask)) ||
        log_text(source.Get(), L"from the second client") != S_OK)
        return 1;
    if (processes_of(server_path()).size() != 1)
        return 3;
    return mask == first_client_mask ? 0 : 2;
}

} // namespace

int main()
{
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    const int code = share_the_service();
    ::CoUninitialize();
    return code;
}
