// The log files, the record batches and the writer thread, over default settings in a
// scratch registry that point at a fresh log directory.

#include "writer/writer_thread.h"

#include "core/arguments.h"
#include "support/log_checks.h"
#include "support/scratch_registry.h"
#include "writer/log_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvt::test {
namespace {

const std::uint32_t v1234[4] = {1, 2, 3, 4}, v1235[4] = {1, 2, 3, 5};

class logtest : public ::testing::Test {
protected:
    std::wstring path(const sourcekeyref& key, unsigned number = 0) const
    {
        return log_directory(logs_.path(), key->id) + log_file_name(*key, number).value();
    }
    std::vector<std::wstring> texts(const sourcekeyref& key, unsigned number = 0) const
    {
        return log_texts(path(key, number));
    }

    // The settings are written before the store opens their key.
    struct defaultsettings {
        defaultsettings() { write_default_settings(logs.path()); }
        scratchregistry registry;
        tempdirectory logs;
    } scratch_;
    const tempdirectory& logs_ = scratch_.logs;
    logsettings settings_;
    const sourcekeyref app_ = make_sourcekey(7, v1234, L"App"), other_ = make_sourcekey(7, v1235, L"App");
    sourcecounters counters_;
};

TEST(LogNames, DirectoryUsesBackslashesAndTheSourceIdTextAndFileNamesTheSignedVersions)
{
    const struct { const wchar_t* log_path; std::uint32_t id; const wchar_t* directory; } cases[] = {
        {L"C:/Logs/", 7, L"C:\\Logs\\CA7\\"},
        {L"C:\\Logs\\\\", 0, L"C:\\Logs\\GE\\"},
        {L"\\\\server/share", 4294967295u, L"\\\\server\\share\\CA4294967295\\"},
        {L"", 7, L"\\CA7\\"},
        {L"\\\\", 1, L"\\\\\\CA1\\"},  // nothing but backslashes stays as it is
    };
    for (const auto& c : cases)
        EXPECT_EQ(log_directory(c.log_path, c.id), c.directory) << c.log_path;

    const std::uint32_t negative[4] = {4294967295u, 0, 2147483648u, 9};
    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, L"App"), 0), L"App-1.2.3.4.TXT");
    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, L"App"), 2), L"App-1.2.3.4-2.TXT");
    EXPECT_EQ(log_file_name(*make_sourcekey(7, negative, L"a/b"), 0), L"a/b--1.0.-2147483648.9.TXT");
    // "-1.2.3.4.TXT" takes 12 code units: 244 of name fill the 256 exactly.
    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, std::wstring(244, L'n').c_str()), 0)->size(), 256u);
    EXPECT_FALSE(log_file_name(*make_sourcekey(7, v1234, std::wstring(244, L'n').c_str()), 1));
}

using LogFiles = logtest;

// Files 0 to 3 of a source, one character each, '-' for a missing file.
TEST_F(LogFiles, RotationShiftsTheFilesBelowTheFirstGapAndDropsTheOldest)
{
    filetable files{settings_};
    const struct { const wchar_t* name; unsigned fileskept; const char* before; const char* after; } cases[] = {
        {L"Full", 3, "abc-", "-ab-"},
        {L"Short", 3, "ab--", "-ab-"},
        {L"Gap", 3, "a-cd", "-acd"},
        {L"Single", 1, "ab--", "-b--"},
    };
    for (const auto& c : cases) {
        const auto key = make_sourcekey(7, v1234, c.name);
        ASSERT_TRUE(open_log_file(files, key));  // makes the directories
        close_all_files(files);
        for (unsigned n = 0; n < 4; ++n)
            if (c.before[n] != '-')
                std::ofstream(std::filesystem::path(path(key, n)), std::ios::binary) << c.before[n];
        ASSERT_TRUE(open_log_file(files, key));
        rotate_log_files(files, key, c.fileskept);
        EXPECT_TRUE(files.entries.empty());
        std::string after;
        for (unsigned n = 0; n < 4; ++n) {
            const auto bytes = read_file_bytes(path(key, n));
            after += file_exists(path(key, n)) ? std::string(bytes.begin(), bytes.end()) : "-";
        }
        EXPECT_EQ(after, c.after) << c.name;
    }
}

using tree = std::map<std::wstring, std::vector<unsigned char>>;

