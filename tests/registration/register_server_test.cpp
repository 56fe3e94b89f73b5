#include "registration/registration.h"

#include "registration_fixture.h"

#include <string>
#include <utility>
#include <vector>

namespace kvt::test {
namespace {

// Sets (or, for null, removes) an environment variable and restores it afterwards.
class scopedvariable {
public:
    scopedvariable(const wchar_t* name, const wchar_t* value) : name_(name), old_(32767, L'\0')
    {
        old_.resize(::GetEnvironmentVariableW(name, old_.data(), 32767));
        ::SetEnvironmentVariableW(name, value);
    }
    ~scopedvariable() { ::SetEnvironmentVariableW(name_, old_.empty() ? nullptr : old_.c_str()); }
    scopedvariable(const scopedvariable&) = delete;

private:
    const wchar_t* name_;
    std::wstring old_;
};

std::wstring module_path()
{
    wchar_t path[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    return path;
}

// The numbers of subkeys and of values of a key under HKEY_CLASSES_ROOT.
std::pair<DWORD, DWORD> entries_of(const std::wstring& subkey)
{
    DWORD subkeys = ~0u, values = ~0u;
    uniquehkey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr);
    return {subkeys, values};
}

using RegisterServerTest = RegistrationTest;

TEST_F(RegisterServerTest, WritesEveryEntryOfTheRegistrationAgainButKeepsValuesOfSingleIds)
{
    const scopedvariable temp(L"TEMP", L"C:\\temp");
    register_server(L"C:\\First");
    const BYTE small_limit[5] = {0x10, 0x00, 0x00, 0x00, 0x01};
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), nullptr, small_limit, sizeof small_limit);
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), nullptr, 0x01);
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 0x03);  // a value of a single id
    register_server(nullptr);

    const struct {
        std::wstring key;
        registryvalue value;  // the (default) value
        std::pair<DWORD, DWORD> entries;
    } table[] = {
        {class_key, string_value(L"KVT Logging Service"), {3, 1}},
        {class_key + L"\\LocalServer32", string_value(module_path()), {0, 1}},
        {class_key + L"\\ProgID", string_value(L"KVT.Logging.1"), {0, 1}},
        {class_key + L"\\Settings", string_value(L"%TEMP%", REG_EXPAND_SZ), {2, 1}},
        {level_key, {ERROR_SUCCESS, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}, {0, 2}},
        {limit_key, {ERROR_SUCCESS, REG_BINARY, {0x00, 0x08, 0x00, 0x00, 0x03}}, {0, 1}},
        {L"KVT.Logging.1", string_value(L"KVT Logging Service"), {1, 1}},
        {L"KVT.Logging.1\\CLSID", string_value(class_id), {0, 1}},
        {L"KVT.Logging", string_value(L"KVT Logging Service"), {2, 1}},
        {L"KVT.Logging\\CLSID", string_value(class_id), {0, 1}},
        {L"KVT.Logging\\CurVer", string_value(L"KVT.Logging.1"), {0, 1}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(::testing::PrintToString(row.key));
        EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, row.key), row.value);
        EXPECT_EQ(entries_of(row.key), row.entries);
    }
    EXPECT_EQ(entries_of(L"CLSID"), (std::pair<DWORD, DWORD>{1, 0}));
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, level_key, L"7"), (registryvalue{ERROR_SUCCESS, REG_DWORD, {3, 0, 0, 0}}));
    EXPECT_EQ(boxes_.shown(), std::vector<shownbox>({registered, registered}));
}

TEST_F(RegisterServerTest, LogDirectoryIsTheGivenPathElseTempElseTmpElseBesideTheProgram)
{
    const std::wstring program = module_path();
    const struct {
        const wchar_t* temp;
        const wchar_t* tmp;
        const wchar_t* log_path;
        registryvalue stored;
    } cases[] = {
        {L"C:\\t", L"C:\\u", nullptr, string_value(L"%TEMP%", REG_EXPAND_SZ)},
        {nullptr, L"C:\\u", nullptr, string_value(L"%TMP%", REG_EXPAND_SZ)},
        {nullptr, nullptr, nullptr, string_value(program.substr(0, program.find_last_of(L'\\')) + L"\\log")},
        {L"C:\\t", nullptr, L"%KVT_NOT_DEFINED%\\Logs", string_value(L"%KVT_NOT_DEFINED%\\Logs")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.stored.data));
        const scopedvariable temp(L"TEMP", c.temp), tmp(L"TMP", c.tmp);
        register_server(c.log_path);
        EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, class_key + L"\\Settings"), c.stored);
    }
}

} // namespace
} // namespace kvt::test
