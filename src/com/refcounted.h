#pragma once
// IUnknown for the COM objects that count their own references (source and message
// objects): one interface besides IUnknown, a count that starts at 1 and changes only
// atomically, and a Release that deletes the object at zero through its virtual destructor,
// which follows the interface's methods in the table.

#include <unknwn.h>

#include <atomic>

namespace kvt {

template <class Interface, const IID& interface_id>
class refcounted : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override
    {
        if (riid != IID_IUnknown && riid != interface_id) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }

    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        const ULONG count = --refs_;
        if (count == 0)
            delete this;
        return count;
    }

protected:
    refcounted() noexcept = default;
    virtual ~refcounted() = default;

    std::atomic<ULONG> refs_{1};
};

} // namespace kvt
