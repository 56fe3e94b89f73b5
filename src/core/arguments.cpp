#include "core/arguments.h"

#include "core/bounded_format.h"
#include "core/inttotext.h"
#include "core/oem_text.h"

#include <windows.h>

#include <cstring>

namespace kvt {

template <class T>
countedwstring intargument<T>::render() const
{
    wchar_t buffer[256];
    const std::size_t n = inttotext(value_, buffer, std::size(buffer), int_format(radix_, min_digits_));
    return countedwstring(std::wstring_view(buffer, n));
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
countedwstring realargument<T>::render() const
{
    wchar_t buffer[256];
    format_bounded(buffer, std::size(buffer), L"%e", static_cast<double>(value_));
    return countedwstring(std::wstring_view(buffer));
}

template class realargument<float>;
template class realargument<double>;

wtextargument::wtextargument(const wchar_t* text) : text_(std::wstring_view(text)) {}

countedwstring wtextargument::render() const { return with_crlf_line_ends(text_); }

textargument::textargument(const char* text)
{
    const std::size_t size = std::strlen(text) + 1;
    buffer_.reset(new char[size]);
    std::memcpy(buffer_.get(), text, size);
}

countedwstring textargument::render() const
{
    std::size_t length = 0;
    std::unique_ptr<wchar_t[]> wide = oem_to_wide(buffer_.get(), &length);
    return with_crlf_line_ends(countedwstring(counted<wchar_t[]>::adopt(wide.release()), length));
}

countedwstring with_crlf_line_ends(countedwstring text)
{
    const std::wstring_view in = text.view();
    std::size_t lone = 0;
    for (std::size_t i = 0; i < in.size(); ++i)
        if (in[i] == L'\n' && (i == 0 || in[i - 1] != L'\r'))
            ++lone;
    if (lone == 0)
        return text;

    const std::size_t length = in.size() + lone;
    counted<wchar_t[]> buffer = counted<wchar_t[]>::adopt(new wchar_t[length + 1]);
    wchar_t* out = buffer.get();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == L'\n' && (i == 0 || in[i - 1] != L'\r'))
            *out++ = L'\r';
        *out++ = in[i];
    }
    *out = L'\0';
    return countedwstring(std::move(buffer), length);
}

} // namespace kvt
