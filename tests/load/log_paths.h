#pragma once
// Where the server puts a source's files: <log directory>\<id text>\<name>-a.b.c.d[-k].TXT,
// the version numbers written as signed decimals.

#include <windows.h>

#include <string>
#include <vector>

namespace kvt::test {

std::wstring id_directory(const std::wstring& log_directory, DWORD id);
std::wstring log_file_name(const std::wstring& name, const DWORD version[4], unsigned index = 0);
std::wstring log_file_path(const std::wstring& log_directory, DWORD id, const std::wstring& name,
                           const DWORD version[4], unsigned index = 0);

// The names of the entries of a directory (without . and ..); empty when it cannot be read.
struct directory_entry {
    std::wstring name;
    bool directory;
};
std::vector<directory_entry> list_directory(const std::wstring& directory);

} // namespace kvt::test
