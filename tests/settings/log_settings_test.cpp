#include "settings/log_settings.h"

#include "support/scratch_registry.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <vector>

namespace kvt {
namespace {

const std::wstring level_key = std::wstring(test::settings_key_path) + L"\\Level";
const std::wstring limit_key = std::wstring(test::settings_key_path) + L"\\Limit";

struct stored_value {
    LSTATUS status;
    DWORD type;
    std::vector<BYTE> data;
};

stored_value read_stored(const std::wstring& subkey, const wchar_t* name)
{
    stored_value v{ERROR_SUCCESS, REG_NONE, std::vector<BYTE>(1024)};
    DWORD size = static_cast<DWORD>(v.data.size());
    v.status = ::RegGetValueW(HKEY_CLASSES_ROOT, subkey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &v.type,
                              v.data.data(), &size);
    v.data.resize(v.status == ERROR_SUCCESS ? size : 0);
    return v;
}

std::wstring stored_text(const stored_value& v)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / 2).c_str();
}

void delete_value(const std::wstring& subkey, const wchar_t* name)
{
    ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, subkey.c_str(), name), ERROR_SUCCESS);
}

template <class F>
DWORD thrown_code(F f)
{
    try {
        f();
    } catch (DWORD code) {
        return code;
    }
    return ERROR_SUCCESS;
}

std::wstring upper(std::wstring text)
{
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

class LogSettings : public ::testing::Test {
protected:
    void SetUp() override { test::write_default_settings(dir_.path()); }

    void store_directory(const std::wstring& text, DWORD type = REG_SZ)
    {
        test::set_string(HKEY_CLASSES_ROOT, test::settings_key_path, nullptr, text, type);
    }

    test::scratch_registry registry_;
    test::temp_directory dir_;
};

TEST_F(LogSettings, IdWithoutOwnValueTakesTheDefaultValue)
{
    const limitrecord seven{4096, 7};
    test::set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 0x3F);
    test::set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"7", &seven, sizeof seven);
    logsettings store;
    EXPECT_EQ(store.level(7), 0x3Fu);
    EXPECT_EQ(store.level(8), 0xFFFFFFFFu);
    EXPECT_EQ(store.level(0xFFFFFFFF), 0xFFFFFFFFu);
    EXPECT_EQ(store.limit(7), seven);
    EXPECT_EQ(store.limit(8), builtin_limit);
    EXPECT_EQ(store.limit(0xFFFFFFFF), builtin_limit);
}

TEST_F(LogSettings, AnsweredIdKeepsItsValueWhenTheDefaultChangesLater)
{
    logsettings store;
    EXPECT_EQ(store.level(7), 0xFFFFFFFFu);
    EXPECT_EQ(store.limit(7), builtin_limit);
    EXPECT_TRUE(store.set_level(0xFFFFFFFF, 3));
    EXPECT_TRUE(store.set_limit(0xFFFFFFFF, {100, 1}));
    test::set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 1);  // another writer: not seen either
    EXPECT_EQ(store.level(7), 0xFFFFFFFFu);
    EXPECT_EQ(store.limit(7), builtin_limit);
    EXPECT_EQ(store.level(8), 3u);
    EXPECT_EQ(store.limit(8), (limitrecord{100, 1}));
    EXPECT_EQ(read_stored(level_key, nullptr).data, (std::vector<BYTE>{3, 0, 0, 0}));
    EXPECT_EQ(read_stored(limit_key, nullptr).data, (std::vector<BYTE>{100, 0, 0, 0, 1}));
}

TEST_F(LogSettings, ValuesOfUnexpectedTypeOrSizeReadByTheirOwnRules)
{
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    const BYTE limit_ten[6] = {0x00, 0x04, 0x00, 0x00, 0x0A, 0xEE};
    const BYTE four[4] = {1, 2, 3, 4};
    const limitrecord other_default{4096, 1};
    test::set_string(HKEY_CLASSES_ROOT, level_key.c_str(), L"1", L"3");
    test::set_binary(HKEY_CLASSES_ROOT, level_key.c_str(), L"2", eight, sizeof eight);
    test::set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"1", limit_ten, 5);
    test::set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"2", limit_ten, sizeof limit_ten);
    test::set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"3", four, sizeof four);
    test::set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), nullptr, &other_default, sizeof other_default);
    logsettings store;
    EXPECT_EQ(store.level(1), 0u);  // REG_SZ: no fall-back to the default
    EXPECT_EQ(store.level(2), 0u);  // longer than 4 bytes
    EXPECT_EQ(store.limit(1), (limitrecord{1024, 10}));
    EXPECT_EQ(store.limit(2), (limitrecord{1024, 10}));  // bytes after the fifth are ignored
    EXPECT_EQ(store.limit(3), builtin_limit);            // too short for a record
    EXPECT_EQ(store.limit(4), other_default);
}

