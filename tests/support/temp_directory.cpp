#include "support/temp_directory.h"

#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace kvt::test {

tempdirectory::tempdirectory()
{
    static std::atomic<unsigned> serial{0};
    wchar_t base[MAX_PATH];
    const DWORD n = ::GetTempPathW(MAX_PATH, base);
    EXPECT_GT(n, 0u);
    path_ = std::wstring(base) + L"kvtlog-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(serial++);
    std::error_code ignored;  // a directory of this name left by an earlier run goes first
    std::filesystem::remove_all(path_, ignored);
    EXPECT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr)) << "CreateDirectoryW";
}

tempdirectory::~tempdirectory()
{
    std::error_code ignored;  // what is still open elsewhere stays behind
    std::filesystem::remove_all(path_, ignored);
}

std::vector<unsigned char> read_file_bytes(const std::wstring& path)
{
    uniquehandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<unsigned char> bytes;
    if (!file)
        return bytes;
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file.get(), &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        read = 0;
    bytes.resize(read);
    return bytes;
}

std::vector<std::wstring> read_log_lines(const std::wstring& path)
{
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    std::vector<std::wstring> lines;
    if (bytes.size() < 2)
        return lines;
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8);
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

bool file_exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace kvt::test
