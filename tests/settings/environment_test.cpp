#include "settings/log_settings.h"

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

} // namespace
} // namespace kvt