// Records of three sources, two of them sharing id 7, three in a row for each, under limits
// of 1 KiB that rotate every few lines of 200 to 800 bytes. Single records are a message
// object's records; batches hold the same content in their packed form.
class RecordBatch : public logtest {
protected:
    static constexpr int records = 14;

    RecordBatch()
    {
        settings_.set_limit(7, {1, 3});
        settings_.set_limit(8, {1, 2});
    }

    // Record i: every kind of value, texts of varying length.
    const SYSTEMTIME time_{2026, 12, 0, 6, 7, 8, 9, 10};
    std::wstring text(int i) const { return std::wstring(i * 173 % 300 + 2, static_cast<wchar_t>(L'a' + i)) + L"\n"; }

    std::unique_ptr<postedrecord> posted(int i)
    {
        auto r = std::make_unique<logrecord>(0x10u << i % 3);
        r->time = time_;
        r->firstid = static_cast<std::uint32_t>(-i);
        r->line = i;
        r->function = std::make_unique<wchar_t[]>(2);
        r->function[0] = L'f';
        r->arguments.push_back(make_counted<const intargument<std::int64_t>>(-i, 10, 0));
        r->arguments.push_back(make_counted<const intargument<std::uint32_t>>(i, 16, 8));
        r->arguments.push_back(make_counted<const realargument<double>>(i / 3.0));
        r->arguments.push_back(make_counted<const textargument>("\x81"));
        r->arguments.push_back(make_counted<const wtextargument>(text(i).c_str()));
        return std::make_unique<postedrecord>(postedrecord{keys_[i / 3 % 3], std::move(r), &counters_});
    }
    void add(recordbatch& batch, int i)
    {
        batch.add_record(keys_[i / 3 % 3], counters_, 0x10u << i % 3, time_, static_cast<std::uint32_t>(-i), 0, nullptr,
                         i, L"f");
        batch.add_signed(-i);
        batch.add_unsigned(i, 16, 8);
        batch.add_real(i / 3.0);
        batch.add_oem("\x81");
        batch.add_wide(text(i));
    }

    // The files written for every record, in batches cut at the cuts (none: one record per
    // message), in a directory of their own.
    tree written(const std::vector<int>& cuts)
    {
        const std::wstring directory = logs_.path() + L"\\run" + std::to_wstring(runs_++);
        settings_.set_log_path(directory.c_str());
        {
            const writerthread writer(settings_);
            if (cuts.empty())
                for (int i = 0; i < records; ++i)
                    writer.commit(posted(i));
            for (std::size_t c = 0; c + 1 < cuts.size(); ++c) {
                auto batch = std::make_unique<recordbatch>();
                for (int i = cuts[c]; i < cuts[c + 1]; ++i)
                    add(*batch, i);
                writer.commit(std::move(batch));
            }
        }
        tree files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
            if (entry.is_regular_file())
                files[entry.path().wstring().substr(directory.size())] = read_file_bytes(entry.path().wstring());
        return files;
    }

    const sourcekeyref keys_[3] = {app_, other_, make_sourcekey(8, v1234, L"Other")};
    int runs_ = 0;
};

TEST_F(RecordBatch, BatchesCutAnywhereWriteTheBytesAndRotationPointsOfSingleRecords)
{
    const tree single = written({});
    ASSERT_EQ(single.size(), 5u);  // rotated files among them
    EXPECT_EQ(written({0, records}), single);
    for (int cut = 1; cut < records; ++cut)
        EXPECT_EQ(written({0, cut, records}), single) << "cut before record " << cut;
    const countersnapshot c = read_counters(counters_);
    EXPECT_EQ(c.committed, (records + 1u) * records);
    EXPECT_EQ(c.written, c.committed);
    EXPECT_GT(c.rotations, 0u);
}

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
        post(WM_LOGRECORD, new postedrecord{key, std::move(record), &counters_});
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
    // The leading digits of the lines of files 0 to 2, a '|' between files.
    std::wstring digits(const sourcekeyref& key) const
    {
        std::wstring result;
        for (unsigned file = 0; file < 3; ++file) {
            result += file ? L"|" : L"";
            for (const std::wstring& text : texts(key, file))
                result += text[0];
        }
        return result;
    }

    std::optional<writerthread> writer_{std::in_place, settings_};
};

