#include "writer/line_format.h"

#include "core/bounded_format.h"
#include "core/levels.h"

#include <cwchar>
#include <new>
#include <vector>

namespace kvt {

std::wstring level_text(std::uint32_t level)
{
    std::wstring text;
    for (const levelrow& row : level_table) {
        if (level & row.mask) {
            if (!text.empty())
                text += L',';
            text += row.abbreviation;
        }
    }
    return text.empty() ? std::wstring(L"---") : text;
}

namespace {

// date|time|levels|first/second|file,line|function| in a fixed buffer; empty when the
// header would not fit into 1023 code units (left out, not truncated).
std::size_t format_header(const logrecord& record, wchar_t (&header)[1024])
{
    std::wstring levels;
    try {
        levels = level_text(record.level);
    } catch (const std::bad_alloc&) {
        levels.clear();
    }
    const SYSTEMTIME& t = record.time;
    const int n = format_bounded(header, std::size(header), L"%04d/%02d/%02d|%02d:%02d:%02d.%03d|%s|%d/%d|%s,%u|%s|",
                                 t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                                 levels.empty() ? L"---" : levels.c_str(), static_cast<int>(record.firstid),
                                 static_cast<int>(record.secondid), record.file ? record.file.get() : L"(null)",
                                 record.line, record.function ? record.function.get() : L"(null)");
    if (n < 0) {
        header[0] = L'\0';
        return 0;
    }
    return static_cast<std::size_t>(n);
}

std::vector<countedwstring> render_arguments(logrecord& record)
{
    std::vector<countedwstring> texts;
    const sectionguard guard(record.lock);
    texts.reserve(record.arguments.size());
    for (const argumentref& a : record.arguments)
        texts.push_back(a->render());
    return texts;
}

} // namespace

countedwstring format_line(logrecord& record)
{
    wchar_t header[1024];
    const std::size_t header_length = format_header(record, header);
    const std::vector<countedwstring> texts = render_arguments(record);

    std::size_t length = header_length + 2;
    for (const countedwstring& t : texts)
        length += t.length();
    counted<wchar_t[]> line = counted<wchar_t[]>::adopt(new wchar_t[length + 1]);
    wchar_t* out = line.get();
    out = std::wmemcpy(out, header, header_length) + header_length;
    for (const countedwstring& t : texts)
        out = std::wmemcpy(out, t.data(), t.length()) + t.length();
    *out++ = L'\r';
    *out++ = L'\n';
    *out = L'\0';
    return countedwstring(std::move(line), length);
}

} // namespace kvt
