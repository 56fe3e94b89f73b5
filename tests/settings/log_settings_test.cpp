#include "settings/log_settings.h"

#include "support/scratch_registry.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

namespace kvt::test {
namespace {

const std::wstring settings = settings_key_path, level_key = settings + L"\\Level", limit_key = settings + L"\\Limit";

// The Win32 code that f throws; ERROR_SUCCESS when it throws none.
template <class F>
DWORD thrown_code(F f)
try {
    f();
    return ERROR_SUCCESS;
} catch (DWORD code) {
    return code;
}

// The stores are made in the tests, after the values they read.
class LogSettings : public ::testing::Test {
protected:
    LogSettings() { write_default_settings(dir_.path()); }

    scratchregistry registry_;
    tempdirectory dir_;
};

TEST_F(LogSettings, IdsWithoutTheirOwnValueTakeTheDefaultAndOddValuesReadByTheirOwnRules)
{
    const limitrecord seven{4096, 7}, other_default{4096, 1};
    const BYTE eight_bytes[8] = {1}, limit_ten[6] = {0x00, 0x04, 0x00, 0x00, 0x0A, 0xEE}, four_bytes[4] = {1, 2, 3, 4};
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 0x3F);
    set_string(HKEY_CLASSES_ROOT, level_key.c_str(), L"1", L"3");
    set_binary(HKEY_CLASSES_ROOT, level_key.c_str(), L"2", eight_bytes, sizeof eight_bytes);
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"7", &seven, sizeof seven);
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"2", limit_ten, sizeof limit_ten);  // the sixth byte is ignored
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), L"3", four_bytes, sizeof four_bytes);  // too short: built in
    set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), nullptr, &other_default, sizeof other_default);
    logsettings store;
    // A REG_SZ level and one longer than 4 bytes read as 0, not as the default.
    const std::pair<std::uint32_t, std::uint32_t> levels[] = {{7, 0x3F}, {8, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF},
                                                               {1, 0}, {2, 0}};
    for (const auto& [id, mask] : levels)
        EXPECT_EQ(store.level(id), mask) << id;
    const std::pair<std::uint32_t, limitrecord> limits[] = {{7, seven}, {8, other_default}, {0xFFFFFFFF, other_default},
                                                             {2, {1024, 10}}, {3, builtin_limit}};
    for (const auto& [id, limit] : limits)
        EXPECT_EQ(store.limit(id), limit) << id;
}

// An id's answer is cached: neither a later default nor another writer changes it. The
// setters report a changed mask and a smaller size, and write only real changes.
TEST_F(LogSettings, AnswersAreCachedAndSettersWriteAndReportOnlyRealChanges)
{
    logsettings store;
    const auto seven = std::pair(store.level(7), store.limit(7));
    EXPECT_TRUE(store.set_level(0xFFFFFFFF, 3));
    EXPECT_TRUE(store.set_limit(0xFFFFFFFF, {100, 1}));
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 1);
    EXPECT_EQ(std::pair(store.level(7), store.limit(7)), seven);
    EXPECT_EQ(store.level(8), 3u);
    EXPECT_EQ(store.limit(8), (limitrecord{100, 1}));

    EXPECT_TRUE(store.set_level(7, 0x3F));
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, level_key, L"7"), (registryvalue{ERROR_SUCCESS, REG_DWORD, {0x3F, 0, 0, 0}}));
    EXPECT_FALSE(store.set_limit(7, {2048, 5}));  // same size: not a shrink, but written
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, limit_key, L"7"),
              (registryvalue{ERROR_SUCCESS, REG_BINARY, {0x00, 0x08, 0x00, 0x00, 0x05}}));
    EXPECT_TRUE(store.set_limit(7, {1024, 5}));
    EXPECT_FALSE(store.set_limit(7, {4096, 5}));
    ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, level_key.c_str(), L"7"), ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, limit_key.c_str(), L"7"), ERROR_SUCCESS);
    EXPECT_FALSE(store.set_level(7, 0x3F));
    EXPECT_FALSE(store.set_limit(7, {4096, 5}));
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, level_key, L"7").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, limit_key, L"7").status, ERROR_FILE_NOT_FOUND);
}

