#include "empty_source.h"

namespace kvt::bench {

namespace {

class emptysource final : public ILogSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) noexcept override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 1; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateMessage(DWORD, REFIID, void** message) noexcept override
    {
        *message = nullptr;
        return S_FALSE;
    }
};

emptysource the_source;

} // namespace

ILogSource& empty_source() noexcept { return the_source; }

} // namespace kvt::bench
