#include "registration/registration.h"

#include "registration_fixture.h"
#include "support/processes.h"

#include <string>
#include <vector>

namespace kvt::test {
namespace {

const std::wstring level_key = class_key + L"\\Settings\\Level", limit_key = class_key + L"\\Settings\\Limit";

// A scratch HKEY_CLASSES_ROOT, and the boxes recorded.
class RegistrationTest : public ::testing::Test {
protected:
    scratchregistry registry_;
    boxrecorder boxes_;
};

TEST_F(RegistrationTest, RegisteringWritesEveryEntryAgainButKeepsValuesOfSingleIds)
{
    register_server(L"C:\\First");
    const BYTE small_limit[5] = {0x10, 0x00, 0x00, 0x00, 0x01};
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), nullptr, small_limit, sizeof small_limit);
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), nullptr, 0x01);
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 0x03);  // a value of a single id
    register_server(L"%KVT_NOT_DEFINED%\\Logs");                  // no defined variable: REG_SZ
    const std::pair<std::wstring, registryvalue> table[] = {
        {class_key, string_value(L"KVT Logging Service")},
        {class_key + L"\\LocalServer32", string_value(this_program())},
        {class_key + L"\\ProgID", string_value(L"KVT.Logging.1")},
        {class_key + L"\\Settings", string_value(L"%KVT_NOT_DEFINED%\\Logs")},
        {level_key, {ERROR_SUCCESS, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {limit_key, {ERROR_SUCCESS, REG_BINARY, {0x00, 0x08, 0x00, 0x00, 0x03}}},
        {L"KVT.Logging.1", string_value(L"KVT Logging Service")},
        {L"KVT.Logging.1\\CLSID", string_value(class_id)},
        {L"KVT.Logging", string_value(L"KVT Logging Service")},
        {L"KVT.Logging\\CLSID", string_value(class_id)},
        {L"KVT.Logging\\CurVer", string_value(L"KVT.Logging.1")},
    };
    for (const auto& [key, value] : table)
        EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, key), value) << ::testing::PrintToString(key);
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, level_key, L"7"), (registryvalue{ERROR_SUCCESS, REG_DWORD, {3, 0, 0, 0}}));
    EXPECT_EQ(boxes_.shown(), std::vector<shownbox>({registered, registered}));
}

// Without a given directory: %TEMP% (the command-line tests), else %TMP%, else "log" beside
// the program. The variables change in this test's process only.
TEST_F(RegistrationTest, TheDefaultLogDirectoryIsTmpWithoutTempAndElseBesideTheProgram)
{
    const std::pair<const wchar_t*, registryvalue> cases[] = {
        {L"C:\\u", string_value(L"%TMP%", REG_EXPAND_SZ)},
        {nullptr, string_value(path_beside_this_program("log"))},
    };
    for (const auto& [tmp, stored] : cases) {
        ::SetEnvironmentVariableW(L"TEMP", nullptr);
        ::SetEnvironmentVariableW(L"TMP", tmp);
        register_server(nullptr);
        EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, class_key + L"\\Settings"), stored);
    }
}

TEST_F(RegistrationTest, UnregisteringRemovesDeepTreesLeavesOtherKeysAndSucceedsWhenNothingIsRegistered)
{
    const wchar_t other_class[] = L"CLSID\\{00000000-0000-0000-0000-000000000001}";
    unregister_server();  // not even a CLSID key
    register_server(nullptr);
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 3);
    set_string(HKEY_CLASSES_ROOT, L"KVT.Logging\\a\\b\\c\\d\\e", L"v", L"x");
    set_string(HKEY_CLASSES_ROOT, L"KVT.Logging.1\\a\\b", nullptr, L"x");
    set_string(HKEY_CLASSES_ROOT, other_class, nullptr, L"other");
    set_string(HKEY_CLASSES_ROOT, L"KVT.Logging.2", nullptr, L"other");
    unregister_server();
    for (const std::wstring& gone : {std::wstring(L"KVT.Logging"), std::wstring(L"KVT.Logging.1"), class_key})
        EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, gone)) << ::testing::PrintToString(gone);
    EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, other_class));
    EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, L"KVT.Logging.2"));
    unregister_server();  // a CLSID key without the class
    EXPECT_EQ(boxes_.shown(), std::vector<shownbox>({unregistered, registered, unregistered, unregistered}));
}

} // namespace
} // namespace kvt::test
