#include "service_fixture.h"

#include <functional>

namespace kvt::test {
namespace {

using ServiceTest = service_test;

TEST_F(ServiceTest, BothInterfacesShareOneIdentityAndOfferNothingElse)
{
    ComPtr<IUnknown> from_service, from_control;
    EXPECT_EQ(service_->QueryInterface(IID_IUnknown, &from_service), S_OK);
    EXPECT_EQ(control_->QueryInterface(IID_IUnknown, &from_control), S_OK);
    EXPECT_EQ(from_service.Get(), static_cast<IUnknown*>(service_.Get()));
    EXPECT_EQ(from_control.Get(), from_service.Get());
    EXPECT_NE(static_cast<void*>(control_.Get()), static_cast<void*>(service_.Get()));
    for (const IID* iid : {&IID_ILogSource, &IID_ILogMessage, &IID_IClassFactory}) {
        void* out = &out;
        EXPECT_EQ(control_->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(ServiceTest, CreateSourceChecksTheNameBeforeTheInterface)
{
    struct row { const wchar_t* name; const IID* iid; HRESULT expected; };
    for (const row& r : {row{nullptr, &IID_ILogSource, E_INVALIDARG}, row{nullptr, &IID_ILogMessage, E_INVALIDARG},
                         row{L"app", &IID_ILogMessage, E_NOINTERFACE}, row{L"app", &IID_IUnknown, E_NOINTERFACE}}) {
        void* out = &out;
        EXPECT_EQ(service_->CreateSource(7, r.name, test_version, *r.iid, &out), r.expected);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(ServiceTest, LimitsAboveTwoHundredFiftyFiveFilesAreRefused)
{
    DWORD size = 0, files = 0;
    EXPECT_EQ(service_->GetDefaultLimit(&size, &files), S_OK);
    EXPECT_EQ(size, 2048u);
    EXPECT_EQ(files, 3u);
    EXPECT_EQ(service_->SetLimit(7, 100, 256), E_INVALIDARG);
    EXPECT_EQ(service_->GetLimit(7, &size, &files), S_OK);
    EXPECT_EQ(size, 2048u);
    EXPECT_EQ(service_->SetLimit(7, 100, 255), S_OK);
    EXPECT_EQ(service_->GetLimit(7, &size, &files), S_OK);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(files, 255u);
}

TEST_F(ServiceTest, PathStrippingCannotBeSwitchedOff)
{
    boolean strip = FALSE;
    EXPECT_EQ(service_->SetStripPaths(FALSE), S_FALSE);
    EXPECT_EQ(service_->SetStripPaths(TRUE), S_OK);
    EXPECT_EQ(service_->GetStripPaths(&strip), S_OK);
    EXPECT_EQ(strip, TRUE);
}

TEST_F(ServiceTest, LevelsAndLogPathAreReadBackFromTheSettings)
{
    DWORD mask = 0;
    EXPECT_EQ(control_->GetDefaultLevel(&mask), S_OK);
    EXPECT_EQ(mask, 0xFFFFFFFFu);
    EXPECT_EQ(control_->SetLevel(7, 0x3F), S_OK);
    EXPECT_EQ(control_->GetLevel(7, &mask), S_OK);
    EXPECT_EQ(mask, 0x3Fu);
    LPWSTR path = nullptr;
    EXPECT_EQ(control_->GetLogPath(&path), S_OK);
    EXPECT_EQ(std::wstring(path), logs_.path());
    ::CoTaskMemFree(path);
}

TEST_F(ServiceTest, MissingLogPathValueGivesTheRegistryErrorAndNull)
{
    ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, settings_key_path, nullptr), ERROR_SUCCESS);
    LPWSTR path = reinterpret_cast<LPWSTR>(&path);
    EXPECT_EQ(control_->GetLogPath(&path), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(path, nullptr);
}

TEST_F(ServiceTest, ReservedMethodsAreNotImplemented)
{
    ULONG_PTR reserved = 1;
    EXPECT_EQ(control_->Reserved1(&reserved), E_NOTIMPL);
    EXPECT_EQ(reserved, 0u);
    EXPECT_EQ(control_->Reserved2(), E_NOTIMPL);
}

TEST_F(ServiceTest, RecordsCommittedWhileSuspendedAreNeverWritten)
{
    EXPECT_EQ(control_->Suspend(FALSE), S_OK);
    const ComPtr<ILogSource> app = source(7, L"app");
    EXPECT_EQ(control_->Suspend(TRUE), S_OK);
    log(app.Get(), L"lost");
    EXPECT_EQ(control_->Suspend(FALSE), S_OK);
    log(app.Get(), L"kept");
    wait_for_writer();
    const std::vector<std::wstring> lines = read_log_lines(file_of(7, L"app"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(message_text(lines[0]), L"kept");
}

TEST_F(ServiceTest, SourceIdTextsParseAndFormat)
{
    struct row { const wchar_t* text; HRESULT expected; DWORD id; };
    for (const row& r : {row{L"  ca007\t", S_OK, 7}, row{L"GE", S_OK, 0}, row{L"CA4294967295", S_OK, 0xFFFFFFFF},
                         row{L"CA4294967296", E_INVALIDARG, 0}, row{L"CA0", E_INVALIDARG, 0},
                         row{L"GE1", E_INVALIDARG, 0}, row{L"", E_INVALIDARG, 0}, row{nullptr, E_INVALIDARG, 0}}) {
        DWORD id = 99;
        EXPECT_EQ(control_->ParseSourceId(r.text, &id), r.expected) << (r.text ? r.text : L"null");
        if (r.expected == S_OK) {
            EXPECT_EQ(id, r.id);
        }
    }
    for (const auto& [id, text] : {std::pair{0u, L"GE"}, std::pair{7u, L"CA7"}}) {
        LPWSTR out = nullptr;
        EXPECT_EQ(control_->FormatSourceId(id, &out), S_OK);
        EXPECT_STREQ(out, text);
        ::CoTaskMemFree(out);
    }
}

TEST_F(ServiceTest, LevelTextsParseAndFormat)
{
    struct row { const wchar_t* text; HRESULT expected; DWORD mask; };
    for (const row& r : {row{L"error, Warning;trc", S_OK, 0x46}, row{L"", S_OK, 0}, row{L" ,;\t", S_OK, 0},
                         row{nullptr, S_OK, 0}, row{L"ERROR,LOUD", E_INVALIDARG, 2}, row{L"2", E_INVALIDARG, 0}}) {
        DWORD mask = 99;
        EXPECT_EQ(control_->ParseLevels(r.text, &mask), r.expected) << (r.text ? r.text : L"null");
        EXPECT_EQ(mask, r.mask);
    }
    for (const auto& [mask, text] : {std::pair{0x00u, L""}, std::pair{0x41u, L"FATAL,TRACE"}, std::pair{0x100u, L""},
                                     std::pair{0x7Fu, L"FATAL,ERROR,WARNING,EVENT,INFO,DEBUG,TRACE"}}) {
        LPWSTR out = nullptr;
        EXPECT_EQ(control_->FormatLevels(mask, &out), S_OK);
        ASSERT_NE(out, nullptr);
        EXPECT_STREQ(out, text);
        ::CoTaskMemFree(out);
    }
}

// A setting change closes the open files it affects, and no others. Source id 7 has an
// open file; closing id 8's file after the change shows when the writer has handled the
// change, since it handles messages in order.
struct setting_change {
    const char* name;
    std::function<HRESULT(ILogService*, ILogControl*, const std::wstring& other_directory)> change;
    bool closes;

    friend void PrintTo(const setting_change& change, std::ostream* out) { *out << change.name; }
};

class SettingChangeTest : public service_test, public ::testing::WithParamInterface<setting_change> {};

TEST_P(SettingChangeTest, ClosesExactlyTheFilesItAffects)
{
    temp_directory other;
    const ComPtr<ILogSource> seven = source(7, L"seven"), marker = source(8, L"marker");
    log(seven.Get(), L"a");
    log(marker.Get(), L"b");
    // The change comes after both files are open: the directory is read when a file opens.
    ASSERT_TRUE(wait_until([&] { return file_exists(file_of(7, L"seven")) && file_exists(file_of(8, L"marker")); }));
    EXPECT_EQ(GetParam().change(service_.Get(), control_.Get(), other.path()), S_OK);
    EXPECT_EQ(control_->SetLevel(8, 0), S_OK);
    ASSERT_TRUE(wait_until_closed(file_of(8, L"marker")));
    EXPECT_EQ(is_open(file_of(7, L"seven")), !GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SettingChangeTest,
    ::testing::Values(
        setting_change{"LevelOff", [](auto, auto control, auto&) { return control->SetLevel(7, 0); }, true},
        setting_change{"LevelWithoutLevelBits", [](auto, auto control, auto&) { return control->SetLevel(7, 0x80); }, true},
        setting_change{"LevelStillOn", [](auto, auto control, auto&) { return control->SetLevel(7, 2); }, false},
        setting_change{"DefaultLevelOff", [](auto, auto control, auto&) { return control->SetDefaultLevel(0); }, false},
        setting_change{"LimitShrinks", [](auto service, auto, auto&) { return service->SetLimit(7, 1024, 3); }, true},
        setting_change{"LimitGrows", [](auto service, auto, auto&) { return service->SetLimit(7, 4096, 3); }, false},
        setting_change{"DefaultLimitShrinks", [](auto service, auto, auto&) { return service->SetDefaultLimit(1, 3); }, false},
        setting_change{"LogPathNull", [](auto, auto control, auto&) { return control->SetLogPath(nullptr); }, false},
        setting_change{"LogPathChanged", [](auto, auto control, auto& other) { return control->SetLogPath(other.c_str()); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kvt::test
