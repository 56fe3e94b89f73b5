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
    if (outer) {
        *object = nullptr;
        return CLASS_E_NOAGGREGATION;
    }
    return service_.QueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE logfactory::LockServer(BOOL lock) noexcept
{
    if (lock)
        add_server_lock();
    else
        release_server_lock();
    return S_OK;
}

} // namespace kvt
