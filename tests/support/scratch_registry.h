#pragma once
// Redirects HKEY_CLASSES_ROOT of this process to a fresh scratch key under
// HKEY_CURRENT_USER for the life of the object, and deletes the key afterwards, so the
// product code uses HKEY_CLASSES_ROOT as it stands and no test sees another's values.

#include "win/unique_resource.h"

#include <string>

namespace kvt::test {

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

void set_string(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::wstring& value,
                DWORD type = REG_SZ);
void set_dword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value);
void set_binary(HKEY root, const wchar_t* subkey, const wchar_t* name, const void* data, DWORD size);

} // namespace kvt::test
