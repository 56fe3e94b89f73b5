// The second client process of the end-to-end tests.
//
// Without arguments: while the test program holds the service, this program activates it
// too, logs one line under the shared source, and checks that exactly one server process
// runs. Exit code: 0 as expected, 1 a call failed, 3 not exactly one server process runs.
//
// With a release order, a permutation of "fsom": this program starts the server alone,
// through a class object it keeps (f), the service (s), the shared source (o) and one
// message on it (m), then lets go of them in that order. Whatever comes after the last of
// s, o and m is released only once the server has ended. Exit code: the server's own, or
// 0x100 and up when this program failed first.

#include "e2e_source.h"
#include "support/processes.h"

#include <string>

using namespace kvt::test;

namespace {

int share_the_service()
{
    ComPtr<ILogService> service;
    ComPtr<ILogSource> source;
    if (FAILED(activate_service(service)) || FAILED(create_test_source(service.Get(), source)) ||
        log_text(source.Get(), L"from the second client") != S_OK)
        return 1;
    return processes_of(server_path()).size() == 1 ? 0 : 3;
}

int release_in_order(const std::wstring& order)
{
    ComPtr<IClassFactory> factory;
    ComPtr<ILogService> service;
    ComPtr<ILogSource> source;
    ComPtr<ILogMessage> message;
    if (FAILED(::CoGetClassObject(CLSID_LogService, CLSCTX_LOCAL_SERVER, nullptr, IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&service))) ||
        FAILED(create_test_source(service.Get(), source)) ||
        log_text(source.Get(), L"released in the order " + order, &message) != S_OK)
        return 0x100;
    std::vector<kvt::uniquehandle> servers = processes_of(server_path());
    if (servers.size() != 1)
        return 0x101;
    std::size_t held = 3;  // of the service, the source and the message
    for (const wchar_t object : order) {
        if (held == 0 && ::WaitForSingleObject(servers.front().get(), 30'000) != WAIT_OBJECT_0)
            return 0x102;
        held -= object != L'f';
        object == L'f' ? factory.Reset() : object == L's' ? service.Reset() : object == L'o' ? source.Reset()
                                                                                             : message.Reset();
    }
    if (::WaitForSingleObject(servers.front().get(), 30'000) != WAIT_OBJECT_0)
        return 0x102;
    return static_cast<int>(exit_code(servers.front().get()));
}

} // namespace

int main(int argc, char** argv)
{
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    const std::string order = argc > 1 ? argv[1] : "";
    const int code = order.empty() ? share_the_service() : release_in_order({order.begin(), order.end()});
    ::CoUninitialize();
    return code;
}
