#pragma once
// The source identity both client programs of the end-to-end tests log under: its lines go
// to <log directory>\CA4242\e2e-1.2.3.4.TXT.

#include "support/server_fixture.h"

namespace kvt::test {

constexpr wchar_t test_source_file[] = L"\\CA4242\\e2e-1.2.3.4.TXT";

inline HRESULT create_test_source(ILogService* service, ComPtr<ILogSource>& source)
{
    const DWORD version[4] = {1, 2, 3, 4};
    return service->CreateSource(4242, L"e2e", version, IID_PPV_ARGS(source.ReleaseAndGetAddressOf()));
}

// One INFO message holding text; the message, when asked for, is kept uncommitted.
inline HRESULT log_text(ILogSource* source, const std::wstring& text, ComPtr<ILogMessage>* kept = nullptr)
{
    ComPtr<ILogMessage> message;
    const HRESULT hr = source->CreateMessage(0x10, IID_PPV_ARGS(&message));
    if (kept)
        *kept = message;
    return hr == S_OK ? message->AddWString(text.c_str()) : hr;
}

} // namespace kvt::test
