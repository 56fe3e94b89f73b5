#include "support/scratch_registry.h"

#include <gtest/gtest.h>

#include <atomic>

namespace kvt::test {

const wchar_t settings_key_path[] = L"CLSID\\{00120700-2A33-11DC-9309-028037000300}\\Settings";

namespace {

uniquehkey create_key(HKEY parent, const wchar_t* subkey)
{
    uniquehkey key;
    const LSTATUS rc = ::RegCreateKeyExW(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    EXPECT_EQ(rc, ERROR_SUCCESS) << "RegCreateKeyExW";
    return key;
}

void set_value(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    const uniquehkey key = create_key(root, subkey);
    EXPECT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
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

void set_string(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::wstring& value, DWORD type)
{
    set_value(root, subkey, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void set_dword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value)
{
    set_value(root, subkey, name, REG_DWORD, &value, sizeof value);
}

void set_binary(HKEY root, const wchar_t* subkey, const wchar_t* name, const void* data, DWORD size)
{
    set_value(root, subkey, name, REG_BINARY, data, size);
}

void write_default_settings(const std::wstring& log_directory)
{
    const std::wstring level = std::wstring(settings_key_path) + L"\\Level";
    const std::wstring limit = std::wstring(settings_key_path) + L"\\Limit";
    const BYTE default_limit[5] = {0x00, 0x08, 0x00, 0x00, 0x03};
    set_string(HKEY_CLASSES_ROOT, settings_key_path, nullptr, log_directory);
    set_dword(HKEY_CLASSES_ROOT, level.c_str(), nullptr, 0xFFFFFFFF);
    set_binary(HKEY_CLASSES_ROOT, limit.c_str(), nullptr, default_limit, sizeof default_limit);
}

} // namespace kvt::test
