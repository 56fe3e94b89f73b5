#pragma once
// Number to text, for argument texts, source id texts and the registry value names of
// source ids. format: low 6 bits the radix (2 to 36), high 8 bits the minimum digit count.
// Writes at most size - 1 characters and a NUL; returns the number written, or 0 (and an
// empty text) when the text would not fit.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kvt {

constexpr std::uint16_t int_format(unsigned radix, unsigned min_digits) noexcept
{
    return static_cast<std::uint16_t>(min_digits << 8 | radix);
}

template <class T>
std::size_t inttotext(T value, wchar_t* buffer, std::size_t size, std::uint16_t format) noexcept
{
    static_assert(std::is_integral_v<T>);
    using magnitude_type = std::make_unsigned_t<T>;
    if (size == 0)
        return 0;
    const unsigned radix = format & 0x3F;
    const unsigned min_digits = format >> 8;
    const bool negative = value < 0;
    // Negating in the unsigned type gives the full magnitude also for the most negative value.
    magnitude_type magnitude = static_cast<magnitude_type>(value);
    if (negative)
        magnitude = static_cast<magnitude_type>(0 - magnitude);

    wchar_t digits[130];
    std::size_t n = 0;
    do {
        const unsigned d = static_cast<unsigned>(magnitude % radix);
        digits[n++] = static_cast<wchar_t>(d < 10 ? L'0' + d : L'A' + d - 10);
        magnitude = static_cast<magnitude_type>(magnitude / radix);
    } while (magnitude != 0);

    const std::size_t zeros = min_digits > n ? min_digits - n : 0;
    const std::size_t total = (negative ? 1 : 0) + zeros + n;
    if (radix < 2 || radix > 36 || total > size - 1) {
        buffer[0] = L'\0';
        return 0;
    }
    wchar_t* out = buffer;
    if (negative)
        *out++ = L'-';
    for (std::size_t i = 0; i < zeros; ++i)
        *out++ = L'0';
    while (n > 0)
        *out++ = digits[--n];
    *out = L'\0';
    return total;
}

} // namespace kvt
