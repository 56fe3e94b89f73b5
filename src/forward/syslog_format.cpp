#include "forward/syslog_format.h"

#include "core/levels.h"

#include <cstdio>

namespace kvt {

namespace {

bool is_high_surrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(wchar_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

// Calls each(code point) for the text's code points; an unpaired surrogate is U+FFFD.
template <class Each>
void for_each_code_point(std::wstring_view text, Each each)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            each(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
            each(char32_t{0xFFFD});
        } else {
            each(static_cast<char32_t>(c));
        }
    }
}

void append_code_point(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A header field: printable ASCII (33 to 126), every other character one "_", at most
// limit characters, "-" when empty.
void append_field(std::wstring_view text, std::size_t limit, std::string& out)
{
    std::size_t count = 0;
    for_each_code_point(text, [&](char32_t c) {
        if (count < limit) {
            out += c >= 33 && c <= 126 ? static_cast<char>(c) : '_';
            ++count;
        }
    });
    if (count == 0)
        out += '-';
}

void append_number(std::string& out, std::uint64_t value)
{
    char digits[24];
    const int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
    out.append(digits, static_cast<std::size_t>(n));
}

// 2026-12-06T11:19:56.123+01:00: the time to the millisecond and its offset from UTC.
void append_timestamp(const SYSTEMTIME& t, int offset_minutes, std::string& out)
{
    const unsigned offset = static_cast<unsigned>(offset_minutes < 0 ? -offset_minutes : offset_minutes);
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02u:%02u", t.wYear, t.wMonth,
                                t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, offset_minutes < 0 ? '-' : '+',
                                offset / 60, offset % 60);
    out.append(text, static_cast<std::size_t>(n));
}

// A parameter value in UTF-8 with '"', '\' and ']' escaped by a backslash.
void append_param(const char* name, std::wstring_view value, std::string& out)
{
    out += ' ';
    out += name;
    out += "=\"";
    for_each_code_point(value, [&out](char32_t c) {
        if (c == U'"' || c == U'\\' || c == U']')
            out += '\\';
        append_code_point(c, out);
    });
    out += '"';
}

void append_param(const char* name, std::string_view value, std::string& out)
{
    out += ' ';
    out += name;
    out += "=\"";
    out += value;  // digits, dots and level abbreviations: nothing to escape
    out += '"';
}

std::string signed_text(std::uint32_t id)
{
    std::string text;
    const auto value = static_cast<std::int32_t>(id);
    if (value < 0)
        text += '-';
    append_number(text, value < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(value)) : value);
    return text;
}

// The abbreviations of the levels set, in table order, joined by ","; "---" for none, as in
// the log line.
std::string levels_text(std::uint32_t level)
{
    std::string text;
    for (const levelrow& row : level_table) {
        if (level & row.mask) {
            if (!text.empty())
                text += ',';
            for (const wchar_t* c = row.abbreviation; *c; ++c)
                text += static_cast<char>(*c);
        }
    }
    return text.empty() ? "---" : text;
}

void append_structured_data(const syslogrecord& r, std::string& out)
{
    out += '[';
    out += syslog_sd_id;
    append_param("source", source_id_text(r.key.id), out);
    std::string version;
    for (int i = 0; i < 4; ++i) {
        if (i)
            version += '.';
        append_number(version, r.key.version[i]);
    }
    append_param("version", version, out);
    append_param("levels", levels_text(r.level), out);
    append_param("first", signed_text(r.firstid), out);
    append_param("second", signed_text(r.secondid), out);
    if (r.file)
        append_param("file", std::wstring_view(r.file), out);
    std::string line;
    append_number(line, r.line);
    append_param("line", line, out);
    if (r.function)
        append_param("function", std::wstring_view(r.function), out);
    out += ']';
}

} // namespace

std::uint32_t syslog_severity(std::uint32_t level) noexcept
{
    static constexpr std::uint32_t by_level[] = {2, 3, 4, 5, 6, 7, 7};
    for (std::size_t i = 0; i < std::size(level_table); ++i) {
        if (level & level_table[i].mask)
            return by_level[i];
    }
    return 6;
}

void append_utf8(std::wstring_view text, std::string& out)
{
    for_each_code_point(text, [&out](char32_t c) { append_code_point(c, out); });
}

void append_syslog_frame(const syslogrecord& record, std::wstring_view host, std::uint32_t facility,
                         std::wstring_view procid, std::string& out)
{
    // The message is built after a placeholder for its length, which is then put in front.
    const std::size_t start = out.size();
    out += '<';
    append_number(out, facility * 8 + syslog_severity(record.level));
    out += ">1 ";
    append_timestamp(record.time, record.utc_offset_minutes, out);
    out += ' ';
    append_field(host, 255, out);
    out += ' ';
    append_field(record.key.name, 48, out);
    out += ' ';
    append_field(procid, 128, out);
    out += ' ';
    append_field(source_id_text(record.key.id), 32, out);
    out += ' ';
    append_structured_data(record, out);
    out += " \xEF\xBB\xBF";
    append_utf8(record.message, out);

    std::string length;
    append_number(length, out.size() - start);
    length += ' ';
    out.insert(start, length);
}

} // namespace kvt
