#include "forward/syslog_format.h"

#include "core/levels.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace kvt {
namespace {

const SYSTEMTIME some_time{2026, 12, 0, 6, 9, 5, 3, 7};

struct recordfields {
    std::wstring name = L"app";
    std::uint32_t id = 7;
    std::uint32_t level = 0x02;
    int offset = 60;
    const wchar_t* file = L"main.c";
    const wchar_t* function = L"f";
    std::wstring message = L"text";
    std::wstring host = L"host";
    std::wstring procid = L"-";
    std::uint32_t facility = 1;
};

// The frame without its length, after checking that the length counts its bytes.
std::string message_of(const recordfields& f)
{
    const std::uint32_t version[4] = {1, 2, 3, 4};
    const sourcekeyref key = make_sourcekey(f.id, version, f.name.c_str());
    const syslogrecord record{*key, f.level, some_time, f.offset, 0xFFFFFFFE, 5, f.file, 42, f.function, f.message};
    std::string frame = "before";
    append_syslog_frame(record, f.host, f.facility, f.procid, frame);
    EXPECT_EQ(frame.rfind("before", 0), 0u);
    const std::size_t space = frame.find(' ');
    const std::string message = frame.substr(space + 1);
    EXPECT_EQ(frame.substr(6, space - 6), std::to_string(message.size()));
    return message;
}

TEST(SyslogFormat, FramesTheWholeMessageWithItsByteLength)
{
    recordfields f;
    f.message = L"h\u00e9llo\r\n\U0001F600";
    EXPECT_EQ(message_of(f), "<11>1 2026-12-06T09:05:03.007+01:00 host app - CA7 [kvtlog@32473 source=\"CA7\" "
                             "version=\"1.2.3.4\" levels=\"ERR\" first=\"-2\" second=\"5\" file=\"main.c\" "
                             "line=\"42\" function=\"f\"] \xEF\xBB\xBFh\xC3\xA9llo\r\n\xF0\x9F\x98\x80");
    f.file = nullptr;
    f.function = nullptr;
    f.offset = -330;
    f.message.clear();
    EXPECT_EQ(message_of(f), "<11>1 2026-12-06T09:05:03.007-05:30 host app - CA7 [kvtlog@32473 source=\"CA7\" "
                             "version=\"1.2.3.4\" levels=\"ERR\" first=\"-2\" second=\"5\" line=\"42\"] \xEF\xBB\xBF");
}

TEST(SyslogFormat, HeaderFieldsArePrintableAsciiWithinTheirLimits)
{
    const std::wstring a48(48, L'a'), h255(255, L'h'), p128(128, L'9');
    // HOSTNAME APP-NAME PROCID MSGID, between the timestamp and the structured data.
    const struct { std::wstring name, host, procid; std::uint32_t id; std::string expected; } cases[] = {
        {a48 + L"b", h255 + L"x", p128 + L"0", 0,
         std::string(255, 'h') + ' ' + std::string(48, 'a') + ' ' + std::string(128, '9') + " GE"},
        {L"my app\u00e9\U0001F600\xD800!", L"", L"", 0xFFFFFFFF, "- my_app___! - CA4294967295"},
        {L"", L"h\tst", L"12 3", 1, "h_st - 12_3 CA1"},
    };
    for (const auto& c : cases) {
        recordfields f;
        f.name = c.name;
        f.host = c.host;
        f.procid = c.procid;
        f.id = c.id;
        const std::string message = message_of(f);
        EXPECT_EQ(message.substr(36, message.find(" [") - 36), c.expected);
    }
}

TEST(SyslogFormat, ParamValuesEscapeQuoteBackslashAndBracketInUtf8)
{
    recordfields f;
    f.file = L"a\"b\\c]d=e f";
    f.function = L"\u00fc\xDC00";
    const std::string message = message_of(f);
    EXPECT_NE(message.find(" file=\"a\\\"b\\\\c\\]d=e f\" "), std::string::npos) << message;
    EXPECT_NE(message.find(" function=\"\xC3\xBC\xEF\xBF\xBD\"]"), std::string::npos) << message;
}

TEST(SyslogFormat, PriIsFacilityTimesEightPlusTheMostSevereLevel)
{
    const std::uint32_t single[] = {2, 3, 4, 5, 6, 7, 7};  // FATAL to TRACE
    for (std::uint32_t level = 1; level <= all_levels; ++level) {
        const int lowest = std::countr_zero(level);
        EXPECT_EQ(syslog_severity(level | 0x80), single[lowest]) << level;
    }
    EXPECT_EQ(syslog_severity(0x80), 6u);
    const struct { std::uint32_t facility, level; const char* pri; } cases[] = {
        {0, 0x40, "<7>"}, {23, 0x01, "<186>"}, {1, 0x0C, "<12>"},
    };
    for (const auto& c : cases) {
        recordfields f;
        f.facility = c.facility;
        f.level = c.level;
        EXPECT_EQ(message_of(f).rfind(std::string(c.pri) + "1 ", 0), 0u) << c.pri;
    }
}

} // namespace
} // namespace kvt
