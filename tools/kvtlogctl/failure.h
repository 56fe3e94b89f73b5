#pragma once
// How a kvtlogctl command fails. Thrown by the commands and caught once, in main, which
// prints one line and turns the kind into the exit code.

#include <windows.h>

#include <string>

namespace kvt::ctl {

// An operation that returned a failing HRESULT: exit code 1.
struct failure {
    std::wstring operation;
    HRESULT hr;
};

// Arguments the command cannot use: exit code 2.
struct usageerror {
    std::wstring text;
};

// Throws a failing HRESULT as a failure of the operation.
inline void check_hresult(HRESULT hr, const std::wstring& operation)
{
    if (FAILED(hr))
        throw failure{operation, hr};
}

// Throws the calling thread's last Win32 error as a failure of the operation.
[[noreturn]] inline void throw_last_error(const std::wstring& operation)
{
    throw failure{operation, HRESULT_FROM_WIN32(::GetLastError())};
}

// "0x80070057", the system's text for the code, and for the failures of an incomplete
// installation their cause and remedy, on one line.
std::wstring describe(const failure& f);

} // namespace kvt::ctl
