#include "writer/line_format.h"

#include "core/arguments.h"
#include "core/levels.h"

#include <algorithm>
#include <iterator>

namespace kvt {

namespace {

// The longest header a line carries; a longer one is left out, not truncated.
constexpr std::size_t max_header_units = 1023;

template <class T>
void append_number(std::wstring& out, T value, std::uint16_t min_digits = 0)
{
    render_integer(value, 10, min_digits, out);
}

// The abbreviations of the levels set in level, in table order, joined by ","; "---" when
// no level bit is set.
void append_levels(std::wstring& out, std::uint32_t level)
{
    const std::size_t start = out.size();
    for (const levelrow& row : level_table) {
        if (level & row.mask) {
            if (out.size() != start)
                out += L',';
            out += row.abbreviation;
        }
    }
    if (out.size() == start)
        out += L"---";
}

// The records of a burst mostly share their date and time down to the second: the last
// rendering of them on this thread is kept and reused.
struct timetext {
    WORD fields[6] = {};  // year, month, day, hour, minute, second
    std::wstring text;    // "yyyy/mm/dd|hh:mm:ss."
};

// yyyy/mm/dd|hh:mm:ss.mmm| with every field at least as wide as shown.
void append_date_and_time(std::wstring& out, const SYSTEMTIME& t)
{
    thread_local timetext last;
    const WORD fields[6] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    if (last.text.empty() || !std::equal(std::begin(fields), std::end(fields), last.fields)) {
        last.text.clear();
        const wchar_t* const after = L"//|::.";
        for (int i = 0; i < 6; ++i) {
            append_number(last.text, fields[i], i == 0 ? 4 : 2);
            last.text += after[i];
        }
        std::copy(std::begin(fields), std::end(fields), last.fields);
    }
    out += last.text;
    append_number(out, t.wMilliseconds, 3);
    out += L'|';
}

} // namespace

// The date and time as yyyy/mm/dd and hh:mm:ss.mmm, the ids as signed decimals and the
// line unsigned.
void append_header(const lineheader& header, std::wstring& out)
{
    const std::size_t start = out.size();
    append_date_and_time(out, header.time);
    append_levels(out, header.level);
    out += L'|';
    append_number(out, static_cast<std::int32_t>(header.firstid));
    out += L'/';
    append_number(out, static_cast<std::int32_t>(header.secondid));
    out += L'|';
    out += header.file ? header.file : L"(null)";
    out += L',';
    append_number(out, header.line);
    out += L'|';
    out += header.function ? header.function : L"(null)";
    out += L'|';
    if (out.size() - start > max_header_units)
        out.resize(start);
}

void append_line(logrecord& record, std::wstring& out)
{
    append_header({record.level, record.time, record.firstid, record.secondid, record.file.get(), record.line,
                   record.function.get()},
                  out);
    {
        const sectionguard guard(record.lock);
        for (const argumentref& a : record.arguments)
            a->render(out);
    }
    out += L"\r\n";
}

} // namespace kvt
