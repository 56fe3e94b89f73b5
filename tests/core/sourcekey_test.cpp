#include "core/sourcekey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kvt {
namespace {

const std::uint32_t v1234[4] = {1, 2, 3, 4}, v1235[4] = {1, 2, 3, 5}, first_high[4] = {9, 0, 0, 1}, zero[4] = {};

sourcekeyref key(std::uint32_t id, const wchar_t* name, const std::uint32_t (&version)[4] = v1234)
{
    return make_sourcekey(id, version, name);
}

// Equal only when id, versions and name match exactly; otherwise ordered by id, then the
// versions from the fourth to the first as signed numbers, then the name by code units.
TEST(SourceKey, EqualOnlyWhenEverythingMatchesAndOrderedByIdThenVersionsFromLastThenName)
{
    const std::uint32_t last_minus_one[4] = {0, 0, 0, 0xFFFFFFFF};
    const std::pair<sourcekeyref, sourcekeyref> ordered[] = {
        {key(1, L"Z"), key(0xFFFFFFFF, L"A")},         {key(7, L"App"), key(7, L"App", v1235)},
        {key(1, L"A", zero), key(1, L"A", first_high)}, {key(1, L"A", last_minus_one), key(1, L"A", zero)},
        {key(1, L"Ap"), key(1, L"App")},               {key(1, L"APP"), key(1, L"App")},
    };
    for (const auto& [lower, higher] : ordered) {
        EXPECT_TRUE(key_less(*lower, *higher)) << lower->name;
        EXPECT_FALSE(key_less(*higher, *lower)) << lower->name;
        EXPECT_FALSE(*lower == *higher) << lower->name;
    }
    EXPECT_TRUE(*key(1, L"App") == *key(1, L"App"));
    EXPECT_FALSE(key_less(*key(1, L"App"), *key(1, L"App")));
}

TEST(ParseSourceId, ReadsEveryWellFormedTextAndRejectsEveryOther)
{
    const std::wstring zeros = L"ca" + std::wstring(100000, L'0') + L"7", nines = L"CA" + std::wstring(100000, L'9');
    const std::pair<const wchar_t*, std::uint32_t> good[] = {{L"  ca42 \t", 42}, {L"ge", 0}, {L"GE", 0},
        {L"  ca007\t", 7}, {L"CA4294967295", 4294967295u}, {L"cA1", 1}, {zeros.c_str(), 7}};
    for (const auto& [text, id] : good)
        EXPECT_EQ(parse_source_id(text), std::optional<std::uint32_t>(id)) << text;
    const wchar_t* bad[] = {nullptr, L"", L"   ", L"\t", L"CA0", L"CA", L"CA 42", L"CA4294967296", L"GE1", L"XY",
                            L"42", L"CA42x", L"C", L"G E", L"CA000", L"CA18446744073709551623", L"CA4294967303", nines.c_str(),
                            L"CA7\n", L"CA7\x3000", L"\x3000" L"CA7", L"CA\x0660" L"7"};
    for (const wchar_t* text : bad)
        EXPECT_FALSE(parse_source_id(text).has_value()) << (text ? text : L"(null)");
}

TEST(CountedReference, LastReleaseOnAnyThreadFreesOnce)
{
    static std::atomic<int> destroyed{0};
    struct probe { ~probe() { ++destroyed; } };
    for (int round = 0; round < 50; ++round) {
        std::vector<counted<probe>> copies(8, make_counted<probe>());
        std::vector<std::jthread> threads;  // joined at the end of the round
        for (auto& c : copies)
            threads.emplace_back([r = std::move(c)]() mutable { r.reset(); });
    }
    EXPECT_EQ(destroyed.load(), 50);
}

} // namespace
} // namespace kvt
