#include "support/scratch_registry.h"

#include <gtest/gtest.h>

#include <atomic>

namespace kvt::test {

const wchar_t settings_key_path[] = L"CLSID\\{00120700-2A33-11DC-9309-028037000300}\\Settings";

scratchregistry::scratchregistry()
{
    static std::atomic<unsigned> serial{0};
    path_ = L"Software\\kvtlog-tests\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    key_ = create_key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
    EXPECT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, key_.get()), ERROR_SUCCESS);
}

scratchregistry::~scratchregistry()
{
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    key_.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
}

void write_default_settings(const std::wstring& log_directory)
{
    const BYTE default_limit[5] = {0x00, 0x08, 0x00, 0x00, 0x03};
    set_string(HKEY_CLASSES_ROOT, settings_key_path, nullptr, log_directory);
    set_dword(HKEY_CLASSES_ROOT, (std::wstring(settings_key_path) + L"\\Level").c_str(), nullptr, 0xFFFFFFFF);
    set_binary(HKEY_CLASSES_ROOT, (std::wstring(settings_key_path) + L"\\Limit").c_str(), nullptr, default_limit, 5);
}

registryvalue read_value(HKEY root, const std::wstring& subkey, const wchar_t* name)
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

registryvalue string_value(const std::wstring& text, DWORD type)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {ERROR_SUCCESS, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

bool key_exists(HKEY root, const std::wstring& subkey) { return bool(try_open_key(root, subkey.c_str(), KEY_READ)); }

} // namespace kvt::test