// A close is seen once the next record of a source whose file stays open (nine) is written.
TEST_F(WriterThread, CloseMessagesCloseTheNamedFilesOnly)
{
    const auto eight = make_sourcekey(8, v1234, L"App"), nine = make_sourcekey(9, v1234, L"App");
    for (const auto& key : {app_, other_, eight, nine})
        post_record(key, L"first");
    ASSERT_TRUE(writer_->post(WM_LOGCLOSEID, 0, 7));
    post_record(nine, L"second");
    ASSERT_TRUE(wait_until([&] { return texts(nine).size() == 2; }));
    EXPECT_FALSE(is_open(path(app_)));
    EXPECT_FALSE(is_open(path(other_)));
    EXPECT_TRUE(is_open(path(eight)));

    post_record(app_, L"second");  // opened again
    post(WM_LOGCLOSESOURCE, new closerequest{eight});
    post(WM_LOGCLOSESOURCE, new closerequest{other_});  // has no entry: only the request is freed
    post_record(nine, L"third");
    ASSERT_TRUE(wait_until([&] { return texts(nine).size() == 3; }));
    EXPECT_FALSE(is_open(path(eight)));
    EXPECT_TRUE(is_open(path(app_)));
}

// An open file keeps its directory until every file is closed; a source whose directory
// cannot be made (a file in place of its id's directory, or a missing parent of the log
// directory, of which only the last level is made) loses its records until it can be.
TEST_F(WriterThread, RecordsGoWhereTheLogDirectoryIsOnceItCanBeUsed)
{
    const auto nine = make_sourcekey(9, v1234, L"App");
    const std::wstring moved = logs_.path() + L"\\moved", blocker = moved + L"\\CA9", parent = logs_.path() + L"\\p";
    const auto texts_in = [](const std::wstring& logs, std::uint32_t id) {
        return log_texts(log_directory(logs, id) + L"App-1.2.3.4.TXT");
    };
    post_record(app_, L"old");
    ASSERT_TRUE(wait_until([&] { return texts(app_).size() == 1; }));  // the file stays open
    ASSERT_TRUE(settings_.set_log_path(moved.c_str()));
    post_record(app_, L"old too");
    post(WM_LOGCLOSESOURCE, nullptr);
    ASSERT_TRUE(::CreateDirectoryW(moved.c_str(), nullptr));
    ASSERT_TRUE(std::ofstream(std::filesystem::path(blocker)));
    for (const auto& key : {app_, nine})
        post_record(key, L"new");
    flush();
    EXPECT_EQ(texts(app_), (texts_t{L"old", L"old too"}));
    EXPECT_EQ(texts_in(moved, 7), texts_t{L"new"});
    ASSERT_TRUE(::DeleteFileW(blocker.c_str()));
    post_record(nine, L"retried");
    flush();  // written before the directory changes again

    ASSERT_TRUE(settings_.set_log_path((parent + L"\\logs").c_str()));
    post(WM_LOGCLOSESOURCE, nullptr);
    post_record(app_, L"lost");
    flush();
    ASSERT_TRUE(::CreateDirectoryW(parent.c_str(), nullptr));
    post_record(app_, L"kept");
    writer_.reset();
    EXPECT_EQ(texts_in(moved, 9), texts_t{L"retried"});
    EXPECT_EQ(texts_in(parent + L"\\logs", 7), texts_t{L"kept"});
}

