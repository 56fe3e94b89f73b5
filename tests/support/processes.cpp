#include "support/processes.h"

#include "support/temp_directory.h"

#include <tlhelp32.h>

#include <filesystem>

namespace kvt::test {

std::wstring this_program()
{
    wchar_t module[MAX_PATH];
    return std::wstring(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
}

std::wstring path_beside_this_program(const char* relative)
{
    return (std::filesystem::path(this_program()).parent_path() / relative).lexically_normal().wstring();
}

std::wstring build_path(const char* relative)
{
    std::filesystem::path root = std::filesystem::path(this_program()).parent_path();
    while (!file_exists((root / "CMakeCache.txt").wstring()) && root.has_relative_path())
        root = root.parent_path();
    return (root / relative).lexically_normal().wstring();
}

std::wstring server_path() { return build_path(KVT_SERVER_PATH); }

uniquehandle start_process(const std::wstring& program, const std::wstring& arguments, HANDLE out, HANDLE err)
{
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = out ? STARTF_USESTDHANDLES : 0;  // the handles count only with the flag
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    for (int attempt = 1; !::CreateProcessW(nullptr, command.data(), nullptr, nullptr, out != nullptr, 0,
                                             nullptr, nullptr, &startup, &info); ++attempt) {
        if (attempt == 5 || ::GetLastError() != ERROR_INTERNAL_ERROR)
            return {};
        ::Sleep(200);
    }
    ::CloseHandle(info.hThread);
    return uniquehandle(info.hProcess);
}

DWORD run_process(const std::wstring& program, const std::wstring& arguments, std::string* out, std::string* err)
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
    if (out)
        *out = read_file_text(files.path() + L"\\out");
    if (err)
        *err = read_file_text(files.path() + L"\\err");
    return exit_code(process.get());
}

std::vector<uniquehandle> processes_of(const std::wstring& image_path)
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

DWORD exit_code(HANDLE process)
{
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process, &code);
    return code;
}

} // namespace kvt::test
