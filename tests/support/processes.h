#pragma once
// The programs of the build as processes: where they lie, starting and running them, and
// finding the server process that COM started.

#include "support/temp_directory.h"
#include "win/unique_resource.h"

#include <tlhelp32.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kvt::test {

// Full Windows paths: of this program; of relative, a path from this program's folder; of a
// file of the build given relative to the build directory (the first folder above this
// program that holds CMakeCache.txt), so that tests find the build's programs from inside
// Wine whatever the build directory is. '/' or '\' separate.
inline std::wstring this_program()
{
    wchar_t module[MAX_PATH];
    return std::wstring(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
}
inline std::wstring path_beside_this_program(const char* relative)
{
    return (std::filesystem::path(this_program()).parent_path() / relative).lexically_normal().wstring();
}
inline std::wstring build_path(const char* relative)
{
    std::filesystem::path root = std::filesystem::path(this_program()).parent_path();
    while (!file_exists((root / "CMakeCache.txt").wstring()) && root.has_relative_path())
        root = root.parent_path();
    return (root / relative).lexically_normal().wstring();
}
inline std::wstring server_path() { return build_path(KVT_SERVER_PATH); }  // kvtlog.exe

// Starts the program (a full path, or a name that CreateProcessW looks up as it does a
// command line's first word) with the arguments; its standard output and error go to out
// and err, inheritable handles, when they are given. Empty when it cannot be started. Under a
// loaded machine Wine now and then fails a start with ERROR_INTERNAL_ERROR although nothing
// is wrong with the program; such a start is tried again, a few times.
inline uniquehandle start_process(const std::wstring& program, const std::wstring& arguments, HANDLE out = nullptr,
                                  HANDLE err = nullptr)
{
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = out ? STARTF_USESTDHANDLES : 0;  // the handles count only with the flag
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    for (int attempt = 1; !::CreateProcessW(nullptr, command.data(), nullptr, nullptr, out != nullptr, 0, nullptr,
                                             nullptr, &startup, &info); ++attempt) {
        if (attempt == 5 || ::GetLastError() != ERROR_INTERNAL_ERROR)
            return {};
        ::Sleep(200);
    }
    ::CloseHandle(info.hThread);
    return uniquehandle(info.hProcess);
}

// The exit code of an ended process, or STILL_ACTIVE.
inline DWORD exit_code(HANDLE process)
{
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process, &code);
    return code;
}

// Runs the program to its end: its exit code, and what it wrote to its standard output and
// error when asked for. A program still running after a minute (a message box waiting for
// a click, say) is ended and gives STILL_ACTIVE; never run a server that COM may still use
// this way. A program that cannot start gives not_started.
constexpr DWORD not_started = 0xFFFFFFFF;
inline DWORD run_process(const std::wstring& program, const std::wstring& arguments, std::string* out = nullptr,
                         std::string* err = nullptr)
{
    const tempdirectory files;
    const auto output = [&files](const wchar_t* name) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        return uniquehandle(::CreateFileW((files.path() + name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    const uniquehandle out_file = output(L"\\out"), err_file = output(L"\\err");
    const uniquehandle process = start_process(program, arguments, out_file.get(), err_file.get());
    if (!process)
        return not_started;
    if (::WaitForSingleObject(process.get(), 60'000) == WAIT_TIMEOUT)
        ::TerminateProcess(process.get(), STILL_ACTIVE);
    ::WaitForSingleObject(process.get(), INFINITE);
    for (const auto& [text, name] : {std::pair(out, L"\\out"), std::pair(err, L"\\err")})
        if (text)
            *text = read_file_text(files.path() + name);
    return exit_code(process.get());
}

// Handles (SYNCHRONIZE, PROCESS_QUERY_LIMITED_INFORMATION, PROCESS_TERMINATE) to the
// running processes whose executable is image_path, compared without regard to case.
inline std::vector<uniquehandle> processes_of(const std::wstring& image_path)
{
    std::vector<uniquehandle> found;
    const uniquehandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        uniquehandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                                           FALSE, entry.th32ProcessID));
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (process && ::QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
            ::CompareStringOrdinal(image, -1, image_path.c_str(), -1, TRUE) == CSTR_EQUAL)
            found.push_back(std::move(process));
    }
    return found;
}

} // namespace kvt::test
