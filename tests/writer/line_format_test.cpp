#include "com/arguments.h"
#include "com/inttotext.h"
#include "writer/line_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace kvt {
namespace {

template <class A, class... Args>
std::wstring rendered(Args&&... args)
{
    return std::wstring(A(std::forward<Args>(args)...).render().view());
}

TEST(IntegerArgument, RendersEveryKindAtItsExtremes)
{
    EXPECT_EQ(rendered<intargument<std::uint8_t>>(std::uint8_t{255}, 10, 0), L"255");
    EXPECT_EQ(rendered<intargument<std::int8_t>>(std::int8_t{-128}, 10, 0), L"-128");
    EXPECT_EQ(rendered<intargument<std::uint16_t>>(std::uint16_t{65535}, 10, 0), L"65535");
    EXPECT_EQ(rendered<intargument<std::int16_t>>(std::int16_t{-32768}, 10, 0), L"-32768");
    EXPECT_EQ(rendered<intargument<UINT32>>(UINT32{4294967295u}, 10, 0), L"4294967295");
    EXPECT_EQ(rendered<intargument<INT32>>(INT32{INT_MIN}, 10, 0), L"-2147483648");
    EXPECT_EQ(rendered<intargument<ULONG>>(ULONG{0}, 10, 0), L"0");
    EXPECT_EQ(rendered<intargument<std::uint64_t>>(UINT64_MAX, 10, 0), L"18446744073709551615");
    EXPECT_EQ(rendered<intargument<std::int64_t>>(INT64_MIN, 10, 0), L"-9223372036854775808");
    EXPECT_EQ(rendered<intargument<std::int64_t>>(std::int64_t{0}, 10, 0), L"0");
}

TEST(IntegerArgument, HexadecimalHasFixedWidthUpperCaseAndNoPrefix)
{
    EXPECT_EQ(rendered<intargument<ULONG>>(ULONG{0}, 16, 8), L"00000000");
    EXPECT_EQ(rendered<intargument<ULONG>>(ULONG{255}, 16, 8), L"000000FF");
    EXPECT_EQ(rendered<intargument<ULONG>>(ULONG{0xDEADBEEF}, 16, 8), L"DEADBEEF");
    EXPECT_EQ(rendered<intargument<std::uint64_t>>(std::uint64_t{0}, 16, 16), L"0000000000000000");
    EXPECT_EQ(rendered<intargument<std::uint64_t>>(std::uint64_t{255}, 16, 16), L"00000000000000FF");
    EXPECT_EQ(rendered<intargument<std::uint64_t>>(UINT64_MAX, 16, 16), L"FFFFFFFFFFFFFFFF");
}

TEST(IntegerArgument, TextThatWouldNotFitTheBufferIsEmpty)
{
    wchar_t buffer[4];
    EXPECT_EQ(inttotext(12345, buffer, std::size(buffer), int_format(10, 0)), 0u);
    EXPECT_STREQ(buffer, L"");
    EXPECT_EQ(inttotext(-12, buffer, std::size(buffer), int_format(10, 0)), 3u);
    EXPECT_STREQ(buffer, L"-12");
    EXPECT_EQ(inttotext(-5, buffer, std::size(buffer), int_format(10, 2)), 3u);
    EXPECT_STREQ(buffer, L"-05");
}

TEST(RealArgument, UsesThreeExponentDigits)
{
    EXPECT_EQ(rendered<realargument<double>>(1.5), L"1.500000e+000");
    EXPECT_EQ(rendered<realargument<double>>(-0.25), L"-2.500000e-001");
    EXPECT_EQ(rendered<realargument<float>>(1.5f), L"1.500000e+000");
    EXPECT_EQ(rendered<realargument<double>>(1e300), L"1.000000e+300");
}

TEST(TextArgument, MakesLoneLineFeedsCrLfAndKeepsEverythingElse)
{
    const struct { const wchar_t* in; const wchar_t* out; } cases[] = {
        {L"a\nb", L"a\r\nb"}, {L"a\r\nb", L"a\r\nb"}, {L"a\rb", L"a\rb"},   {L"\n\n", L"\r\n\r\n"},
        {L"", L""},           {L"\n", L"\r\n"},       {L"\r\r\n", L"\r\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rendered<wtextargument>(c.in), c.out) << c.in;
    EXPECT_EQ(rendered<textargument>("a\nb"), L"a\r\nb");
    EXPECT_EQ(rendered<textargument>(""), L"");
}

TEST(TextArgument, WideTextWithoutLoneLineFeedIsSharedNotCopied)
{
    const countedwstring text(L"shared");
    EXPECT_EQ(with_crlf_line_ends(text).data(), text.data());
}

TEST(TextArgument, NarrowTextIsConvertedFromTheOemCodePage)
{
    // 0x81 is u with diaeresis in code page 437 and 850, the OEM code pages of western systems.
    const UINT oem = ::GetOEMCP();
    wchar_t expected[2] = {};
    ::MultiByteToWideChar(oem, MB_PRECOMPOSED, "\x81", 1, expected, 1);
    EXPECT_EQ(rendered<textargument>("x\x81y"), std::wstring(L"x") + expected[0] + L"y");
}

class LineFormat : public ::testing::Test {
protected:
    logrecord record{0x03};

    LineFormat()
    {
        record.time = SYSTEMTIME{2008, 3, 2, 4, 9, 5, 3, 7};
        record.firstid = 0xFFFFFFFF;
        record.secondid = 2;
    }
    void add(const wchar_t* text) { record.arguments.push_back(make_counted<wtextargument>(text)); }
    std::wstring line() { return std::wstring(format_line(record).view()); }
};

TEST_F(LineFormat, WritesHeaderAndJoinedArgumentsWithCrLf)
{
    add(L"a");
    add(L"b");
    add(L"c");
    EXPECT_EQ(line(), L"2008/03/04|09:05:03.007|FTL,ERR|-1/2|(null),0|(null)|abc\r\n");
}

TEST_F(LineFormat, WritesLocationAndEndsRightAfterHeaderWithoutArguments)
{
    record.file.reset(new wchar_t[7]{L'm', L'a', L'i', L'n', L'.', L'c', 0});
    record.function.reset(new wchar_t[2]{L'f', 0});
    record.line = 42;
    EXPECT_EQ(line(), L"2008/03/04|09:05:03.007|FTL,ERR|-1/2|main.c,42|f|\r\n");
}

TEST_F(LineFormat, NamesLevelsInTableOrderOrDashesWhenNoneIsSet)
{
    EXPECT_EQ(level_text(0x02), L"ERR");
    EXPECT_EQ(level_text(0x80), L"---");
    EXPECT_EQ(level_text(0), L"---");
    EXPECT_EQ(level_text(0x7F), L"FTL,ERR,WRN,EVT,INF,DBG,TRC");
    EXPECT_EQ(level_text(0xC1), L"FTL,TRC");
}

TEST_F(LineFormat, LeavesOutTheWholeHeaderWhenItExceeds1023CodeUnits)
{
    const std::wstring long_name(2000, L'f');
    record.function.reset(new wchar_t[long_name.size() + 1]);
    std::wmemcpy(record.function.get(), long_name.c_str(), long_name.size() + 1);
    add(L"text");
    EXPECT_EQ(line(), L"text\r\n");
}

TEST_F(LineFormat, KeepsANulInsideAnArgumentForTheWriterToStopAt)
{
    record.arguments.push_back(make_counted<intargument<INT32>>(-7, std::uint8_t{10}, std::uint16_t{0}));
    const countedwstring text = format_line(record);
    EXPECT_EQ(std::wcslen(text.data()), text.length());
    EXPECT_EQ(text.view().substr(text.length() - 4), L"-7\r\n");
}

} // namespace
} // namespace kvt
