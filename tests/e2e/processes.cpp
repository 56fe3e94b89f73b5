#include "processes.h"

#include "support/start_process.h"

#include <tlhelp32.h>

namespace kvt::test {

DWORD run_process(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!start_process(program.c_str(), command.data(), FALSE, startup, info))
        return not_started;
    const uniquehandle process(info.hProcess);
    const uniquehandle thread(info.hThread);
    if (::WaitForSingleObject(process.get(), 60'000) == WAIT_TIMEOUT)
        ::TerminateProcess(process.get(), STILL_ACTIVE);
    ::WaitForSingleObject(process.get(), INFINITE);
    return exit_code(process);
}

std::vector<uniquehandle> processes_of(const std::wstring& image_path)
{
    std::vector<uniquehandle> found;
    // A failed snapshot is INVALID_HANDLE_VALUE, as a failed file is.
    const uniquehandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        uniquehandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                            entry.th32ProcessID));
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (process && ::QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
            ::CompareStringOrdinal(image, -1, image_path.c_str(), -1, TRUE) == CSTR_EQUAL)
            found.push_back(std::move(process));
    }
    return found;
}

DWORD exit_code(const uniquehandle& process)
{
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

} // namespace kvt::test
