#include "kvtlogctl/failure.h"
#include "kvtlogctl/followed_file.h"
#include "kvtlogctl/line_splitter.h"
#include "kvtlogctl/tail.h"
#include "kvtlogctl/log_text.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace kvt::test {
namespace {

using ctl::tail_options;
using lines = std::vector<std::wstring>;

class Tail : public ::testing::Test {
protected:
    std::wstring file(std::wstring_view name) const { return logs.path() + L"\\" + std::wstring(name); }

    // Lines of the older files -2 and -1 and of the current file, one log line each.
    void write_rotated_set()
    {
        append_text(file(L"App-1.0.0.0-2.TXT"), log_line(L"10:00:00.000", L"INF", L"one") + L"\r\n");
        append_text(file(L"App-1.0.0.0-1.TXT"), log_line(L"10:00:01.000", L"ERR", L"two") + L"\r\n");
        append_text(file(L"App-1.0.0.0.TXT"), log_line(L"10:00:02.000", L"DBG", L"three") + L"\r\n" +
                                                  log_line(L"10:00:03.000", L"WRN,EVT", L"four") + L"\r\n");
    }

    lines run(std::optional<std::size_t> count, ctl::filter_options filter = {})
    {
        tail_options options;
        options.path = file(L"App-1.0.0.0.TXT");
        options.lines = count;
        options.filter = std::move(filter);
        lines printed;
        ctl::tail(options, [&](std::wstring_view line) {
            printed.emplace_back(line);
            return true;
        });
        return printed;
    }

