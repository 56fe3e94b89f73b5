#include "core/arguments.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

// Integer and real texts are in the message's full line test, which has every kind.
namespace kvt {
namespace {

template <class A, class... Args>
std::wstring rendered(Args... args)
{
    std::wstring text = L"<";
    A(args...).render(text);
    return text.substr(1);
}

// 0x81 is u with diaeresis in code page 437 and 850, the OEM code pages of western systems.
TEST(TextArgument, MakesLoneLineFeedsCrLfAndNarrowTextIsConvertedFromTheOemCodePage)
{
    const struct { const char* in; const wchar_t* out; } cases[] = {
        {"a\nb", L"a\r\nb"}, {"a\r\nb", L"a\r\nb"}, {"a\rb", L"a\rb"}, {"\n\n", L"\r\n\r\n"},
        {"", L""},           {"\n", L"\r\n"},       {"\r\r\n", L"\r\r\n"},
    };
    for (const auto& c : cases) {
        const std::wstring wide(c.in, c.in + std::char_traits<char>::length(c.in));
        EXPECT_EQ(rendered<wtextargument>(wide.c_str()), c.out) << c.in;
        EXPECT_EQ(rendered<textargument>(c.in), c.out) << c.in;
    }
    wchar_t u = 0;
    ::MultiByteToWideChar(::GetOEMCP(), MB_PRECOMPOSED, "\x81", 1, &u, 1);
    EXPECT_EQ(rendered<textargument>("x\x81y"), (std::wstring{L'x', u, L'y'}));
}

} // namespace
} // namespace kvt
