#include "load/random_text.h"

#include <cstdlib>
#include <cwctype>

namespace kvt::test {

namespace {

std::uint32_t chosen_seed()
{
    const char* text = std::getenv("KVT_TEST_SEED");
    return text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 20260611u;
}

} // namespace

random_text::random_text() : seed_(chosen_seed()), engine_(seed_) {}

std::uint32_t random_text::number(std::uint32_t low, std::uint32_t high)
{
    return std::uniform_int_distribution<std::uint32_t>(low, high)(engine_);
}

std::wstring random_text::pick(std::wstring_view alphabet, std::size_t length)
{
    std::wstring text(length, L' ');
    for (wchar_t& c : text)
        c = alphabet[number(0, static_cast<std::uint32_t>(alphabet.size() - 1))];
    return text;
}

std::wstring random_text::mixed_case(std::wstring_view text)
{
    std::wstring mixed(text);
    for (wchar_t& c : mixed)
        c = chance(0.5) ? static_cast<wchar_t>(std::towlower(c)) : static_cast<wchar_t>(std::towupper(c));
    return mixed;
}

} // namespace kvt::test
