#pragma once
// Reading back what the program stored in the registry, byte for byte.

#include <windows.h>

#include <string>
#include <vector>

namespace kvt::test {

struct registryvalue {
    LSTATUS status;
    DWORD type;
    std::vector<BYTE> data;
    friend bool operator==(const registryvalue&, const registryvalue&) = default;
};

// The value as stored, never expanded; status ERROR_FILE_NOT_FOUND and no data when absent.
registryvalue read_value(HKEY root, const std::wstring& subkey, const wchar_t* name = nullptr);

// A string value as the program writes it: the text and its terminating NUL.
registryvalue string_value(const std::wstring& text, DWORD type = REG_SZ);

bool key_exists(HKEY root, const std::wstring& subkey);

} // namespace kvt::test
