#pragma once
// Runs kvtlogctl.exe (or another program of the build, found beside this test program by its
// relative path) as an administrator runs it, its standard output and error caught in files.

#include "support/program_path.h"
#include "support/start_process.h"
#include "support/temp_directory.h"
#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <string>

namespace kvt::test {

// The texts of these tests are ASCII.
inline std::string narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }
inline std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

inline std::string file_text(const std::wstring& path)
{
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A running program, ended when the object goes while it still runs.
class toolprocess {
public:
    explicit toolprocess(const std::wstring& arguments, const char* program = KVTLOGCTL_PATH)
    {
        std::wstring command = L"\"" + path_beside_this_program(program) + L"\" " + arguments;
        const uniquehandle out = output_file(L"out.txt");
        const uniquehandle err = output_file(L"err.txt");
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(start_process(nullptr, command.data(), TRUE, startup, info))
            << ::GetLastError();
        process_.reset(info.hProcess);
        const uniquehandle thread(info.hThread);
    }

    ~toolprocess()
    {
        ::TerminateProcess(process_.get(), 1); // fails harmlessly when the program has ended
        ::WaitForSingleObject(process_.get(), INFINITE);
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
    uniquehandle output_file(const wchar_t* name) const
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        return uniquehandle(::CreateFileW((files_.path() + L"\\" + name).c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    tempdirectory files_;
    uniquehandle process_;
};

// Runs the program with arguments to its end, expecting exit code 0 and nothing on the
// standard error; its standard output.
inline std::string succeed(const std::wstring& arguments, const char* program = KVTLOGCTL_PATH)
{
    toolprocess tool(arguments, program);
    EXPECT_EQ(tool.wait(), 0u) << narrow(arguments) << ": " << tool.err();
    EXPECT_EQ(tool.err(), "") << narrow(arguments);
    return tool.out();
}

} // namespace kvt::test
