#pragma once
// What the end-to-end clients do through the service's interfaces: activate it in a server
// process, and log under one source identity that every client of these tests shares.

#include "kvtlog.h"

#include <wrl/client.h>

namespace kvt::test {

using Microsoft::WRL::ComPtr;

// The shared source: its lines go to <log directory>\CA4242\e2e-1.2.3.4.TXT.
constexpr DWORD test_source_id = 4242;
constexpr wchar_t test_source_file[] = L"CA4242\\e2e-1.2.3.4.TXT";

constexpr DWORD level_info = 0x10;

// The second client program reads the level the test set for first_client_id and sets one
// for second_client_id, which the test then reads.
constexpr DWORD first_client_id = 4711, first_client_mask = 0x15, second_client_id = 4712, second_client_mask = 0x2A;

// CoCreateInstance of the service as a local server, as another process's client does.
template <class Interface>
HRESULT activate_service(ComPtr<Interface>& service)
{
    return ::CoCreateInstance(CLSID_LogService, nullptr, CLSCTX_LOCAL_SERVER,
                              IID_PPV_ARGS(service.ReleaseAndGetAddressOf()));
}

HRESULT create_test_source(ILogService* service, ComPtr<ILogSource>& source);

// One INFO message holding text.
HRESULT log_text(ILogSource* source, const wchar_t* text);

} // namespace kvt::test
