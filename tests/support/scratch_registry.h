#pragma once
// The registry of a test: HKEY_CLASSES_ROOT redirected to a scratch key, values written as
// the program's installation writes them, and read back byte for byte.

#include "win/unique_resource.h"

#include <string>
#include <vector>

namespace kvt::test {

// Redirects HKEY_CLASSES_ROOT of this process to a fresh scratch key under
// HKEY_CURRENT_USER for the life of the object, and deletes the key afterwards, so the
// product code uses HKEY_CLASSES_ROOT as it stands and no test sees another's values.
class scratchregistry {
public:
    scratchregistry();
    ~scratchregistry();
    scratchregistry(const scratchregistry&) = delete;
    scratchregistry& operator=(const scratchregistry&) = delete;

private:
    std::wstring path_;
    uniquehkey key_;
};

// "CLSID\{00120700-2A33-11DC-9309-028037000300}\Settings"
extern const wchar_t settings_key_path[];

// Writes the Settings layout that registration writes: the directory (REG_SZ), Level
// (default) 0xFFFFFFFF and Limit (default) {2048, 3}.
void write_default_settings(const std::wstring& log_directory);

// Creates the subkey when it is missing and stores the value.
void set_value(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size);

inline void set_string(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::wstring& value,
                       DWORD type = REG_SZ)
{
    set_value(root, subkey, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
inline void set_dword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value)
{
    set_value(root, subkey, name, REG_DWORD, &value, sizeof value);
}
inline void set_binary(HKEY root, const wchar_t* subkey, const wchar_t* name, const void* data, DWORD size)
{
    set_value(root, subkey, name, REG_BINARY, data, size);
}

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
