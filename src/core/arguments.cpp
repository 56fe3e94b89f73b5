#include "core/arguments.h"

#include "core/bounded_format.h"
#include "core/oem_text.h"

#include <windows.h>

#include <cstring>

namespace kvt {

template <class T>
void intargument<T>::render(std::wstring& out) const
{
    render_integer(value_, radix_, min_digits_, out);
}

template class intargument<std::uint8_t>;
template class intargument<std::int8_t>;
template class intargument<std::uint16_t>;
template class intargument<std::int16_t>;
template class intargument<UINT32>;
template class intargument<INT32>;
template class intargument<ULONG>;
template class intargument<std::uint64_t>;
template class intargument<std::int64_t>;

template <class T>
void realargument<T>::render(std::wstring& out) const
{
    render_real(static_cast<double>(value_), out);
}

template class realargument<float>;
template class realargument<double>;

wtextargument::wtextargument(const wchar_t* text) : text_(std::wstring_view(text)) {}

void wtextargument::render(std::wstring& out) const { append_with_crlf(text_.view(), out); }

textargument::textargument(const char* text)
{
    const std::size_t size = std::strlen(text) + 1;
    buffer_.reset(new char[size]);
    std::memcpy(buffer_.get(), text, size);
}

void textargument::render(std::wstring& out) const { render_oem_text(buffer_.get(), out); }

void render_real(double value, std::wstring& out)
{
    wchar_t buffer[256];
    format_bounded(buffer, std::size(buffer), L"%e", value);
    out += buffer;
}

void render_oem_text(const char* text, std::wstring& out)
{
    std::size_t length = 0;
    const std::unique_ptr<wchar_t[]> wide = oem_to_wide(text, &length);
    append_with_crlf({wide.get(), length}, out);
}

void append_with_crlf(std::wstring_view text, std::wstring& out)
{
    for (std::size_t i = 0; i < text.size();) {
        // The part up to the next lone line feed goes in one piece.
        std::size_t end = i;
        while (end < text.size() && !(text[end] == L'\n' && (end == 0 || text[end - 1] != L'\r')))
            ++end;
        out.append(text.data() + i, end - i);
        if (end == text.size())
            break;
        out += L"\r\n";
        i = end + 1;
    }
}

} // namespace kvt
