#pragma once
// kvtlog client library: what the failures of a machine where the service is not installed
// completely mean, and what to do about them. The system's texts do not name the service's
// files, and Wine has no text at all for some of these codes.

#include <windows.h>

#include <cstring>

namespace kvtlog {

// The cause and the remedy, as one sentence, of a failed call with this HRESULT; null for a
// code that an installation does not explain. operation: the name the error handler was
// given; a missing file is the server program's only for the activation, "CoCreateInstance".
inline const char* explain(HRESULT hr, const char* operation) noexcept
{
    constexpr HRESULT file_not_found = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, ERROR_FILE_NOT_FOUND);
    constexpr HRESULT path_not_found = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, ERROR_PATH_NOT_FOUND);
    const bool activation = operation && std::strcmp(operation, "CoCreateInstance") == 0;
    if (hr == REGDB_E_CLASSNOTREG)
        return "The logging service is not registered on this machine, or the program registered for it is "
               "gone: register it with kvtlog.exe -RegServer, as an administrator.";
    if (hr == REGDB_E_IIDNOTREG || hr == E_NOINTERFACE)
        return "The proxy/stub DLL is not registered, so the service's interfaces cannot reach this process: "
               "register it with regsvr32 kvtlogps.dll, as an administrator.";
    if (hr == CO_E_SERVER_EXEC_FAILURE || (activation && (hr == file_not_found || hr == path_not_found)))
        return "The server program could not be started; the path registered for it may be stale: register it "
               "again where it is now with kvtlog.exe -RegServer, as an administrator.";
    return nullptr;
}

} // namespace kvtlog
