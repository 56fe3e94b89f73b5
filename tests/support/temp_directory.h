#pragma once
// A fresh directory under %TEMP% for one test, removed with everything in it afterwards, and
// reading the files that tests look at.

#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace kvt::test {

class tempdirectory {
public:
    tempdirectory()
    {
        static std::atomic<unsigned> serial{0};
        path_ = (std::filesystem::temp_directory_path() / L"kvtlog-test-").wstring() +
                std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
        std::error_code ignored;  // a directory of this name left by an earlier run goes first
        std::filesystem::remove_all(path_, ignored);
        EXPECT_TRUE(std::filesystem::create_directory(path_)) << "a fresh directory";
    }
    ~tempdirectory()
    {
        std::error_code ignored;  // what is still open elsewhere stays behind
        std::filesystem::remove_all(path_, ignored);
    }
    tempdirectory(const tempdirectory&) = delete;
    tempdirectory& operator=(const tempdirectory&) = delete;

    // The directory's path, without a trailing backslash.
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
};

// The whole content of a file, or an empty vector when it cannot be read. The file may be
// open for writing in another thread or process.
inline std::vector<unsigned char> read_file_bytes(const std::wstring& path)
{
    const uniquehandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    std::vector<unsigned char> bytes(::GetFileSizeEx(file.get(), &size) ? static_cast<std::size_t>(size.QuadPart) : 0);
    DWORD read = 0;  // ReadFile makes it 0 when it fails
    if (!bytes.empty())
        ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// The same bytes as a string.
inline std::string read_file_text(const std::wstring& path)
{
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The lines of a UTF-16LE log file: the byte-order mark checked and dropped, the text split
// after each CR LF (the CR LF is kept off the lines). A final line without CR LF is kept.
inline std::vector<std::wstring> read_log_lines(const std::wstring& path)
{
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    std::vector<std::wstring> lines;
    if (bytes.size() < 2)
        return lines;
    EXPECT_TRUE(bytes[0] == 0xFF && bytes[1] == 0xFE) << "no byte-order mark";
    std::wstring text((bytes.size() - 2) / 2, L'\0');  // UTF-16LE, as wchar_t is
    std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
        end = std::min(text.find(L"\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

inline bool file_exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace kvt::test
