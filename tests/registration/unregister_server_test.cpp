#include "registration/registration.h"

#include "registration_fixture.h"

#include <vector>

namespace kvt::test {
namespace {

using UnregisterServerTest = RegistrationTest;

TEST_F(UnregisterServerTest, RemovesTheRegistrationWithDeepTreesAndLeavesOtherKeys)
{
    register_server(nullptr);
    set_dword(HKEY_CLASSES_ROOT, level_key.c_str(), L"7", 3);
    set_string(HKEY_CLASSES_ROOT, L"KVT.Logging\\a\\b\\c\\d\\e", L"v", L"x");
    set_string(HKEY_CLASSES_ROOT, L"KVT.Logging.1\\a\\b", nullptr, L"x");
    set_string(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-000000000001}", nullptr, L"other");
    set_string(HKEY_CLASSES_ROOT, L"KVT.Logging.2", nullptr, L"other");

    unregister_server();

    for (const wchar_t* gone : {L"KVT.Logging", L"KVT.Logging.1", class_key.c_str()})
        EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, gone)) << ::testing::PrintToString(std::wstring(gone));
    EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-000000000001}"));
    EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, L"KVT.Logging.2"));
    EXPECT_EQ(boxes_.shown(), std::vector<shown_box>({registered, unregistered}));
}

TEST_F(UnregisterServerTest, SucceedsWhenNothingIsRegistered)
{
    unregister_server();
    set_string(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-000000000001}", nullptr, L"other");
    unregister_server();
    EXPECT_EQ(boxes_.shown(), std::vector<shown_box>({unregistered, unregistered}));
}

} // namespace
} // namespace kvt::test
