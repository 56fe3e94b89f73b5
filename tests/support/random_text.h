#pragma once
// Seeded random inputs for the tests. The seed is fixed so that a failure
// repeats; KVT_TEST_SEED in the environment picks another one, and every test names the
// seed it ran with in its failure messages.

#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <random>
#include <string>
#include <string_view>

namespace kvt::test {

class randomtext {
public:
    std::uint32_t seed() const noexcept { return seed_; }

    // A whole number in [low, high].
    std::uint32_t number(std::uint32_t low, std::uint32_t high) { return std::uniform_int_distribution<std::uint32_t>(low, high)(engine_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(engine_); }

    // length characters, each picked from alphabet.
    std::wstring pick(std::wstring_view alphabet, std::size_t length)
    {
        std::wstring text(length, L' ');
        for (wchar_t& c : text)
            c = alphabet[number(0, static_cast<std::uint32_t>(alphabet.size() - 1))];
        return text;
    }

    // The text with each letter in upper or lower case at random.
    std::wstring mixed_case(std::wstring_view text)
    {
        std::wstring mixed(text);
        for (wchar_t& c : mixed)
            c = static_cast<wchar_t>(chance(0.5) ? std::towlower(c) : std::towupper(c));
        return mixed;
    }

private:
    const char* const chosen_ = std::getenv("KVT_TEST_SEED");
    const std::uint32_t seed_ = chosen_ ? static_cast<std::uint32_t>(std::strtoul(chosen_, nullptr, 10)) : 20260611u;
    std::mt19937 engine_{seed_};
};

} // namespace kvt::test