TEST_F(LogSettings, SettersWriteOnlyRealChanges)
{
    logsettings store;
    EXPECT_TRUE(store.set_level(7, 0x3F));
    const auto level = read_stored(level_key, L"7");
    EXPECT_EQ(level.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(level.data, (std::vector<BYTE>{0x3F, 0, 0, 0}));

    EXPECT_FALSE(store.set_limit(7, {2048, 5}));  // same size: not a shrink, but written
    const auto limit = read_stored(limit_key, L"7");
    EXPECT_EQ(limit.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(limit.data, (std::vector<BYTE>{0x00, 0x08, 0x00, 0x00, 0x05}));
    EXPECT_TRUE(store.set_limit(7, {1024, 5}));
    EXPECT_FALSE(store.set_limit(7, {4096, 5}));
    EXPECT_EQ(store.limit(7), (limitrecord{4096, 5}));

    delete_value(level_key, L"7");
    delete_value(limit_key, L"7");
    EXPECT_FALSE(store.set_level(7, 0x3F));
    EXPECT_FALSE(store.set_limit(7, {4096, 5}));
    EXPECT_EQ(read_stored(level_key, L"7").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(read_stored(limit_key, L"7").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(LogSettings, MissingSettingsKeyGivesDefaultsAndFailsWrites)
{
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CLASSES_ROOT, test::settings_key_path), ERROR_SUCCESS);
    logsettings store;
    EXPECT_EQ(store.level(7), 0u);
    EXPECT_EQ(store.limit(7), builtin_limit);
    EXPECT_FALSE(store.set_level(7, 0));
    EXPECT_FALSE(store.set_limit(7, builtin_limit));
    EXPECT_EQ(thrown_code([&] { store.log_path(); }), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(thrown_code([&] { store.set_log_path(L"C:\\x"); }), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(thrown_code([&] { store.set_level(7, 1); }), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(thrown_code([&] { store.set_limit(7, {1, 1}); }), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(store.level(7), 0u);  // a failed write leaves the cache as it was
}

TEST_F(LogSettings, MissingDirectoryValueIsThrownAndOtherTypesGiveNoText)
{
    delete_value(test::settings_key_path, nullptr);
    logsettings store;
    EXPECT_EQ(thrown_code([&] { store.log_path(); }), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(thrown_code([&] { store.set_log_path(L"C:\\x"); }), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    test::set_dword(HKEY_CLASSES_ROOT, test::settings_key_path, nullptr, 1);
    EXPECT_FALSE(store.log_path());
    store_directory(dir_.path());  // a missing text is not cached: the next call reads again
    EXPECT_EQ(std::wstring(store.log_path().get()), dir_.path());
}

TEST_F(LogSettings, LogPathIsReadOnceAndExpandedWhenStoredForExpansion)
{
    ::SetEnvironmentVariableW(L"KVT_SETTINGS_DIR", dir_.path().c_str());
    store_directory(L"%KVT_SETTINGS_DIR%\\logs", REG_EXPAND_SZ);
    logsettings store;
    const pathref first = store.log_path();
    EXPECT_EQ(std::wstring(first.get()), dir_.path() + L"\\logs");
    store_directory(L"%KVT_SETTINGS_DIR%\\logs");  // changed behind the store's back
    EXPECT_EQ(store.log_path().get(), first.get());
}

TEST_F(LogSettings, DirectoryTextWithoutTerminatorReadsAsStored)
{
    const wchar_t text[] = {L'C', L':', L'\\', L'x'};
    unique_hkey settings;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, test::settings_key_path, 0, KEY_SET_VALUE, settings.put()),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(settings.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
              ERROR_SUCCESS);
    logsettings store;
    EXPECT_EQ(std::wstring(store.log_path().get()), L"C:\\x");
}

TEST_F(LogSettings, SetLogPathStoresExpandableTextOnlyForDefinedVariables)
{
    ::SetEnvironmentVariableW(L"KVT_SETTINGS_DIR", dir_.path().c_str());
    ::SetEnvironmentVariableW(L"KVT_SETTINGS_UNSET", nullptr);
    store_directory(dir_.path() + L"\\old");
    logsettings store;
    EXPECT_FALSE(store.set_log_path(nullptr));
    EXPECT_EQ(stored_text(read_stored(test::settings_key_path, nullptr)), dir_.path() + L"\\old");

    EXPECT_TRUE(store.set_log_path(L"%KVT_SETTINGS_DIR%"));
    EXPECT_EQ(read_stored(test::settings_key_path, nullptr).type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(std::wstring(store.log_path().get()), dir_.path());

    EXPECT_TRUE(store.set_log_path(L"%KVT_SETTINGS_UNSET%"));
    const auto plain = read_stored(test::settings_key_path, nullptr);
    EXPECT_EQ(plain.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(plain.data.size(), sizeof L"%KVT_SETTINGS_UNSET%");  // with its NUL
    EXPECT_EQ(std::wstring(store.log_path().get()), L"%KVT_SETTINGS_UNSET%");
}

TEST_F(LogSettings, SetLogPathWritesOtherSpellingsButReportsOnlyAnotherDirectory)
{
    logsettings store;
    EXPECT_FALSE(store.set_log_path(upper(dir_.path()).c_str()));
    EXPECT_EQ(stored_text(read_stored(test::settings_key_path, nullptr)), dir_.path());

    const std::wstring logs = dir_.path() + L"\\Logs";
    ASSERT_TRUE(::CreateDirectoryW(logs.c_str(), nullptr));
    store_directory(dir_.path() + L"\\LOGS\\..\\Logs");
    EXPECT_FALSE(store.set_log_path(logs.c_str()));
    EXPECT_EQ(stored_text(read_stored(test::settings_key_path, nullptr)), logs);
    EXPECT_EQ(std::wstring(store.log_path().get()), logs);

    EXPECT_TRUE(store.set_log_path(dir_.path().c_str()));
    EXPECT_EQ(std::wstring(store.log_path().get()), dir_.path());  // the cached text was dropped
}

} // namespace
} // namespace kvt
