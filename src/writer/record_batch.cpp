#include "writer/record_batch.h"

#include "core/arguments.h"
#include "writer/line_format.h"

namespace kvt {

void recordbatch::add_record(sourcekeyref key, sourcecounters& counters, std::uint32_t level,
                             const SYSTEMTIME& time, std::uint32_t firstid, std::uint32_t secondid,
                             const wchar_t* file, std::uint32_t line, const wchar_t* function,
                             std::uint32_t process_id)
{
    const std::size_t file_text = file ? add_wide_text(file) : batchrecord::no_text;
    const std::size_t function_text = function ? add_wide_text(function) : batchrecord::no_text;
    records_.push_back({std::move(key), &counters, level, time, firstid, secondid, file_text, line, function_text,
                        values_.size(), 0, process_id});
}

void recordbatch::add_signed(std::int64_t value, std::uint8_t radix, std::uint16_t min_digits)
{
    batchvalue v{valuekind::signedint, radix, min_digits, {}};
    v.signedint = value;
    add_value(v);
}

void recordbatch::add_unsigned(std::uint64_t value, std::uint8_t radix, std::uint16_t min_digits)
{
    batchvalue v{valuekind::unsignedint, radix, min_digits, {}};
    v.unsignedint = value;
    add_value(v);
}

void recordbatch::add_real(double value)
{
    batchvalue v{valuekind::real, 0, 0, {}};
    v.real = value;
    add_value(v);
}

void recordbatch::add_wide(std::wstring_view text)
{
    batchvalue v{valuekind::widetext, 0, 0, {}};
    v.text = add_wide_text(text.substr(0, text.find(L'\0')));
    add_value(v);
}

void recordbatch::add_oem(std::string_view text)
{
    batchvalue v{valuekind::oemtext, 0, 0, {}};
    text = text.substr(0, text.find('\0'));
    v.text = oem_.size();
    oem_.append(text).push_back('\0');
    add_value(v);
}

std::size_t recordbatch::add_wide_text(std::wstring_view text)
{
    const std::size_t start = wide_.size();
    wide_.append(text).push_back(L'\0');
    return start;
}

void recordbatch::add_value(const batchvalue& value)
{
    values_.push_back(value);
    ++records_.back().values;
}

lineheader recordbatch::header(const batchrecord& r) const noexcept
{
    const auto text = [this](std::size_t at) { return at == batchrecord::no_text ? nullptr : wide_.c_str() + at; };
    return {r.level, r.time, r.firstid, r.secondid, text(r.file), r.line, text(r.function), r.process_id};
}

void recordbatch::render(const batchrecord& r, std::wstring& out) const
{
    const auto text = [this](std::size_t at) { return at == batchrecord::no_text ? nullptr : wide_.c_str() + at; };
    append_header(header(r), out);
    for (const batchvalue& v : std::span(values_).subspan(r.first_value, r.values)) {
        switch (v.kind) {
        case valuekind::signedint:
            render_integer(v.signedint, v.radix, v.min_digits, out);
            break;
        case valuekind::unsignedint:
            render_integer(v.unsignedint, v.radix, v.min_digits, out);
            break;
        case valuekind::real:
            render_real(v.real, out);
            break;
        case valuekind::widetext:
            append_with_crlf(text(v.text), out);
            break;
        case valuekind::oemtext:
            render_oem_text(oem_.c_str() + v.text, out);
            break;
        }
    }
    out += L"\r\n";
}

} // namespace kvt
