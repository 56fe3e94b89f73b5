#pragma once
// kvtlog client library: the owner of one COM interface pointer. Copies share the object
// (AddRef), moves hand it over, destruction releases it; client code never calls Release.
// Not synchronised: one comptr object may be read by many threads, changed by one.

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace kvtlog {

template <class T>
class comptr {
public:
    comptr() noexcept = default;
    // Takes over a reference the caller already holds.
    explicit comptr(T* adopted) noexcept : p_(adopted) {}
    comptr(const comptr& o) noexcept : p_(o.p_)
    {
        if (p_)
            p_->AddRef();
    }
    comptr(comptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    comptr& operator=(comptr o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~comptr() { reset(); }

    void reset() noexcept
    {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // For calls that return a new reference through an out parameter.
    T** put() noexcept
    {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

} // namespace kvtlog
