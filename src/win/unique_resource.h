#pragma once
// Owners for operating-system resources: each handle, registry key and CoTaskMem block
// of the program lives in one of these and is released exactly once, on every path.
//
// An owner type is one line: the resource type, the function that releases it and, where
// more than the null value means "none", the test for a value worth releasing. An empty
// owner holds the null value.

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace kvt {

template <class T>
constexpr bool is_not_null(T value) noexcept
{
    return value != nullptr;
}

template <class T, class Close, Close close, bool (*valid)(T) = is_not_null<T>>
class uniqueresource {
public:
    using value_type = T;

    uniqueresource() noexcept = default;
    explicit uniqueresource(T v) noexcept : value_(v) {}
    uniqueresource(uniqueresource&& o) noexcept : value_(std::exchange(o.value_, T{})) {}
    uniqueresource& operator=(uniqueresource&& o) noexcept
    {
        reset(std::exchange(o.value_, T{}));
        return *this;
    }
    uniqueresource(const uniqueresource&) = delete;
    uniqueresource& operator=(const uniqueresource&) = delete;
    ~uniqueresource() { reset(); }

    void reset(T v = T{}) noexcept
    {
        if (valid(value_))
            close(value_);
        value_ = v;
    }
    T get() const noexcept { return value_; }
    [[nodiscard]] T release() noexcept { return std::exchange(value_, T{}); }
    explicit operator bool() const noexcept { return valid(value_); }

    // For functions that return the resource through an out parameter.
    T* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    T value_{};
};

// Kernel handles. Some calls report failure with null (CreateEventW, OpenProcess), others
// with INVALID_HANDLE_VALUE (CreateFileW, CreateToolhelp32Snapshot): both mean "none".
inline bool is_open_handle(HANDLE h) noexcept
{
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

using uniquehandle = uniqueresource<HANDLE, decltype(&::CloseHandle), ::CloseHandle, is_open_handle>;
using uniquehkey = uniqueresource<HKEY, decltype(&::RegCloseKey), ::RegCloseKey>;
// Modules that LoadLibraryW loaded.
using uniquehmodule = uniqueresource<HMODULE, decltype(&::FreeLibrary), ::FreeLibrary>;
// Views of sections that MapViewOfFile made.
inline BOOL unmap_view(void* view) noexcept { return ::UnmapViewOfFile(view); }
using uniqueview = uniqueresource<void*, decltype(&unmap_view), unmap_view>;
// Waits that RegisterWaitForSingleObject registered; releasing one returns only once its
// callback has run or can no longer run.
inline BOOL unregister_wait(HANDLE wait) noexcept { return ::UnregisterWaitEx(wait, INVALID_HANDLE_VALUE); }
using uniquewait = uniqueresource<HANDLE, decltype(&unregister_wait), unregister_wait>;
template <class T> using uniquetaskmem = uniqueresource<T*, decltype(&::CoTaskMemFree), ::CoTaskMemFree>;
// Blocks that FormatMessageW and CommandLineToArgvW allocate.
template <class T> using uniquelocalmem = uniqueresource<T*, decltype(&::LocalFree), ::LocalFree>;

} // namespace kvt