// Held without FILE_SHARE_DELETE, file 1 can be neither renamed (3 files kept) nor deleted
// (2 kept): the current file grows until it is let go, and the next record rotates. A size or
// file count of 0 means no limit.
TEST_F(WriterThread, RotationBlockedByAHeldFileIsRetriedWhileWritingGoesOn)
{
    const struct { std::uint32_t id; limitrecord limit; const wchar_t* before; const wchar_t* held; const wchar_t* after; }
        cases[] = {{7, {1, 3}, L"2|1|0", L"234|1|", L"5|234|1"}, {8, {1, 2}, L"2|1|", L"234|1|", L"5|234|"},
                   {9, {0, 3}, L"012||", nullptr, nullptr}, {10, {1, 0}, L"012||", nullptr, nullptr}};
    for (const auto& c : cases) {
        const auto key = make_sourcekey(c.id, v1234, L"App");
        settings_.set_limit(c.id, c.limit);
        post_numbered(key, 0, 2);
        EXPECT_EQ(digits(key), c.before);
        if (!c.held)
            continue;
        {
            const uniquehandle reader(::CreateFileW(path(key, 1).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(reader);
            post_numbered(key, 3, 4);
            EXPECT_EQ(digits(key), c.held);
        }
        post_numbered(key, 5, 5);
        EXPECT_EQ(digits(key), c.after);
    }
}

// The size kept for an open file counts the bytes on disk, byte-order mark included: an
// existing file of 1000 bytes under a 1 KiB limit still takes a line of 146 bytes, and a
// new file is full after 7 such lines (2 + 7 * 146 = 1024 bytes).
TEST_F(WriterThread, RotationPointsFollowTheBytesOnDisk)
{
    ASSERT_TRUE(::CreateDirectoryW(log_directory(logs_.path(), 7).c_str(), nullptr));
    std::ofstream(std::filesystem::path(path(app_)), std::ios::binary) << std::string(1000, 'x');
    settings_.set_limit(7, {1, 3});
    for (int i = 0; i < 9; ++i)
        post_record(app_, std::wstring(23, L't'));  // 48 code units of header, 23 of text and a CR LF
    writer_.reset();
    EXPECT_EQ(read_file_bytes(path(app_, 2)).size(), 1146u);
    EXPECT_EQ(read_file_bytes(path(app_, 1)).size(), 1024u);
    EXPECT_EQ(read_file_bytes(path(app_)).size(), 148u);
}

// A queue that refuses the first refusals posts, counting the posts and noting the pauses.
int refusals, posts;
std::vector<DWORD> pauses;
BOOL WINAPI refusing_post(DWORD, UINT, WPARAM, LPARAM) { return ++posts > refusals; }
void WINAPI noted_pause(DWORD milliseconds) { pauses.push_back(milliseconds); }

// A refused post is tried again after a pause of 100 ms, 50 times in all; the sender learns
// of the last refusal and keeps its payload.
TEST(PostToWriter, RetriesARefusedPostFiftyTimesWithAPauseAfterEach)
{
    const postcalls real = std::exchange(post_calls, {refusing_post, noted_pause});
    for (const int refused : {0, 3, 50}) {
        refusals = refused, posts = 0, pauses.clear();
        EXPECT_EQ(post_to_writer(1, WM_LOGRECORD, 0, 0), refused < 50) << refused;
        EXPECT_EQ(posts, std::min(refused + 1, 50)) << refused;
        EXPECT_EQ(pauses, std::vector<DWORD>(refused, 100)) << refused;
    }
    post_calls = real;
}

// Committed records in every way they can go, single and in batches: each is counted
// committed and then once by where it went. A suspension returns once the writer has written
// the earlier records and closed its files; the file is reopened and appended to after it.
// Wine does not enforce Windows' quota of 10,000 messages in a thread's queue, so a refused
// post is made through the post seam.
TEST_F(WriterThread, EveryCommittedRecordIsCountedWrittenOrDroppedByItsCause)
{
    const auto commit = [&](int singles, int batched) {
        for (int i = 0; i < singles; ++i) {
            auto record = std::make_unique<logrecord>(0x10);
            writer_->commit(std::make_unique<postedrecord>(postedrecord{app_, std::move(record), &counters_}));
        }
        auto batch = std::make_unique<recordbatch>();
        for (int i = 0; i < batched; ++i)
            batch->add_record(app_, counters_, 0x10, SYSTEMTIME{}, 0, 0, nullptr, 0, nullptr);
        writer_->commit(std::move(batch));
    };
    commit(49, 1);
    suspend();
    EXPECT_EQ(texts(app_).size(), 50u);
    EXPECT_FALSE(is_open(path(app_)));
    commit(1, 2);
    suspend();  // a second suspension only answers
    resume();
    commit(0, 1);
    flush();
    ASSERT_TRUE(settings_.set_log_path((logs_.path() + L"\\missing\\logs").c_str()));
    post(WM_LOGCLOSESOURCE, nullptr);
    commit(2, 2);
    const postcalls real = std::exchange(post_calls, {[](DWORD, UINT, WPARAM, LPARAM) { return FALSE; },
                                                      [](DWORD) {}});
    commit(1, 3);
    post_calls = real;
    flush();
    const countersnapshot c = read_counters(counters_);
    EXPECT_EQ(c.committed, 62u);
    EXPECT_EQ(c.written, 51u);
    EXPECT_EQ(c.bytes, read_file_bytes(path(app_)).size() - 2);  // one byte-order mark
    EXPECT_EQ(c.suspended, 3u);
    EXPECT_EQ(c.nofile, 4u);
    EXPECT_EQ(c.refused, 4u);
    EXPECT_EQ(c.queued(), 0u);
}

} // namespace
} // namespace kvt::test
