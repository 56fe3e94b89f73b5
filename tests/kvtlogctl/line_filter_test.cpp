#include "kvtlogctl/line_filter.h"
#include "kvtlogctl/arguments.h"
#include "kvtlogctl/failure.h"

#include <gtest/gtest.h>

namespace kvt::test {
namespace {

TEST(LineHeader, GivesTimeAndLevelsOfALineInTheServersLayout)
{
    struct {
        const wchar_t* line;
        std::optional<DWORD> levels;
    } const cases[] = {
        {L"2008/03/04|09:05:03.007|ERR|0/0|(null),0|(null)|text", 0x02},
        {L"2008/03/04|09:05:03.007|FTL,ERR,WRN,EVT,INF,DBG,TRC|-1/2|a,1|f|", 0x7F},
        {L"2008/03/04|09:05:03.007|---|0/0|a,1|f|", 0},
        {L"2008/03/04|09:05:03.007|ERR", std::nullopt},
        {L"2008/03/04 09:05:03.007|ERR|0/0|a,1|f|", std::nullopt},
        {L"08/03/04|09:05:03.007|ERR|0/0|a,1|f|", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto header = ctl::read_header(c.line);
        ASSERT_EQ(header.has_value(), c.levels.has_value()) << c.line;
        if (header) {
            EXPECT_EQ(header->levels, *c.levels) << c.line;
            EXPECT_EQ(header->time, L"2008/03/04|09:05:03.007");
        }
    }
}

TEST(TimeKey, ReadsDatesAndTimesIntoTheHeadersForm)
{
    const SYSTEMTIME today{2024, 5, 0, 1, 0, 0, 0, 0};
    struct {
        const wchar_t* text;
        const wchar_t* key;
    } const cases[] = {
        {L"2008/03/04 09:05:03.007", L"2008/03/04|09:05:03.007"},
        {L"2008-3-4T9:05", L"2008/03/04|09:05:00.000"},
        {L"2008/03/04", L"2008/03/04|00:00:00.000"},
        {L"2008/03/04|23:59:59.5", L"2008/03/04|23:59:59.500"},
        {L"13:45", L"2024/05/01|13:45:00.000"},
        {L"13:45:07.25", L"2024/05/01|13:45:07.250"},
        {L"24:00", nullptr},
        {L"2008/13/01", nullptr},
        {L"13", nullptr},
        {L"13:45:07.1234", nullptr},
        {L"2008/03/04 ", nullptr},
        {L"yesterday", nullptr},
    };
    for (const auto& c : cases) {
        const auto key = ctl::time_key(c.text, today);
        if (c.key)
            EXPECT_EQ(key, std::wstring(c.key)) << c.text;
        else
            EXPECT_FALSE(key) << c.text;
    }
}

TEST(Arguments, DecimalNumbersAndVersions)
{
    EXPECT_EQ(ctl::parse_decimal(L"4294967295"), 4294967295u);
    EXPECT_EQ(ctl::parse_decimal(L"007"), 7u);
    for (const wchar_t* bad : {L"4294967296", L"", L"-1", L"+1", L"1 ", L"0x10"})
        EXPECT_FALSE(ctl::parse_decimal(bad)) << bad;

    EXPECT_EQ(ctl::read_version(L"1.2.3.4294967295"), (std::array<std::uint32_t, 4>{1, 2, 3, 4294967295u}));
    for (const wchar_t* bad : {L"1.2.3", L"1.2.3.4.5", L"1..2.3", L"1.2.3.", L"a.b.c.d"})
        EXPECT_THROW(ctl::read_version(bad), ctl::usage_error) << bad;
}

} // namespace
} // namespace kvt::test
