#include "registration/registration.h"

#include "registration_fixture.h"

#include <optional>
#include <string>
#include <vector>

namespace kvt::test {
namespace {

// Sets (or, for null, removes) an environment variable and restores it afterwards.
class scoped_variable {
public:
    scoped_variable(const wchar_t* name, const wchar_t* value) : name_(name)
    {
        if (const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0)) {
            old_.emplace(size, L'\0');
            old_->resize(::GetEnvironmentVariableW(name, old_->data(), size));
        }
        ::SetEnvironmentVariableW(name, value);
    }
    ~scoped_variable() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    scoped_variable(const scoped_variable&) = delete;
    scoped_variable& operator=(const scoped_variable&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

std::wstring module_path()
{
    wchar_t path[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    return path;
}

struct key_counts {
    DWORD subkeys;
    DWORD values;
    friend bool operator==(const key_counts&, const key_counts&) = default;
};

key_counts count_entries(const std::wstring& subkey)
{
    key_counts counts{~0u, ~0u};
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &counts.subkeys, nullptr, nullptr, &counts.values,
                           nullptr, nullptr, nullptr, nullptr);
    return counts;
}

const registry_value all_levels{ERROR_SUCCESS, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}};
const registry_value default_limit{ERROR_SUCCESS, REG_BINARY, {0x00, 0x08, 0x00, 0x00, 0x03}};

using RegisterServerTest = RegistrationTest;

TEST_F(RegisterServerTest, WritesEveryKeyAndValueOfTheRegistrationAndNothingElse)
{
    const scoped_variable temp(L"TEMP", L"C:\\temp");
    register_server(nullptr);

    const struct {
        std::wstring key;
        registry_value value;
        DWORD subkeys;
    } table[] = {
        {class_key, string_value(L"KVT Logging Service"), 3},
        {class_key + L"\\LocalServer32", string_value(module_path()), 0},
        {class_key + L"\\ProgID", string_value(L"KVT.Logging.1"), 0},
        {class_key + L"\\Settings", string_value(L"%TEMP%", REG_EXPAND_SZ), 2},
        {level_key, all_levels, 0},
        {limit_key, default_limit, 0},
        {L"KVT.Logging.1", string_value(L"KVT Logging Service"), 1},
        {L"KVT.Logging.1\\CLSID", string_value(class_id), 0},
        {L"KVT.Logging", string_value(L"KVT Logging Service"), 2},
        {L"KVT.Logging\\CLSID", string_value(class_id), 0},
        {L"KVT.Logging\\CurVer", string_value(L"KVT.Logging.1"), 0},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(::testing::PrintToString(row.key));
        EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, row.key), row.value);
        EXPECT_EQ(count_entries(row.key), (key_counts{row.subkeys, 1}));
    }
    EXPECT_EQ(count_entries(L"CLSID"), (key_counts{1, 0}));
    EXPECT_EQ(boxes_.shown(), std::vector<shown_box>{registered});
}

TEST_F(RegisterServerTest, LogDirectoryIsTheGivenPathElseTempElseTmpElseBesideTheProgram)
{
    const std::wstring program = module_path();
    const std::wstring beside_program = program.substr(0, program.find_last_of(L'\\')) + L"\\log";
    const struct {
        const wchar_t* temp;
        const wchar_t* tmp;
        const wchar_t* log_path;
        registry_value stored;
    } cases[] = {
        {L"C:\\t", L"C:\\u", nullptr, string_value(L"%TEMP%", REG_EXPAND_SZ)},
        {nullptr, L"C:\\u", nullptr, string_value(L"%TMP%", REG_EXPAND_SZ)},
        {nullptr, nullptr, nullptr, string_value(beside_program)},
        {nullptr, nullptr, L"D:\\Logs", string_value(L"D:\\Logs")},
        {nullptr, nullptr, L"%WINDIR%\\Logs", string_value(L"%WINDIR%\\Logs", REG_EXPAND_SZ)},
        {nullptr, nullptr, L"%KVT_NOT_DEFINED%\\Logs", string_value(L"%KVT_NOT_DEFINED%\\Logs")},
        {L"C:\\t", nullptr, L"", string_value(L"")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.stored.data));
        const scoped_variable temp(L"TEMP", c.temp);
        const scoped_variable tmp(L"TMP", c.tmp);
        register_server(c.log_path);
        EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, class_key + L"\\Settings"), c.stored);
    }
}

TEST_F(RegisterServerTest, RegisteringAgainResetsTheDefaultsAndKeepsValuesOfSingleIds)
{
    register_server(L"C:\\First");
    const BYTE small_limit[5] = {0x10, 0x00, 0x00, 0x00, 0x01};
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), nullptr, 0x01);
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 0x03);
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), nullptr, small_limit, sizeof small_limit);
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"7", small_limit, sizeof small_limit);

    register_server(L"C:\\Second");

    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, class_key + L"\\Settings"), string_value(L"C:\\Second"));
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, level_key), all_levels);
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, limit_key), default_limit);
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, level_key, L"7"), (registry_value{ERROR_SUCCESS, REG_DWORD, {3, 0, 0, 0}}));
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, limit_key, L"7").data, std::vector<BYTE>(small_limit, small_limit + 5));
    EXPECT_EQ(boxes_.shown(), std::vector<shown_box>({registered, registered}));
}

} // namespace
} // namespace kvt::test
