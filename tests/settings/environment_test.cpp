#include "settings/log_settings.h"
#include "settings/same_directory.h"

#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace kvt {
namespace {

TEST(ReferencesEnvironment, TrueOnlyForADefinedVariableBetweenAPairOfPercentSigns)
{
    ::SetEnvironmentVariableW(L"KVT_REF_SET", L"x");
    ::SetEnvironmentVariableW(L"KVT_REF_UNSET", nullptr);
    const struct { const wchar_t* text; bool expected; } cases[] = {
        {L"%KVT_REF_SET%\\logs", true},
        {L"C:\\a%KVT_REF_UNSET%b%KVT_REF_SET%", true},
        {L"%%%KVT_REF_SET%", true},
        {L"%KVT_REF_UNSET%", false},
        {L"50%", false},
        {L"%%KVT_REF_SET%", false},              // "%%" is skipped, the rest has one '%'
        {L"%KVT_REF_UNSET%KVT_REF_SET%", false}, // the second '%' closes the first name only
        {L"", false},
        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(references_environment(c.text), c.expected) << (c.text ? c.text : L"(null)");
}

TEST(SameDirectory, ComparesResolvedDirectoriesOrElseTheTextsIgnoringCase)
{
    const test::temp_directory dir;
    const std::wstring d = dir.path();
    ASSERT_TRUE(::CreateDirectoryW((d + L"\\sub").c_str(), nullptr));
    ::SetEnvironmentVariableW(L"KVT_SAME_DIR", d.c_str());
    const struct { std::wstring a; bool expand_a; std::wstring b; bool expected; } cases[] = {
        {d, false, d + L"\\SUB\\..", true},
        {L"%KVT_SAME_DIR%\\sub", true, d + L"\\sub", true},
        {L"%KVT_SAME_DIR%\\sub", false, d + L"\\sub", false},
        {d, false, d + L"\\sub", false},
        {d + L"\\missing", false, d + L"\\MISSING", true},          // no canonical form: texts
        {d + L"\\missing", false, d + L"\\sub\\..\\missing", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(same_directory(c.a.c_str(), c.expand_a, c.b.c_str(), false), c.expected) << c.a << L" | " << c.b;
    EXPECT_FALSE(same_directory(nullptr, false, d.c_str(), false));
}

} // namespace
} // namespace kvt
