#include "core/arguments.h"
#include "core/oem_text.h"
#include "writer/line_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvt {
namespace {

TEST(LineFormat, WritesTheHeaderUnlessItPasses1023CodeUnitsThenTheTextsAndCrLf)
{
    // Without a function name the header takes 43 code units.
    const std::string longest(980, 'f'), too_long(981, 'f');
    const std::wstring date = L"2008/03/04|09:05:03.007|";
    const struct { std::uint32_t level; const char* file; std::uint32_t line; const char* function;
                   std::vector<const wchar_t*> texts; std::wstring expected; } cases[] = {
        {0x03, nullptr, 0, nullptr, {L"a", L"b", L"c"},
         L"2008/03/04|09:05:03.007|FTL,ERR|-1/2|(null),0|(null)|abc\r\n"},
        {0xC1, "main.c", 42, "f", {}, date + L"FTL,TRC|-1/2|main.c,42|f|\r\n"},
        {0x80, "", 1, "", {L"x"}, date + L"---|-1/2|,1||x\r\n"},
        {0x02, nullptr, 0, longest.c_str(), {L"x"}, date + L"ERR|-1/2|(null),0|" + std::wstring(980, L'f') + L"|x\r\n"},
        {0x02, nullptr, 0, too_long.c_str(), {L"x"}, L"x\r\n"},
    };
    for (const auto& c : cases) {
        logrecord record(c.level);
        record.time = SYSTEMTIME{2008, 3, 2, 4, 9, 5, 3, 7};
        record.firstid = 0xFFFFFFFF;
        record.secondid = 2;
        record.file = oem_to_wide(c.file);
        record.line = c.line;
        record.function = oem_to_wide(c.function);
        for (const wchar_t* text : c.texts)
            record.arguments.push_back(make_counted<wtextargument>(text));
        std::wstring line = L"before";
        append_line(record, line);
        EXPECT_EQ(line, L"before" + std::wstring(c.expected));
    }
}

} // namespace
} // namespace kvt
