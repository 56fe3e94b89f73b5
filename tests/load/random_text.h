#pragma once
// Seeded random inputs for the hostile-input tests. The seed is fixed so that a failure
// repeats; KVT_TEST_SEED in the environment picks another one, and every test names the
// seed it ran with in its failure messages.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace kvt::test {

class random_text {
public:
    random_text();

    std::uint32_t seed() const noexcept { return seed_; }

    // A whole number in [low, high].
    std::uint32_t number(std::uint32_t low, std::uint32_t high);
    bool chance(double p) { return std::bernoulli_distribution(p)(engine_); }

    // length characters, each picked from alphabet.
    std::wstring pick(std::wstring_view alphabet, std::size_t length);

    // The text with each letter in upper or lower case at random.
    std::wstring mixed_case(std::wstring_view text);

private:
    std::uint32_t seed_;
    std::mt19937 engine_;
};

} // namespace kvt::test
