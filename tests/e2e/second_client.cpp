// The second client process of the end-to-end tests. With a release order, a permutation of
// "fsom", it starts the server alone, through a class object it keeps (f), the service (s),
// a source (o) and one message on it (m) that logs "released in the order <order>" into
// <log directory>\CA4242\e2e-1.2.3.4.TXT, then lets go of them in that order. Whatever comes
// after the last of s, o and m is released only once the server has ended. Exit code: the
// server's own, or 0x100 and up when this program failed first.

#include "support/processes.h"
#include "support/server_fixture.h"

#include <kvtlog/client.h>

#include <string>

using namespace kvt::test;

int main(int argc, char** argv)
{
    const kvtlog::apartment com;
    const std::string order = argc == 2 ? argv[1] : "";
    const DWORD version[4] = {1, 2, 3, 4};
    ComPtr<IClassFactory> factory;
    ComPtr<ILogService> service;
    ComPtr<ILogSource> source;
    ComPtr<ILogMessage> message;
    if (FAILED(com.result()) || order.empty() ||
        FAILED(::CoGetClassObject(CLSID_LogService, CLSCTX_LOCAL_SERVER, nullptr, IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&service))) ||
        FAILED(service->CreateSource(4242, L"e2e", version, IID_PPV_ARGS(&source))) ||
        source->CreateMessage(0x10, IID_PPV_ARGS(&message)) != S_OK ||
        FAILED(message->AddWString((L"released in the order " + std::wstring(order.begin(), order.end())).c_str())))
        return 0x100;
    std::vector<kvt::uniquehandle> servers = processes_of(server_path());
    if (servers.size() != 1)
        return 0x101;
    std::size_t held = 3;  // of the service, the source and the message
    // The '.' behind the order releases nothing: it waits for the server's end like an f after
    // the last of s, o and m.
    for (const char object : order + '.') {
        if (held == 0 && ::WaitForSingleObject(servers.front().get(), 30'000) != WAIT_OBJECT_0)
            return 0x102;
        held -= object != 'f';
        object == 'f' ? factory.Reset() : object == 's' ? service.Reset() : object == 'o' ? source.Reset() : message.Reset();
    }
    return static_cast<int>(exit_code(servers.front().get()));
}
