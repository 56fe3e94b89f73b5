#include "writer/writer_thread.h"

#include "core/arguments.h"
#include "log_test_setup.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace kvt::test {
namespace {

using texts_t = std::vector<std::wstring>;

class WriterThread : public logtest {
protected:
    // The payload passes to the writer with the post (and leaks only when a post fails).
    void post(UINT message, const void* payload)
    {
        ASSERT_TRUE(writer_->post(message, reinterpret_cast<WPARAM>(payload), 0)) << message;
    }
    void post_record(const sourcekeyref& key, const std::wstring& text)
    {
        auto record = std::make_unique<logrecord>(0x10);
        record->arguments.push_back(make_counted<const wtextargument>(text.c_str()));
        post(WM_LOGRECORD, new postedrecord{key, std::move(record)});
    }

    // Returns once the writer has handled every earlier message and closed its files.
    void suspend()
    {
        const uniquehandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(writer_->post(WM_LOGSUSPEND, reinterpret_cast<WPARAM>(done.get()), 0));
        ASSERT_EQ(::WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
    }
    void resume() { ASSERT_TRUE(writer_->post(WM_LOGSUSPEND, 0, 0)); }

    void flush() { suspend(); resume(); }

    // Lines longer than 1 KiB: with a limit of 1 KiB every record after a file's first rotates.
    void post_numbered(const sourcekeyref& key, int first, int last)
    {
        for (int i = first; i <= last; ++i)
            post_record(key, std::to_wstring(i) + std::wstring(600, L'.'));
        flush();
    }
    // The leading digits of the lines of files 0 to count - 1, a '|' between files.
    std::wstring digits(const sourcekeyref& key, unsigned count) const
    {
        std::wstring result;
        for (unsigned file = 0; file < count; ++file) {
            result += file ? L"|" : L"";
            for (const std::wstring& text : texts(key, file))
                result += text[0];
        }
        return result;
    }

    std::optional<writerthread> writer_{std::in_place, settings_};
};

TEST_F(WriterThread, RecordsFromSeveralThreadsAreAllWrittenInEachThreadsOrderBeforeItEnds)
{
    constexpr int threads = 4, per_thread = 150;
    std::vector<std::thread> senders;
    for (int t = 0; t < threads; ++t)
        senders.emplace_back([this, t] {
            for (int i = 0; i < per_thread; ++i)
                post_record(app_, std::to_wstring(t) + L":" + std::to_wstring(i));
        });
    for (std::thread& s : senders)
        s.join();
    writer_.reset();

    std::vector<int> next(threads, 0);
    const texts_t lines = texts(app_);
    EXPECT_EQ(lines.size(), std::size_t{threads * per_thread});
    for (const std::wstring& text : lines)
        EXPECT_EQ(std::stoi(text.substr(text.find(L':') + 1)), next.at(std::stoi(text))++) << text;
}

TEST_F(WriterThread, SuspendWaitsForEarlierRecordsClosesFilesAndDropsLaterRecords)
{
    for (int i = 0; i < 50; ++i)
        post_record(app_, L"before");
    suspend();
    EXPECT_EQ(texts(app_).size(), 50u);
    EXPECT_FALSE(is_open(path(app_)));

    for (int i = 0; i < 5; ++i)
        post_record(app_, L"while");
    suspend();  // a second suspension only answers
    resume();
    post_record(app_, L"after");  // reopens the file and appends
    writer_.reset();
    const texts_t lines = texts(app_);
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines.back(), L"after");
    EXPECT_EQ(read_log_lines(path(app_)).back().find(L'\xFEFF'), std::wstring::npos);  // one byte-order mark
}

TEST_F(WriterThread, CloseMessagesCloseTheNamedFilesOnly)
{
    const std::uint32_t v1235[4] = {1, 2, 3, 5};
    const auto other = make_sourcekey(7, v1235, L"App"), eight = make_sourcekey(8, v1234, L"App");
    for (const auto& key : {app_, other, eight})
        post_record(key, L"first");
    ASSERT_TRUE(writer_->post(WM_LOGCLOSEID, 0, 7));
    post_record(eight, L"second");
    ASSERT_TRUE(wait_until([&] { return texts(eight).size() == 2; }));
    EXPECT_FALSE(is_open(path(app_)));
    EXPECT_FALSE(is_open(path(other)));
    EXPECT_TRUE(is_open(path(eight)));

    post(WM_LOGCLOSESOURCE, new closerequest{eight});
    post(WM_LOGCLOSESOURCE, new closerequest{other});  // has no entry: only the request is freed
    post_record(app_, L"second");
    ASSERT_TRUE(wait_until([&] { return texts(app_).size() == 2; }));
    EXPECT_FALSE(is_open(path(eight)));
    EXPECT_TRUE(is_open(path(app_)));
}

TEST_F(WriterThread, AChangedLogDirectoryTakesTheNextRecords)
{
    post_record(app_, L"old");
    ASSERT_TRUE(wait_until([&] { return texts(app_).size() == 1; }));  // the file stays open
    const tempdirectory moved;
    ASSERT_TRUE(settings_.set_log_path(moved.path().c_str()));
    ASSERT_TRUE(writer_->post(WM_LOGCLOSESOURCE, 0, 0));
    post_record(app_, L"new");
    writer_.reset();
    EXPECT_EQ(texts(app_), texts_t{L"old"});
    EXPECT_EQ(log_texts(log_directory(moved.path(), 7) + L"App-1.2.3.4.TXT"), texts_t{L"new"});
}

TEST_F(WriterThread, ASourceWithoutAUsableDirectoryLosesOnlyItsOwnRecordsUntilItHasOne)
{
    const auto nine = make_sourcekey(9, v1234, L"App");
    const std::wstring in_the_way = logs_.path() + L"\\CA9";
    ASSERT_TRUE(uniquehandle(
        ::CreateFileW(in_the_way.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    post_record(nine, L"lost");
    post_record(app_, L"kept");
    flush();
    EXPECT_EQ(texts(app_), texts_t{L"kept"});

    ASSERT_TRUE(::DeleteFileW(in_the_way.c_str()));
    post_record(nine, L"retried");
    writer_.reset();
    EXPECT_EQ(texts(nine), texts_t{L"retried"});
}

TEST_F(WriterThread, RotationBlockedByAHeldFileIsRetriedWhileWritingGoesOn)
{
    settings_.set_limit(7, {1, 3});
    post_numbered(app_, 0, 2);
    EXPECT_EQ(digits(app_, 4), L"2|1|0|");
    {
        const uniquehandle reader(::CreateFileW(path(app_, 1).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader);
        post_numbered(app_, 3, 4);
        EXPECT_EQ(digits(app_, 2), L"234|1");
    }
    post_numbered(app_, 5, 5);
    EXPECT_EQ(digits(app_, 4), L"5|234|1|");
}

// An existing file of 1000 bytes under a 1 KiB limit still takes a line of 100 bytes; the
// next line rotates, and every later file takes lines until it holds 1024 bytes or more.
TEST_F(WriterThread, RotationPointsFollowTheBytesOnDisk)
{
    ASSERT_TRUE(::CreateDirectoryW(log_directory(logs_.path(), 7).c_str(), nullptr));
    std::ofstream(std::filesystem::path(path(app_)), std::ios::binary) << std::string(1000, 'x');
    settings_.set_limit(7, {1, 3});
    for (int i = 0; i < 13; ++i)
        post_record(app_, L"");  // 48 code units of header and a CR LF: 100 bytes
    writer_.reset();
    EXPECT_EQ(read_file_bytes(path(app_, 2)).size(), 1100u);
    EXPECT_EQ(read_file_bytes(path(app_, 1)).size(), 2u + 11 * 100);
    EXPECT_EQ(read_file_bytes(path(app_)).size(), 2u + 1 * 100);
}

TEST_F(WriterThread, ANoughtSizeOrFileCountMeansNoLimit)
{
    const auto eight = make_sourcekey(8, v1234, L"App");
    settings_.set_limit(7, {0, 3});
    settings_.set_limit(8, {1, 0});
    for (const auto& key : {app_, eight}) {
        post_numbered(key, 0, 2);
        EXPECT_EQ(digits(key, 2), L"012|");
    }
}

} // namespace
} // namespace kvt::test
