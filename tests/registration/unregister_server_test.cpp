#include "registration/registration.h"

#include "registration_fixture.h"

#include <vector>

namespace kvt::test {
namespace {

using UnregisterServerTest = RegistrationTest;

TEST_F(UnregisterServerTest, RemovesDeepTreesLeavesOtherKeysAndSucceedsWhenNothingIsRegistered)
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
