#include "writer/sourcekey.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kvt {
namespace {

const std::uint32_t v1234[4] = {1, 2, 3, 4};

TEST(SourceKey, EqualOnlyWhenIdVersionAndNameMatchExactly)
{
    const std::uint32_t v1235[4] = {1, 2, 3, 5};
    const auto a = make_sourcekey(7, v1234, L"App");
    EXPECT_TRUE(*a == *make_sourcekey(7, v1234, L"App"));
    EXPECT_FALSE(*a == *make_sourcekey(7, v1234, L"app"));
    EXPECT_FALSE(*a == *make_sourcekey(7, v1235, L"App"));
    EXPECT_FALSE(*a == *make_sourcekey(8, v1234, L"App"));
    EXPECT_FALSE(*a == *make_sourcekey(7, v1234, L"Ap"));
}

TEST(SourceKey, OrdersByIdThenVersionsFromLastAsSignedThenName)
{
    const std::uint32_t high_first[4] = {9, 0, 0, 1};
    const std::uint32_t negative_last[4] = {0, 0, 0, 0xFFFFFFFF};
    const std::uint32_t zero[4] = {0, 0, 0, 0};
    EXPECT_TRUE(key_less(*make_sourcekey(1, v1234, L"Z"), *make_sourcekey(0xFFFFFFFF, v1234, L"A")));
    // The fourth number decides before the first.
    EXPECT_TRUE(key_less(*make_sourcekey(1, zero, L"A"), *make_sourcekey(1, high_first, L"A")));
    EXPECT_FALSE(key_less(*make_sourcekey(1, high_first, L"A"), *make_sourcekey(1, zero, L"A")));
    // 0xFFFFFFFF is -1 as a signed version number.
    EXPECT_TRUE(key_less(*make_sourcekey(1, negative_last, L"A"), *make_sourcekey(1, zero, L"A")));
    // A prefix comes first; upper case before lower case by code unit.
    EXPECT_TRUE(key_less(*make_sourcekey(1, v1234, L"Ap"), *make_sourcekey(1, v1234, L"App")));
    EXPECT_TRUE(key_less(*make_sourcekey(1, v1234, L"APP"), *make_sourcekey(1, v1234, L"App")));
    EXPECT_FALSE(key_less(*make_sourcekey(1, v1234, L"App"), *make_sourcekey(1, v1234, L"App")));
}

TEST(SourceIdText, WritesGeForZeroAndCaWithDecimalOtherwise)
{
    EXPECT_EQ(source_id_text(0), L"GE");
    EXPECT_EQ(source_id_text(7), L"CA7");
    EXPECT_EQ(source_id_text(4294967295u), L"CA4294967295");
}

TEST(ParseSourceId, AcceptsEveryWellFormedText)
{
    const struct { const wchar_t* text; std::uint32_t id; } cases[] = {
        {L"  ca42 \t", 42}, {L"ge", 0}, {L"GE", 0}, {L"  ca007\t", 7}, {L"CA4294967295", 4294967295u},
        {L"cA1", 1},
    };
    for (const auto& c : cases) {
        const auto id = parse_source_id(c.text);
        ASSERT_TRUE(id.has_value()) << c.text;
        EXPECT_EQ(*id, c.id) << c.text;
    }
}

TEST(ParseSourceId, RejectsEveryMalformedText)
{
    const wchar_t* cases[] = {nullptr, L"", L"   ", L"\t", L"CA0", L"CA", L"CA 42", L"CA4294967296",
                              L"GE1", L"XY", L"42", L"CA42x", L"C", L"G E", L"CA000"};
    for (const wchar_t* text : cases)
        EXPECT_FALSE(parse_source_id(text).has_value()) << (text ? text : L"(null)");
}

TEST(CountedReference, LastReleaseOnAnyThreadFreesOnce)
{
    static std::atomic<int> destroyed{0};
    struct probe {
        ~probe() { ++destroyed; }
    };
    for (int round = 0; round < 50; ++round) {
        auto shared = make_counted<probe>();
        std::vector<counted<probe>> copies(8, shared);
        shared.reset();
        std::vector<std::thread> threads;
        for (auto& c : copies)
            threads.emplace_back([r = std::move(c)]() mutable { r.reset(); });
        for (auto& t : threads)
            t.join();
    }
    EXPECT_EQ(destroyed.load(), 50);
}

} // namespace
} // namespace kvt
