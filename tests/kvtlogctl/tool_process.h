#pragma once
// Runs kvtlogctl.exe (or another program of the build) as an administrator runs it, its
// standard output and error caught in files. kvtlogctl is found beside this test program by
// the relative path KVTLOGCTL_PATH.

#include "support/program_path.h"
#include "support/temp_directory.h"
#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <string>

namespace kvt::test {

inline std::wstring kvtlogctl_path() { return path_beside_this_program(KVTLOGCTL_PATH); }

inline std::string file_text(const std::wstring& path)
{
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A program started with arguments; its output goes to files in a directory of its own.
class tool_process {
public:
    explicit tool_process(const std::wstring& arguments) : tool_process(kvtlogctl_path(), arguments) {}

    tool_process(const std::wstring& program, const std::wstring& arguments)
    {
        std::wstring command = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        const unique_file out = output_file(L"out.txt");
        const unique_file err = output_file(L"err.txt");
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                     &startup, &info))
            << ::GetLastError();
        process_.reset(info.hProcess);
        ::CloseHandle(info.hThread);
    }

    ~tool_process()
    {
        if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.get(), 1);
            ::WaitForSingleObject(process_.get(), INFINITE);
        }
    }

    // Waits up to a minute for the end; the exit code, or STILL_ACTIVE.
    DWORD wait()
    {
        ::WaitForSingleObject(process_.get(), 60'000);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_.get(), &code);
        return code;
    }

    std::string out() const { return file_text(files_.path() + L"\\out.txt"); }
    std::string err() const { return file_text(files_.path() + L"\\err.txt"); }

private:
    unique_file output_file(const wchar_t* name) const
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        return unique_file(::CreateFileW((files_.path() + L"\\" + name).c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    temp_directory files_;
    unique_handle process_;
};

struct tool_result {
    DWORD exit_code;
    std::string out;
    std::string err;
};

// Runs kvtlogctl with arguments to its end.
inline tool_result kvtlogctl(const std::wstring& arguments)
{
    tool_process tool(arguments);
    const DWORD code = tool.wait();
    return {code, tool.out(), tool.err()};
}

} // namespace kvt::test