    temp_directory logs;
};

const std::optional<std::size_t> all;

ctl::filter_options filter(std::optional<DWORD> levels, std::wstring since = L"", std::wstring until = L"")
{
    ctl::filter_options options;
    options.levels = levels;
    options.since = std::move(since);
    options.until = std::move(until);
    return options;
}

std::wstring text_of(const std::wstring& line) { return line.substr(line.rfind(L'|') + 1); }

lines texts_of(const lines& printed)
{
    lines texts;
    for (const auto& line : printed)
        texts.push_back(text_of(line));
    return texts;
}

TEST_F(Tail, ReadsOlderFilesFirstAndStartsWithTheLastLines)
{
    write_rotated_set();
    EXPECT_EQ(texts_of(run(all)), (lines{L"one", L"two", L"three", L"four"}));
    EXPECT_EQ(texts_of(run(3)), (lines{L"two", L"three", L"four"}));
    EXPECT_EQ(texts_of(run(0)), lines{});
}

TEST_F(Tail, OlderFilesEndAtTheFirstMissingNumber)
{
    write_rotated_set();
    ASSERT_TRUE(::MoveFileW(file(L"App-1.0.0.0-1.TXT").c_str(), file(L"App-1.0.0.0-3.TXT").c_str()));
    EXPECT_EQ(texts_of(run(all)), (lines{L"three", L"four"}));
}

TEST_F(Tail, FiltersByLevelAndTime)
{
    write_rotated_set();
    struct {
        ctl::filter_options filter;
        lines texts;
    } const cases[] = {
        {filter(0x02 | 0x08), {L"two", L"four"}},
        {filter(0x40), {}},
        {filter(std::nullopt, L"2024/05/01|10:00:01.000"), {L"two", L"three", L"four"}},
        {filter(std::nullopt, L"", L"2024/05/01|10:00:01.000"), {L"one"}},
        {filter(0x10 | 0x20, L"2024/05/01|10:00:00.500"), {L"three"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(texts_of(run(all, c.filter)), c.texts);
}

TEST_F(Tail, LinesOfAMessageWithLineBreaksStayTogether)
{
    append_text(file(L"App-1.0.0.0.TXT"), L"no header\r\n" + log_line(L"10:00:00.000", L"ERR", L"a") +
                                              L"\r\nb\r\n" + log_line(L"10:00:01.000", L"INF", L"c") +
                                              L"\r\nd\r\n");
    EXPECT_EQ(texts_of(run(1)), (lines{L"c", L"d"}));
    EXPECT_EQ(texts_of(run(all, filter(0x02))), (lines{L"a", L"b"}));
    EXPECT_EQ(texts_of(run(all)).front(), L"no header");
}

TEST_F(Tail, PartialLastLineEndsTheOutputAndAMissingMarkIsNoFault)
{
    append_text(file(L"App-1.0.0.0.TXT"), log_line(L"10:00:00.000", L"INF", L"whole") + L"\r\n" +
                                              log_line(L"10:00:01.000", L"INF", L"part"),
                false);
    EXPECT_EQ(run(10), (lines{log_line(L"10:00:00.000", L"INF", L"whole"), log_line(L"10:00:01.000", L"INF", L"part")}));
}

TEST_F(Tail, MissingFileIsAFailureWhenNotFollowing)
{
    EXPECT_THROW(run(10), ctl::failure);
}

TEST_F(Tail, FollowedFileMissesNoLineOverTwoRotationsBetweenReads)
{
    const std::wstring current = file(L"App-1.0.0.0.TXT");
    const std::wstring first = file(L"App-1.0.0.0-1.TXT");
    const std::wstring second = file(L"App-1.0.0.0-2.TXT");
    append_text(current, L"a\r\n");
    ctl::followed_file followed(current);
    lines read;
    const ctl::line_callback to = [&](std::wstring_view line) { read.emplace_back(line); };
    ASSERT_TRUE(followed.start(to, true));

    append_text(current, L"b\r\n");
    ASSERT_TRUE(::MoveFileW(current.c_str(), first.c_str()));
    append_text(current, L"c\r\n");
    ASSERT_TRUE(::MoveFileW(first.c_str(), second.c_str()));
    ASSERT_TRUE(::MoveFileW(current.c_str(), first.c_str()));
    append_text(current, L"d");
    followed.read(to);
    EXPECT_EQ(read, (lines{L"a", L"b", L"c"}));
    append_text(current, L"\r\n");
    followed.read(to);
    EXPECT_EQ(read, (lines{L"a", L"b", L"c", L"d"}));
}

TEST(LineSplitter, BytesInAnyPiecesGiveTheSameLines)
{
    const std::wstring text = L"\xFEFF\xFEFF" L"a\r\nb\rc\n\xD83D\xDE00\r\n";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, text.size() * 2}) {
        ctl::line_splitter splitter;
        lines out;
        const ctl::line_callback to = [&](std::wstring_view line) { out.emplace_back(line); };
        for (std::size_t at = 0; at < text.size() * 2; at += piece)
            splitter.feed(bytes + at, std::min(piece, text.size() * 2 - at), to);
        splitter.finish(to);
        // Only the mark at the very start is dropped; a lone CR stays inside its line.
        EXPECT_EQ(out, (lines{L"\xFEFF" L"a", L"b\rc", L"\xD83D\xDE00"})) << piece;
    }
}

// Runs the viewer on its own thread, following, and collects what it prints.
class FollowingTail : public Tail {
protected:
    void start()
    {
        tail_options options;
        options.path = file(L"App-1.0.0.0.TXT");
        options.lines = all;
        options.follow = true;
        options.interval_ms = 20;
        options.stop = stop_.get();
        viewer_ = std::thread([this, options] {
            ctl::tail(options, [this](std::wstring_view line) {
                const std::lock_guard lock(mutex_);
                printed_.emplace_back(line);
                return true;
            });
        });
    }

    void TearDown() override
    {
        ::SetEvent(stop_.get());
        if (viewer_.joinable())
            viewer_.join();
    }

    // The texts printed so far, once there are `count` of them (or after five seconds).
    lines wait_for(std::size_t count)
    {
        for (int i = 0; i < 500; ++i) {
            {
                const std::lock_guard lock(mutex_);
                if (printed_.size() >= count)
                    return texts_of(printed_);
            }
            ::Sleep(10);
        }
        const std::lock_guard lock(mutex_);
        return texts_of(printed_);
    }

private:
    unique_handle stop_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread viewer_;
    std::mutex mutex_;
    lines printed_;
};

TEST_F(FollowingTail, FollowsTheNameAcrossOneRotation)
{
    const std::wstring current = file(L"App-1.0.0.0.TXT");
    append_text(current, log_line(L"10:00:00.000", L"INF", L"before") + L"\r\n");
    start();
    EXPECT_EQ(wait_for(1), lines{L"before"});

    // A line written in two pieces is printed once it is whole.
    append_text(current, log_line(L"10:00:01.000", L"INF", L"sp"));
    ::Sleep(100);
    append_text(current, L"lit\r\n");
    EXPECT_EQ(wait_for(2), (lines{L"before", L"split"}));

    // The server's rotation: the current file is renamed and a new one begins.
    append_text(current, log_line(L"10:00:02.000", L"INF", L"last of old") + L"\r\n");
    ASSERT_TRUE(::MoveFileW(current.c_str(), file(L"App-1.0.0.0-1.TXT").c_str()));
    append_text(current, log_line(L"10:00:03.000", L"INF", L"first of new") + L"\r\n");
    EXPECT_EQ(wait_for(4), (lines{L"before", L"split", L"last of old", L"first of new"}));
}

TEST_F(FollowingTail, WaitsForAFileThatDoesNotExistYet)
{
    start();
    ::Sleep(100);
    append_text(file(L"App-1.0.0.0.TXT"), log_line(L"10:00:00.000", L"INF", L"late") + L"\r\n");
    EXPECT_EQ(wait_for(1), lines{L"late"});
}

} // namespace
} // namespace kvt::test
