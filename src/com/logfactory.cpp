#include "com/logfactory.h"

#include "com/server_lock.h"

namespace kvt {

HRESULT STDMETHODCALLTYPE logfactory::QueryInterface(REFIID riid, void** object) noexcept
{
    if (riid != IID_IUnknown && riid != IID_IClassFactory) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE logfactory::AddRef() noexcept { return ++refs_; }

// Reaching zero frees nothing: the factory lives in the process entry's scope.
ULONG STDMETHODCALLTYPE logfactory::Release() noexcept { return --refs_; }

HRESULT STDMETHODCALLTYPE logfactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) noexcept
{
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    // A client that kept this object may call it after the last holder has let go; the
    // service it would get is about to be destroyed.
    const stopguard guard;
    if (guard.stopping())
        return CO_E_SERVER_STOPPING;
    return service_.QueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE logfactory::LockServer(BOOL lock) noexcept
{
    if (lock) {
        const stopguard guard;
        if (guard.stopping())
            return CO_E_SERVER_STOPPING;
        ++locks_;
        add_server_lock();
        return S_OK;
    }
    // An unlock without its lock would take a count that a client's object holds, and stop
    // the server under it.
    ULONG held = locks_.load();
    do {
        if (held == 0)
            return E_UNEXPECTED;
    } while (!locks_.compare_exchange_weak(held, held - 1));
    release_server_lock();
    return S_OK;
}

} // namespace kvt
