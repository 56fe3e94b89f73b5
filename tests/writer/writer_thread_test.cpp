#include "writer/writer_thread.h"

#include "log_test_setup.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

namespace kvt {
namespace {

const std::uint32_t v1234[4] = {1, 2, 3, 4};
constexpr DWORD patience_ms = 10000;

class WriterThread : public ::testing::Test {
protected:
    // Ownership passes with a successful post only.
    template <class Payload>
    void post_payload(UINT message, Payload* payload)
    {
        std::unique_ptr<Payload> owner(payload);
        if (writer->post(message, reinterpret_cast<WPARAM>(payload), 0))
            static_cast<void>(owner.release());
        else
            ADD_FAILURE() << "message " << message << " not posted";
    }
    void post_record(const sourcekeyref& key, logrecord* record)
    {
        post_payload(WM_LOGRECORD, new postedrecord{key, record});
    }
    void post_record(const sourcekeyref& key, std::wstring_view text, std::atomic<int>* destroyed = nullptr)
    {
        post_record(key, test::make_record(text, destroyed));
    }
    void post_close(const sourcekeyref& key) { post_payload(WM_LOGCLOSESOURCE, new closerequest{key}); }

    // Returns once the writer has handled every earlier message and closed its files.
    void suspend()
    {
        const unique_handle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(writer->post(WM_LOGSUSPEND, reinterpret_cast<WPARAM>(done.get()), 0));
        ASSERT_EQ(::WaitForSingleObject(done.get(), patience_ms), WAIT_OBJECT_0);
    }
    void resume() { ASSERT_TRUE(writer->post(WM_LOGSUSPEND, 0, 0)); }
    void flush()
    {
        suspend();
        resume();
    }

    std::wstring path(const sourcekeyref& key, unsigned number = 0) const
    {
        return test::log_file_path(scratch.logs.path(), *key, number);
    }
    std::vector<std::wstring> texts(const sourcekeyref& key, unsigned number = 0) const
    {
        return test::logged_texts(path(key, number));
    }

    // Polls until done() holds or the patience runs out; gives done()'s last answer.
    template <class Condition>
    static bool wait_until(Condition done)
    {
        for (DWORD waited = 0; !done() && waited < patience_ms; waited += 20)
            ::Sleep(20);
        return done();
    }
    void wait_for_lines(const sourcekeyref& key, std::size_t count) const
    {
        ASSERT_TRUE(wait_until([&] { return texts(key).size() == count; }));
    }

