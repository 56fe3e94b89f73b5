#pragma once
// The registry of a test: HKEY_CLASSES_ROOT redirected to a scratch key, values written as
// the program's installation writes them, and read back byte for byte.

#include "win/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace kvt::test {

// Redirects HKEY_CLASSES_ROOT of this process to a fresh scratch key under
// HKEY_CURRENT_USER for the life of the object, and deletes the key afterwards, so the
// product code uses HKEY_CLASSES_ROOT as it stands and no test sees another's values.
// Neither copied nor moved: its key is not.
class scratchregistry {
public:
    scratchregistry()
    {
        static std::atomic<unsigned> serial{0};
        path_ = L"Software\\kvtlog-tests\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(serial++);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        key_ = create_key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
        EXPECT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, key_.get()), ERROR_SUCCESS);
    }
    ~scratchregistry()
    {
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        key_.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }

private:
    std::wstring path_;
    uniquehkey key_;
};

inline constexpr wchar_t settings_key_path[] = L"CLSID\\{00120700-2A33-11DC-9309-028037000300}\\Settings";

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

// Writes the Settings layout that registration writes: the directory (REG_SZ), Level
// (default) 0xFFFFFFFF and Limit (default) {2048, 3}.
inline void write_default_settings(const std::wstring& log_directory)
{
    const BYTE default_limit[5] = {0x00, 0x08, 0x00, 0x00, 0x03};
    set_string(HKEY_CLASSES_ROOT, settings_key_path, nullptr, log_directory);
    set_dword(HKEY_CLASSES_ROOT, (std::wstring(settings_key_path) + L"\\Level").c_str(), nullptr, 0xFFFFFFFF);
    set_binary(HKEY_CLASSES_ROOT, (std::wstring(settings_key_path) + L"\\Limit").c_str(), nullptr, default_limit, 5);
}

struct registryvalue {
    LSTATUS status;
    DWORD type;
    std::vector<BYTE> data;
    friend bool operator==(const registryvalue&, const registryvalue&) = default;
};

// The value as stored, never expanded; status ERROR_FILE_NOT_FOUND and no data when absent.
inline registryvalue read_value(HKEY root, const std::wstring& subkey, const wchar_t* name = nullptr)
{
    registryvalue v{ERROR_MORE_DATA, REG_NONE, {}};
    for (DWORD size = 4096; v.status == ERROR_MORE_DATA;) {  // size is then the size the value needs
        v.data.resize(size);
        v.status = ::RegGetValueW(root, subkey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, v.data.data(), &size);
        v.data.resize(v.status == ERROR_SUCCESS ? size : 0);
    }
    v.type = v.status == ERROR_SUCCESS ? v.type : REG_NONE;
    return v;
}

// A string value as the program writes it: the text and its terminating NUL.
inline registryvalue string_value(const std::wstring& text, DWORD type = REG_SZ)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {ERROR_SUCCESS, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

inline bool key_exists(HKEY root, const std::wstring& subkey)
{
    return bool(try_open_key(root, subkey.c_str(), KEY_READ));
}

} // namespace kvt::test
