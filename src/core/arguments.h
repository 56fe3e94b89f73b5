#pragma once
// The thirteen kinds of typed message arguments. Each stores the raw value the client gave;
// render, run on the writer thread only, turns it into text.

#include "core/argument.h"
#include "core/countedwstring.h"
#include "core/inttotext.h"

#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>

namespace kvt {

// An integer of type T (nine instantiations) with its radix and minimum digit count.
template <class T>
class intargument final : public argument {
public:
    intargument(T value, std::uint8_t radix, std::uint16_t min_digits) noexcept
        : value_(value), min_digits_(min_digits), radix_(radix) {}
    void render(std::wstring& out) const override;

private:
    T value_;
    std::uint16_t min_digits_;
    std::uint8_t radix_;
};

// A float or double, rendered in the runtime library's "%e" form.
template <class T>
class realargument final : public argument {
public:
    explicit realargument(T value) noexcept : value_(value) {}
    void render(std::wstring& out) const override;

private:
    T value_;
};

// A private copy of a wide text.
class wtextargument final : public argument {
public:
    explicit wtextargument(const wchar_t* text);
    void render(std::wstring& out) const override;

private:
    countedwstring text_;
};

// A private copy of a narrow text in the OEM code page, converted when rendered.
class textargument final : public argument {
public:
    explicit textargument(const char* text);
    void render(std::wstring& out) const override;

private:
    std::unique_ptr<char[]> buffer_;
};

// The texts of the value kinds, appended to out: the arguments above render through these,
// and so does every other form of a record, so that a value gives the same text whatever
// form it travelled in. Each throws std::bad_alloc.

// The digits in radix (upper-case letters above 9), at least min_digits of them.
template <class T>
void render_integer(T value, std::uint8_t radix, std::uint16_t min_digits, std::wstring& out)
{
    wchar_t digits[256];
    out.append(digits, inttotext(value, digits, std::size(digits), int_format(radix, min_digits)));
}

// The runtime library's "%e" form.
void render_real(double value, std::wstring& out);

// The text with every line feed that no carriage return precedes made CR LF.
void append_with_crlf(std::wstring_view text, std::wstring& out);

// A NUL-terminated text in the OEM code page, converted, with the line-end rule.
void render_oem_text(const char* text, std::wstring& out);

} // namespace kvt
