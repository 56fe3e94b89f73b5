#pragma once
// The thirteen kinds of typed message arguments. Each stores the raw value the client gave;
// render, run on the writer thread only, turns it into text.

#include "core/argument.h"

#include <cstdint>
#include <memory>

namespace kvt {

// An integer of type T (nine instantiations) with its radix and minimum digit count.
template <class T>
class intargument final : public argument {
public:
    intargument(T value, std::uint8_t radix, std::uint16_t min_digits) noexcept
        : value_(value), min_digits_(min_digits), radix_(radix) {}
    countedwstring render() const override;

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
    countedwstring render() const override;

private:
    T value_;
};

// A private copy of a wide text.
class wtextargument final : public argument {
public:
    explicit wtextargument(const wchar_t* text);
    countedwstring render() const override;

private:
    countedwstring text_;
};

// A private copy of a narrow text in the OEM code page, converted when rendered.
class textargument final : public argument {
public:
    explicit textargument(const char* text);
    countedwstring render() const override;

private:
    std::unique_ptr<char[]> buffer_;
};

// The line-end rule shared by both text kinds: every line feed not preceded by a carriage
// return becomes CR LF. A text without such a line feed is returned shared, not copied.
countedwstring with_crlf_line_ends(countedwstring text);

} // namespace kvt