// One thread flips a limit between two records that differ in every byte while another
// reads it: every read is one of the two. A reader copying outside the lock can catch the
// record half written.
TEST_F(LogSettings, ALimitReadWhileItChangesIsAlwaysOneThatWasSet)
{
    const limitrecord set[2] = {{0x12345678, 0x5A}, {0xEDCBA987, 0xA5}};
    logsettings store;
    ASSERT_NO_THROW(store.set_limit(7, set[0]));
    std::atomic<bool> done = false;
    const std::jthread changer([&] {
        for (int i = 1; i < 2'000; ++i)
            store.set_limit(7, set[i % 2]);
        done = true;
    });
    for (limitrecord read = set[0]; !done && (read == set[0] || read == set[1]);)
        read = store.limit(7);
    EXPECT_TRUE(done) << "a limit read half written";
}

TEST_F(LogSettings, AMissingDirectoryValueOrSettingsKeyIsThrownAndOtherReadsFallBack)
{
    ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, settings_key_path, nullptr), ERROR_SUCCESS);
    logsettings store;
    EXPECT_EQ(thrown_code([&] { store.log_path(); }), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(thrown_code([&] { store.set_log_path(L"C:\\x"); }), DWORD{ERROR_FILE_NOT_FOUND});
    set_dword(HKEY_CLASSES_ROOT, settings_key_path, nullptr, 1);
    EXPECT_FALSE(store.log_path());  // not a text
    EXPECT_TRUE(store.set_log_path(L"C:\\x"));  // another directory, but nothing is written over a number
    EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, settings).type, DWORD{REG_DWORD});
    set_string(HKEY_CLASSES_ROOT, settings_key_path, nullptr, dir_.path());  // a missing text is not cached
    EXPECT_EQ(std::wstring(store.log_path().get()), dir_.path());

    ASSERT_EQ(::RegDeleteTreeW(HKEY_CLASSES_ROOT, settings_key_path), ERROR_SUCCESS);
    logsettings unregistered;
    EXPECT_EQ(unregistered.limit(7), builtin_limit);
    EXPECT_EQ(thrown_code([&] { unregistered.log_path(); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(thrown_code([&] { unregistered.set_log_path(L"C:\\x"); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(thrown_code([&] { unregistered.set_level(7, 1); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(thrown_code([&] { unregistered.set_limit(7, {1, 1}); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(unregistered.level(7), 0u);  // a failed write leaves the cache as it was
}

// Stored for expansion only when a defined variable is referenced (between a pair of percent
// signs), and expanded when read; a change of spelling is written but reported only when it
// names another directory. The text read is cached until the store itself writes another.
TEST_F(LogSettings, SetLogPathStoresTheTypeTheTextNeedsAndReportsOnlyAnotherDirectory)
{
    ::SetEnvironmentVariableW(L"KVT_REF_SET", dir_.path().c_str());
    ::SetEnvironmentVariableW(L"KVT_REF_UNSET", nullptr);
    const std::wstring logs = dir_.path() + L"\\Logs", logs_again = dir_.path() + L"\\LOGS\\..\\Logs";
    ASSERT_TRUE(::CreateDirectoryW(logs.c_str(), nullptr));
    logsettings store;
    std::wstring upper = dir_.path();
    ::CharUpperW(upper.data());
    const struct { const wchar_t* text; bool changed; registryvalue stored; std::wstring path; } changes[] = {
        {nullptr, false, string_value(dir_.path()), dir_.path()},
        {upper.c_str(), false, string_value(dir_.path()), dir_.path()},  // only the case differs: nothing written
        {L"%KVT_REF_SET%\\Logs", true, string_value(L"%KVT_REF_SET%\\Logs", REG_EXPAND_SZ), logs},
        {L"%KVT_REF_UNSET%", true, string_value(L"%KVT_REF_UNSET%"), L"%KVT_REF_UNSET%"},
        {logs.c_str(), true, string_value(logs), logs},
        {logs_again.c_str(), false, string_value(logs_again), logs_again},  // the same directory
    };
    for (const auto& c : changes) {
        EXPECT_EQ(store.set_log_path(c.text), c.changed) << (c.text ? c.text : L"(null)");
        EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, settings), c.stored) << (c.text ? c.text : L"(null)");
        EXPECT_EQ(std::wstring(store.log_path().get()), c.path) << (c.text ? c.text : L"(null)");
    }
    set_string(HKEY_CLASSES_ROOT, settings_key_path, nullptr, dir_.path());  // behind the store's back
    EXPECT_EQ(std::wstring(store.log_path().get()), logs_again);

    const std::pair<const wchar_t*, bool> references[] = {
        {L"%KVT_REF_SET%\\logs", true}, {L"C:\\a%KVT_REF_UNSET%b%KVT_REF_SET%", true}, {L"%%%KVT_REF_SET%", true},
        {L"%KVT_REF_UNSET%", false},   {L"50%", false},
        {L"%%KVT_REF_SET%", false},              // "%%" is skipped, the rest has one '%'
        {L"%KVT_REF_UNSET%KVT_REF_SET%", false}, // the second '%' closes the first name only
        {L"", false},                  {nullptr, false},
    };
    for (const auto& [text, expected] : references)
        EXPECT_EQ(references_environment(text), expected) << (text ? text : L"(null)");
}

TEST_F(LogSettings, AForwardingTargetIsOffUntilAWholeOneIsStoredAndOddValuesFallBack)
{
    logsettings store;
    EXPECT_FALSE(store.forward_target().on());
    const forwardtarget target{L"collector", 6514, 16, 0x03};
    store.set_forward_target(target);
    EXPECT_EQ(store.forward_target(), target);
    const struct { const wchar_t* name; DWORD value; forwardtarget expected; } cases[] = {
        {L"ForwardFacility", 24, {L"collector", 6514, 1, 0x03}},
        {L"ForwardPort", 0x10000, {}},
        {L"ForwardPort", 0, {}},
    };
    for (const auto& c : cases) {
        set_dword(HKEY_CLASSES_ROOT, settings.c_str(), c.name, c.value);
        EXPECT_EQ(store.forward_target(), c.expected) << c.name << c.value;
    }
    store.set_forward_target(target);
    store.set_forward_target({});
    EXPECT_EQ(store.forward_target(), forwardtarget{});
    store.set_forward_target({});
}

} // namespace
} // namespace kvt::test
