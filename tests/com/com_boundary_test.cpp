#include "com/com_boundary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace kvt {
namespace {

// The kinds that COM methods name: alone, then as the methods combine them.
constexpr catches masks[] = {catches::memory, catches::hresult, catches::win32, catches::other,
                             catches::memory | catches::other, catches::memory | catches::win32 | catches::other,
                             catches::memory | catches::hresult | catches::other};

// What com_boundary answers under each mask for a body that throws `thrown`: the HRESULT in
// hexadecimal, or "-" where the exception leaves com_boundary unchanged (a COM method, being
// noexcept, then ends the process), joined by spaces.
template <class E>
std::string outcomes(const E& thrown)
{
    std::string text;
    for (const catches kinds : masks) {
        char result[16] = " -";
        try {
            const HRESULT hr = com_boundary(kinds, [&]() -> HRESULT { throw thrown; });
            std::snprintf(result, sizeof result, " %08lX", static_cast<unsigned long>(hr));
        } catch (const E&) {
        }
        text += result;
    }
    return text.substr(1);
}

TEST(ComBoundary, EachExceptionKindBecomesItsHresultOnlyUnderAMaskThatNamesIt)
{
    EXPECT_EQ(com_boundary(catches::memory, [] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(outcomes(std::bad_alloc()), "8007000E - - 80004005 8007000E 8007000E 8007000E");
    EXPECT_EQ(outcomes(outofmemory("CoTaskMemAlloc() failed")), "8007000E - - 80004005 8007000E 8007000E 8007000E");
    EXPECT_EQ(outcomes(DWORD{ERROR_ACCESS_DENIED}), "- - 80070005 80004005 80004005 80070005 80004005");
    EXPECT_EQ(outcomes(DWORD{0x00012345}), "- - 80072345 80004005 80004005 80072345 80004005");
    EXPECT_EQ(outcomes(DWORD{0}), "- - 00000000 80004005 80004005 00000000 80004005");
    EXPECT_EQ(outcomes(DWORD{0xC0000005}), "- - C0000005 80004005 80004005 C0000005 80004005");
    EXPECT_EQ(outcomes(HRESULT{E_ACCESSDENIED}), "- 80070005 - 80004005 80004005 80004005 80070005");
    EXPECT_EQ(outcomes(HRESULT{S_FALSE}), "- 00000001 - 80004005 80004005 80004005 00000001");
    EXPECT_EQ(outcomes(42), "- - - 80004005 80004005 80004005 80004005");
    EXPECT_EQ(outcomes(std::runtime_error("other")), "- - - 80004005 80004005 80004005 80004005");
}

} // namespace
} // namespace kvt
