#include "settings/text_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvt {
namespace {

// The call needs need(size) characters for "text": it writes the text once the buffer has
// them, answers the need otherwise, and fails (leaving the last error as it is) for 0.
TEST(CallWithTextBuffer, GrowsUntilTheTextFitsAndGivesUpOnACallThatKeepsAskingForMore)
{
    const struct { DWORD (*need)(DWORD); std::optional<std::wstring> text; DWORD error; std::vector<DWORD> sizes; }
        cases[] = {
            {[](DWORD) -> DWORD { return 5; }, L"text", ERROR_ACCESS_DENIED, {16}},
            {[](DWORD) -> DWORD { return 300; }, L"text", ERROR_ACCESS_DENIED, {16, 300}},
            {[](DWORD) -> DWORD { return 0; }, std::nullopt, ERROR_ACCESS_DENIED, {16}},
            {[](DWORD size) { return size + 1; }, std::nullopt, ERROR_INSUFFICIENT_BUFFER, {16, 17, 18, 19, 20, 21, 22, 23}},
        };
    for (const auto& c : cases) {
        std::vector<DWORD> sizes;
        ::SetLastError(ERROR_ACCESS_DENIED);
        const auto text = call_with_text_buffer(16, [&](wchar_t* buffer, DWORD size) {
            sizes.push_back(size);
            const DWORD needed = c.need(size);
            return needed == 0 || needed > size ? needed : static_cast<DWORD>(lstrlenW(lstrcpyW(buffer, L"text")));
        });
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(::GetLastError(), c.error);
        EXPECT_EQ(sizes, c.sizes);
    }
}

} // namespace
} // namespace kvt
