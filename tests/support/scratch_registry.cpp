#include "support/scratch_registry.h"

#include <gtest/gtest.h>

#include <atomic>

namespace kvt::test {

const wchar_t settings_key_path[] = L"CLSID\\{00120700-2A33-11DC-9309-028037000300}\\Settings";

namespace {

uniquehkey create_key(HKEY parent, const wchar_t* subkey)
{
    uniquehkey key;
    EXPECT_EQ(::RegCreateKeyExW(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS)
        << "RegCreateKeyExW";
    return key;
}

} // namespace

scratchregistry::scratchregistry()
{
    static std::atomic<unsigned> serial{0};
    path_ = L"Software\\kvtlog-tests\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(serial++);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    key_ = create_key(HKEY_CURRENT_USER, path_.c_str());
    EXPECT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, key_.get()), ERROR_SUCCESS);
}

scratchregistry::~scratchregistry()
{
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    key_.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
}

void set_value(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    const uniquehkey key = create_key(root, subkey);
    EXPECT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void write_default_settings(const std::wstring& log_directory)
{
    const std::wstring settings = settings_key_path;
    const BYTE default_limit[5] = {0x00, 0x08, 0x00, 0x00, 0x03};
    set_string(HKEY_CLASSES_ROOT, settings_key_path, nullptr, log_directory);
    set_dword(HKEY_CLASSES_ROOT, (settings + L"\\Level").c_str(), nullptr, 0xFFFFFFFF);
    set_binary(HKEY_CLASSES_ROOT, (settings + L"\\Limit").c_str(), nullptr, default_limit, sizeof default_limit);
}

registryvalue read_value(HKEY root, const std::wstring& subkey, const wchar_t* name)
{
    registryvalue v{ERROR_MORE_DATA, REG_NONE, {}};
    DWORD size = 4096;
    while (v.status == ERROR_MORE_DATA) {  // size is then the size the value needs
        v.data.resize(size);
        v.status = ::RegGetValueW(root, subkey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, v.data.data(), &size);
    }
    if (v.status != ERROR_SUCCESS)
        v.type = REG_NONE;
    v.data.resize(v.status == ERROR_SUCCESS ? size : 0);
    return v;
}

registryvalue string_value(const std::wstring& text, DWORD type)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {ERROR_SUCCESS, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

bool key_exists(HKEY root, const std::wstring& subkey)
{
    uniquehkey key;
    return ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

} // namespace kvt::test
