#include "kvtlogctl/line_splitter.h"

namespace kvt::ctl {

namespace {

std::wstring_view without_cr(std::wstring_view line)
{
    if (!line.empty() && line.back() == L'\r')
        line.remove_suffix(1);
    return line;
}

} // namespace

void linesplitter::feed(const unsigned char* bytes, std::size_t size, const line_callback& to)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (odd_byte_ < 0) {
            odd_byte_ = bytes[i];
            continue;
        }
        const auto unit = static_cast<wchar_t>(odd_byte_ | bytes[i] << 8);
        odd_byte_ = -1;
        if (units_++ == 0 && unit == 0xFEFF)
            continue;
        if (unit != L'\n') {
            pending_ += unit;
            continue;
        }
        to(without_cr(pending_));
        pending_.clear();
    }
}

void linesplitter::finish(const line_callback& to)
{
    if (!pending_.empty())
        to(without_cr(pending_));
    *this = linesplitter();
}

} // namespace kvt::ctl