    // The writer holds its files open for writing only, so an exclusive open fails then.
    bool held_open(const sourcekeyref& key) const
    {
        const unique_file file(::CreateFileW(path(key).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
    }

    test::scratch_settings scratch;
    logsettings settings;
    std::optional<writer_thread> writer{std::in_place, settings};
    const sourcekeyref app = make_sourcekey(7, v1234, L"App");
};

TEST_F(WriterThread, RecordsFromSeveralThreadsAreAllWrittenInEachThreadsOrderBeforeItEnds)
{
    constexpr int threads = 4, per_thread = 150;
    std::vector<std::thread> senders;
    for (int t = 0; t < threads; ++t) {
        senders.emplace_back([this, t] {
            for (int i = 0; i < per_thread; ++i)
                post_record(app, std::to_wstring(t) + L":" + std::to_wstring(i));
        });
    }
    for (std::thread& s : senders)
        s.join();
    writer.reset();

    std::vector<int> next(threads, 0);
    const auto lines = texts(app);
    EXPECT_EQ(lines.size(), std::size_t{threads * per_thread});
    for (const std::wstring& text : lines) {
        const int t = std::stoi(text);
        EXPECT_EQ(std::stoi(text.substr(text.find(L':') + 1)), next.at(t)++) << text;
    }
}

TEST_F(WriterThread, SuspendWaitsForEarlierRecordsClosesFilesAndDropsLaterRecords)
{
    for (int i = 0; i < 50; ++i)
        post_record(app, L"before");
    suspend();
    EXPECT_EQ(texts(app).size(), 50u);
    EXPECT_FALSE(held_open(app));

    std::atomic<int> dropped{0};
    for (int i = 0; i < 5; ++i)
        post_record(app, L"while", &dropped);
    suspend();  // a second suspension only answers
    EXPECT_EQ(dropped, 5);
    resume();
    post_record(app, L"after");
    writer.reset();
    const auto lines = texts(app);
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines.back(), L"after");
}

TEST_F(WriterThread, CloseMessagesCloseTheNamedFilesOnly)
{
    const std::uint32_t v1235[4] = {1, 2, 3, 5};
    const auto other = make_sourcekey(7, v1235, L"App");
    const auto eight = make_sourcekey(8, v1234, L"App");
    for (const auto& key : {app, other, eight})
        post_record(key, L"first");
    ASSERT_TRUE(writer->post(WM_LOGCLOSEID, 0, 7));
    post_record(eight, L"second");
    wait_for_lines(eight, 2);
    EXPECT_FALSE(held_open(app));
    EXPECT_FALSE(held_open(other));
    EXPECT_TRUE(held_open(eight));

    post_close(eight);
    post_close(other);  // has no entry: only the request is freed
    post_record(app, L"second");
    wait_for_lines(app, 2);
    EXPECT_FALSE(held_open(eight));
    EXPECT_TRUE(held_open(app));
}

TEST_F(WriterThread, AChangedLogDirectoryTakesTheNextRecords)
{
    post_record(app, L"old");
    wait_for_lines(app, 1);  // the file stays open
    const test::temp_directory moved;
    ASSERT_TRUE(settings.set_log_path(moved.path().c_str()));
    ASSERT_TRUE(writer->post(WM_LOGCLOSESOURCE, 0, 0));
    post_record(app, L"new");
    writer.reset();
    EXPECT_EQ(texts(app), std::vector<std::wstring>{L"old"});
    EXPECT_EQ(test::logged_texts(test::log_file_path(moved.path(), *app)), std::vector<std::wstring>{L"new"});
}

TEST_F(WriterThread, ASourceWithoutAUsableDirectoryLosesOnlyItsOwnRecordsUntilItHasOne)
{
    const auto nine = make_sourcekey(9, v1234, L"App");
    const std::wstring in_the_way = scratch.logs.path() + L"\\CA9";
    ASSERT_TRUE(unique_file(
        ::CreateFileW(in_the_way.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    std::atomic<int> destroyed{0};
    post_record(nine, L"lost", &destroyed);
    post_record(app, L"kept");
    flush();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(texts(app), std::vector<std::wstring>{L"kept"});

    ASSERT_TRUE(::DeleteFileW(in_the_way.c_str()));
    post_record(nine, L"retried");
    writer.reset();
    EXPECT_EQ(texts(nine), std::vector<std::wstring>{L"retried"});
}

TEST_F(WriterThread, ALineEndsAtItsFirstNul)
{
    post_record(app, std::wstring_view(L"ab\0cd", 5));
    post_record(app, L"next");
    writer.reset();
    const auto lines = texts(app);
    ASSERT_EQ(lines.size(), 1u);  // the first line lost its CR LF with the rest
    EXPECT_EQ(lines[0].substr(0, 2), L"ab");
    EXPECT_EQ(lines[0].find(L"cd"), std::wstring::npos);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 5), L"|next");
}

class throwing_argument final : public argument {
public:
    countedwstring render() const override { throw std::bad_alloc(); }
};

TEST_F(WriterThread, AnExceptionWhileWritingEndsTheThreadWithItsFilesClosed)
{
    post_record(app, L"written");
    wait_for_lines(app, 1);
    std::atomic<int> destroyed{0};
    logrecord* record = test::make_record(L"never", &destroyed);
    record->arguments.push_back(make_counted<const throwing_argument>());
    post_record(app, record);
    EXPECT_TRUE(wait_until([&] { return !held_open(app); }));
    EXPECT_FALSE(::PostThreadMessageW(writer->id(), WM_NULL, 0, 0));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(texts(app), std::vector<std::wstring>{L"written"});
    // The fixture's writer_thread then spends its 50 tries on WM_QUIT (about five seconds).
}

// Lines longer than 1 KiB: with a limit of 1 KiB every record after a file's first rotates.
class WriterRotation : public WriterThread {
protected:
    void post_numbered(int first, int last)
    {
        for (int i = first; i <= last; ++i)
            post_record(app, std::to_wstring(i) + std::wstring(600, L'.'));
        flush();
    }
    // The leading numbers of a file's lines.
    std::vector<int> numbers(unsigned file) const
    {
        std::vector<int> result;
        for (const std::wstring& text : texts(app, file))
            result.push_back(std::stoi(text));
        return result;
    }
};

TEST_F(WriterRotation, KeepsTheNewestFilesUpToTheLimit)
{
    settings.set_limit(7, {1, 3});
    post_numbered(0, 3);
    EXPECT_EQ(numbers(0), std::vector<int>{3});
    EXPECT_EQ(numbers(1), std::vector<int>{2});
    EXPECT_EQ(numbers(2), std::vector<int>{1});
    EXPECT_FALSE(test::file_exists(path(app, 3)));
}

TEST_F(WriterRotation, BlockedByAHeldFileIsRetriedWhileWritingGoesOn)
{
    settings.set_limit(7, {1, 3});
    post_numbered(0, 2);
    {
        const unique_file reader(::CreateFileW(path(app, 1).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader);
        post_numbered(3, 4);
        EXPECT_EQ(numbers(0), (std::vector<int>{2, 3, 4}));
        EXPECT_EQ(numbers(1), std::vector<int>{1});
    }
    post_numbered(5, 5);
    EXPECT_EQ(numbers(0), std::vector<int>{5});
    EXPECT_EQ(numbers(1), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(numbers(2), std::vector<int>{1});
}

TEST_F(WriterRotation, ANoughtSizeOrFileCountMeansNoLimit)
{
    settings.set_limit(7, {0, 3});
    settings.set_limit(8, {1, 0});
    const auto eight = make_sourcekey(8, v1234, L"App");
    for (int i = 0; i < 3; ++i) {
        post_record(app, std::wstring(600, L'.'));
        post_record(eight, std::wstring(600, L'.'));
    }
    flush();
    for (const auto& key : {app, eight}) {
        EXPECT_EQ(texts(key).size(), 3u);
        EXPECT_FALSE(test::file_exists(path(key, 1)));
    }
}

} // namespace
} // namespace kvt
