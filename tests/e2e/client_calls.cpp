#include "client_calls.h"

namespace kvt::test {

HRESULT create_test_source(ILogService* service, ComPtr<ILogSource>& source)
{
    const DWORD version[4] = {1, 2, 3, 4};
    return service->CreateSource(test_source_id, L"e2e", version, IID_PPV_ARGS(source.ReleaseAndGetAddressOf()));
}

HRESULT log_text(ILogSource* source, const wchar_t* text)
{
    ComPtr<ILogMessage> message;
    const HRESULT hr = source->CreateMessage(level_info, IID_PPV_ARGS(&message));
    return hr == S_OK ? message->AddWString(text) : hr;
}

} // namespace kvt::test
