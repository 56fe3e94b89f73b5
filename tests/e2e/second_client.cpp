// A second client process for the end-to-end tests. While the test program holds the
// service, this program activates it too, checks that it reaches the same server process
// and sees the test's setting, makes a setting of its own, and logs one line under the
// shared source.
//
//     kvt_e2e_second_client <read id> <expected mask> <set id> <set mask>
//
// Exit code: 0 all as expected, 1 a call failed, 2 the mask read differs, 3 not exactly one
// server process runs, 4 wrong arguments.

#include "build_paths.h"
#include "client_calls.h"
#include "processes.h"

#include <cwchar>

using namespace kvt::test;

namespace {

int share_the_service(DWORD read_id, DWORD expected_mask, DWORD set_id, DWORD set_mask)
{
    ComPtr<ILogService> service;
    ComPtr<ILogControl> control;
    ComPtr<ILogSource> source;
    if (FAILED(activate_service(service)) || FAILED(service.As(&control)) ||
        FAILED(create_test_source(service.Get(), source)))
        return 1;
    if (processes_of(server_path()).size() != 1)
        return 3;
    DWORD mask = 0;
    if (FAILED(control->GetLevel(read_id, &mask)) || FAILED(control->SetLevel(set_id, set_mask)) ||
        log_text(source.Get(), L"from the second client") != S_OK)
        return 1;
    return mask == expected_mask ? 0 : 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
        return 4;
    DWORD numbers[4];
    for (int i = 0; i < 4; ++i)
        numbers[i] = std::wcstoul(argv[i + 1], nullptr, 10);
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    const int code = share_the_service(numbers[0], numbers[1], numbers[2], numbers[3]);
    ::CoUninitialize();
    return code;
}
