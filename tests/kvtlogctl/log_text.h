#pragma once
// Log files as the server writes them, made by the viewer's tests: UTF-16LE, a byte-order
// mark at the start, lines in the server's layout ended by CR LF.

#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace kvt::test {

// "2024/05/01|<time>|<levels>|0/0|app.cpp,1|main|<text>", without the line end.
inline std::wstring log_line(std::wstring_view time, std::wstring_view levels, std::wstring_view text)
{
    return L"2024/05/01|" + std::wstring(time) + L"|" + std::wstring(levels) + L"|0/0|app.cpp,1|main|" +
           std::wstring(text);
}

// Appends text as UTF-16LE, the file opened and shared as the server opens it; a new file
// starts with the byte-order mark when bom is set.
inline void append_text(const std::wstring& path, std::wstring_view text, bool bom = true)
{
    const unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << "CreateFileW " << ::GetLastError();
    std::wstring units = (bom && ::GetLastError() != ERROR_ALREADY_EXISTS) ? L"\xFEFF" : L"";
    units += text;
    ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), units.data(), static_cast<DWORD>(units.size() * 2), &written, nullptr));
}

} // namespace kvt::test
