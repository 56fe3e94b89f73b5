#pragma once
// The class object registered for CLSID_LogService. It creates nothing: every activation
// receives the one service object, which the factory holds.
//
// Owner: the process entry, in its own scope, never the heap; the factory's count serves
// COM's bookkeeping and never frees it. Threads: activations and LockServer arrive on COM
// worker threads concurrently; the main thread constructs and destroys it. The counts are
// atomic; everything else is the service's. Once the server is stopping it hands out
// nothing more and takes no lock (CO_E_SERVER_STOPPING).

#include "com/logservice.h"

#include <kvtlog.h>

#include <atomic>

namespace kvt {

class logfactory final : public IClassFactory {
public:
    // Constructs the service, which starts the writer thread. Throws what the service throws.
    logfactory() = default;
    logfactory(const logfactory&) = delete;
    logfactory& operator=(const logfactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

    // The references that COM and its clients hold now.
    ULONG references() const noexcept { return refs_.load(); }

private:
    std::atomic<ULONG> refs_{0};
    // The server locks that LockServer holds now.
    std::atomic<ULONG> locks_{0};
    logservice service_;
};

} // namespace kvt
