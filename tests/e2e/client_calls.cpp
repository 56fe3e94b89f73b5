#include "client_calls.h"

namespace kvt::test {

HRESULT create_test_source(ILogService* service, ComPtr<ILogSource>& source)
{
    const DWORD version[4] = {1, 2, 3, 4};
    return service->CreateSource(test_source_id, L"e2e", version, IID_ILogSource,
                                 reinterpret_cast<void**>(source.ReleaseAndGetAddressOf()));
}

HRESULT log_text(ILogSource* source, const wchar_t* text)
{
    ComPtr<ILogMessage> message;
    const HRESULT hr = source->CreateMessage(level_info, IID_ILogMessage,
                                             reinterpret_cast<void**>(message.GetAddressOf()));
    if (hr != S_OK)
        return hr;
    return message->AddWString(text);
}

} // namespace kvt::test
