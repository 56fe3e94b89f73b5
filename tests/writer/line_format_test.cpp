#include "core/arguments.h"
#include "writer/line_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace kvt {
namespace {

// A record's own copy of a text; null for none.
std::unique_ptr<wchar_t[]> copy_of(const wchar_t* text)
{
    const std::size_t size = text ? std::wcslen(text) + 1 : 0;
    std::unique_ptr<wchar_t[]> copy(size ? new wchar_t[size] : nullptr);
    std::copy_n(text, size, copy.get());
    return copy;
}

TEST(LineFormat, WritesTheHeaderUnlessItPasses1023CodeUnitsThenTheTextsAndCrLf)
{
    // Without a function name the header takes 43 code units.
    const std::wstring longest(980, L'f'), too_long(981, L'f'), date = L"2008/03/04|09:05:03.007|";
    const struct { std::uint32_t level; const wchar_t* file; std::uint32_t line; const wchar_t* function;
                   std::vector<const wchar_t*> texts; std::wstring expected; } cases[] = {
        {0x03, nullptr, 0, nullptr, {L"a", L"b", L"c"},
         L"2008/03/04|09:05:03.007|FTL,ERR|-1/2|(null),0|(null)|abc\r\n"},
        {0xC1, L"main.c", 42, L"f", {}, date + L"FTL,TRC|-1/2|main.c,42|f|\r\n"},
        {0x80, L"", 1, L"", {L"x"}, date + L"---|-1/2|,1||x\r\n"},
        {0x02, nullptr, 0, longest.c_str(), {L"x"}, date + L"ERR|-1/2|(null),0|" + longest + L"|x\r\n"},
        {0x02, nullptr, 0, too_long.c_str(), {L"x"}, L"x\r\n"},
    };
    for (const auto& c : cases) {
        logrecord record(c.level);
        record.time = SYSTEMTIME{2008, 3, 2, 4, 9, 5, 3, 7};
        record.firstid = 0xFFFFFFFF;
        record.secondid = 2;
        record.file = copy_of(c.file);
        record.line = c.line;
        record.function = copy_of(c.function);
        for (const wchar_t* text : c.texts)
            record.arguments.push_back(make_counted<wtextargument>(text));
        std::wstring line = L"before";
        append_line(record, line);
        EXPECT_EQ(line, L"before" + std::wstring(c.expected));
    }
}

} // namespace
} // namespace kvt
