#pragma once
// kvtlog client library: where the failures of its calls go.

#include <windows.h>

namespace kvtlog {

// Told about every call that failed: its HRESULT and the method's name ("AddInt32",
// "CreateMessage", ...). May be called on any thread that logs; should not throw (what it
// throws is swallowed).
using error_handler = void (*)(HRESULT hr, const char* operation);

inline void report(error_handler on_error, HRESULT hr, const char* operation) noexcept
{
    if (!on_error)
        return;
    try {
        on_error(hr, operation);
    } catch (...) {
    }
}

} // namespace kvtlog
