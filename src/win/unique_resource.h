#pragma once
// Owners for operating-system resources: each handle, registry key and CoTaskMem block
// of the program lives in one of these and is released exactly once, on every path.

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace kvt {

template <class Traits>
class uniqueresource {
public:
    using value_type = typename Traits::type;

    uniqueresource() noexcept = default;
    explicit uniqueresource(value_type v) noexcept : value_(v) {}
    uniqueresource(uniqueresource&& o) noexcept : value_(std::exchange(o.value_, Traits::invalid())) {}
    uniqueresource& operator=(uniqueresource&& o) noexcept
    {
        reset(std::exchange(o.value_, Traits::invalid()));
        return *this;
    }
    uniqueresource(const uniqueresource&) = delete;
    uniqueresource& operator=(const uniqueresource&) = delete;
    ~uniqueresource() { reset(); }

    void reset(value_type v = Traits::invalid()) noexcept
    {
        if (Traits::valid(value_))
            Traits::close(value_);
        value_ = v;
    }
    value_type get() const noexcept { return value_; }
    [[nodiscard]] value_type release() noexcept { return std::exchange(value_, Traits::invalid()); }
    explicit operator bool() const noexcept { return Traits::valid(value_); }

    // For functions that return the resource through an out parameter.
    value_type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    value_type value_ = Traits::invalid();
};

// Kernel and file handles: null and INVALID_HANDLE_VALUE both mean none, so the owner
// suits what CreateEventW and what CreateFileW return alike.
struct handle_traits {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

// File handles, whose empty value is INVALID_HANDLE_VALUE.
struct file_traits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(type h) noexcept { return h != INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

struct hkey_traits {
    using type = HKEY;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { ::RegCloseKey(h); }
};

template <class T>
struct cotaskmem_traits {
    using type = T*;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type p) noexcept { return p != nullptr; }
    static void close(type p) noexcept { ::CoTaskMemFree(p); }
};

// Blocks that FormatMessageW allocates.
template <class T>
struct localmem_traits {
    using type = T*;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type p) noexcept { return p != nullptr; }
    static void close(type p) noexcept { ::LocalFree(p); }
};

// Modules that LoadLibraryW loaded.
struct hmodule_traits {
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { ::FreeLibrary(h); }
};

using uniquehandle = uniqueresource<handle_traits>;
using uniquefile = uniqueresource<file_traits>;
using uniquehkey = uniqueresource<hkey_traits>;
using uniquehmodule = uniqueresource<hmodule_traits>;
template <class T> using uniquetaskmem = uniqueresource<cotaskmem_traits<T>>;
template <class T> using uniquelocalmem = uniqueresource<localmem_traits<T>>;

} // namespace kvt
