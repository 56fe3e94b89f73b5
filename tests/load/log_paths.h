#pragma once
// Where the server puts a source's files: <log directory>\<id text>\<name>-a.b.c.d[-k].TXT,
// the version numbers written as signed decimals.

#include <windows.h>

#include <string>

namespace kvt::test {

inline std::wstring id_directory(const std::wstring& log_directory, DWORD id)
{
    return log_directory + (id == 0 ? L"\\GE" : L"\\CA" + std::to_wstring(id));
}

inline std::wstring log_file_name(const std::wstring& name, const DWORD version[4], unsigned index = 0)
{
    std::wstring text = name;
    for (int i = 0; i < 4; ++i)
        text += (i ? L"." : L"-") + std::to_wstring(static_cast<LONG>(version[i]));
    return text + (index ? L"-" + std::to_wstring(index) : L"") + L".TXT";
}

inline std::wstring log_file_path(const std::wstring& log_directory, DWORD id, const std::wstring& name,
                                  const DWORD version[4], unsigned index = 0)
{
    return id_directory(log_directory, id) + L"\\" + log_file_name(name, version, index);
}

} // namespace kvt::test
