#pragma once
// Seeded random numbers for the tests. The seed is fixed so that a failure repeats;
// KVT_TEST_SEED in the environment picks another one, and every test names the seed it ran
// with in its failure messages.

#include <cstdint>
#include <cstdlib>
#include <random>

namespace kvt::test {

class randomtext {
public:
    std::uint32_t seed() const noexcept { return seed_; }

    // A whole number in [low, high].
    std::uint32_t number(std::uint32_t low, std::uint32_t high) { return std::uniform_int_distribution<std::uint32_t>(low, high)(engine_); }

private:
    const char* const chosen_ = std::getenv("KVT_TEST_SEED");
    const std::uint32_t seed_ = chosen_ ? static_cast<std::uint32_t>(std::strtoul(chosen_, nullptr, 10)) : 20260611u;
    std::mt19937 engine_{seed_};
};

} // namespace kvt::test
