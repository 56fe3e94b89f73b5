#pragma once
// The registry of a test: HKEY_CLASSES_ROOT redirected to a scratch key, values written as
// the program's installation writes them, and read back byte for byte.

#include "win/registry.h"

#include <string>
#include <vector>

namespace kvt::test {

// Redirects HKEY_CLASSES_ROOT of this process to a fresh scratch key under
// HKEY_CURRENT_USER for the life of the object, and deletes the key afterwards, so the
// product code uses HKEY_CLASSES_ROOT as it stands and no test sees another's values.
// Neither copied nor moved: its key is not.
class scratchregistry {
public:
    scratchregistry();
    ~scratchregistry();

private:
    std::wstring path_;
    uniquehkey key_;
};

// "CLSID\{00120700-2A33-11DC-9309-028037000300}\Settings"
extern const wchar_t settings_key_path[];

// Writes the Settings layout that registration writes: the directory (REG_SZ), Level
// (default) 0xFFFFFFFF and Limit (default) {2048, 3}.
void write_default_settings(const std::wstring& log_directory);

// Each creates the subkey when it is missing and stores the value; a failure is thrown as its
// Win32 code. A string is stored with its terminating NUL.
inline void set_binary(HKEY root, const wchar_t* subkey, const wchar_t* name, const void* data, DWORD size,
                       DWORD type = REG_BINARY)
{
    set_value(create_key(root, subkey, KEY_SET_VALUE).get(), name, type, data, size);
}
inline void set_string(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::wstring& value)
{
    set_binary(root, subkey, name, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), REG_SZ);
}
inline void set_dword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value)
{
    set_binary(root, subkey, name, &value, sizeof value, REG_DWORD);
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
