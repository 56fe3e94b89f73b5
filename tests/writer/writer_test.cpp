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

const std::uint32_t v1234[4] = {1, 2, 3, 4}, v1235[4] = {1, 2, 3, 5}, negative[4] = {4294967295u, 0, 2147483648u, 9};

// The fixture of every test here: the settings are written before the store opens their key,
// and the writer thread runs from the start.
class writertest : public ::testing::Test {
protected:
    std::wstring path(const sourcekeyref& key, unsigned number = 0) const
    {
        return log_directory(logs_.path(), key->id) + log_file_name(*key, number).value();
    }
    std::vector<std::wstring> texts(const sourcekeyref& key, unsigned number = 0) const
    {
        return log_texts(path(key, number));
    }
    void commit(const sourcekeyref& key, const std::wstring& text)
    {
        auto record = std::make_unique<logrecord>(0x10);
        record->arguments.push_back(make_counted<const wtextargument>(text.c_str()));
        writer_->commit(std::make_unique<postedrecord>(postedrecord{key, std::move(record), &counters_}));
    }

    // Returns once the writer has handled every earlier message and closed its files; unless
    // it is to stay suspended, lets it write again.
    void flush(bool resume = true)
    {
        const uniquehandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(writer_->post(WM_LOGSUSPEND, reinterpret_cast<WPARAM>(done.get()), 0));
        ASSERT_EQ(::WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
        ASSERT_TRUE(!resume || writer_->post(WM_LOGSUSPEND, 0, 0));
    }

    scratchregistry registry_;
    tempdirectory logs_;
    const bool settings_written_ = (write_default_settings(logs_.path()), true);
    logsettings settings_;
    const sourcekeyref app_ = make_sourcekey(7, v1234, L"App"), other_ = make_sourcekey(7, v1235, L"App");
    sourcecounters counters_;
    std::optional<writerthread> writer_{std::in_place, settings_};
};
using LogFiles = writertest;
using RecordBatch = writertest;
using WriterThread = writertest;

TEST(LogNames, DirectoryUsesBackslashesAndTheSourceIdTextAndFileNamesTheSignedVersions)
{
    const struct { const wchar_t* log_path; std::uint32_t id; const wchar_t* directory; } cases[] = {
        {L"C:/Logs/", 7, L"C:\\Logs\\CA7\\"}, {L"C:\\Logs\\\\", 0, L"C:\\Logs\\GE\\"}, {L"", 7, L"\\CA7\\"},
        {L"\\\\server/share", 4294967295u, L"\\\\server\\share\\CA4294967295\\"},
        {L"\\\\", 1, L"\\\\\\CA1\\"},  // nothing but backslashes stays as it is
    };
    for (const auto& c : cases)
        EXPECT_EQ(log_directory(c.log_path, c.id), c.directory) << c.log_path;

    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, L"App"), 2), L"App-1.2.3.4-2.TXT");
    EXPECT_EQ(log_file_name(*make_sourcekey(7, negative, L"a/b"), 0), L"a/b--1.0.-2147483648.9.TXT");
    // "-1.2.3.4.TXT" takes 12 code units: 244 of name fill the 256 exactly.
    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, std::wstring(244, L'n').c_str()), 0)->size(), 256u);
    EXPECT_FALSE(log_file_name(*make_sourcekey(7, v1234, std::wstring(244, L'n').c_str()), 1));
}

// Files 0 to 3 of a source, one character each, '-' for a missing file.
TEST_F(LogFiles, RotationShiftsTheFilesBelowTheFirstGapAndDropsTheOldest)
{
    filetable files{settings_};
    ASSERT_TRUE(::CreateDirectoryW(log_directory(logs_.path(), 7).c_str(), nullptr));
    // A full set dropping its oldest file and a short one shifting whole show in the writer's
    // rotations (RotationBlockedByAHeldFileIsRetriedWhileWritingGoesOn).
    const struct { const wchar_t* name; unsigned fileskept; const char* before; const char* after; } cases[] = {
        {L"Gap", 3, "a-cd", "-acd"}, {L"Single", 1, "ab--", "-b--"},
    };
    for (const auto& c : cases) {
        const auto key = make_sourcekey(7, v1234, c.name);
        for (unsigned n = 0; n < 4; ++n)
            if (c.before[n] != '-')
                std::ofstream(std::filesystem::path(path(key, n)), std::ios::binary) << c.before[n];
        ASSERT_TRUE(open_log_file(files, key));
        rotate_log_files(files, key, c.fileskept);
        std::string after;
        for (unsigned n = 0; n < 4; ++n)
            after += file_exists(path(key, n)) ? read_file_text(path(key, n)) : "-";
        EXPECT_EQ(after, c.after) << c.name;
    }
}

// Records of three sources, two of them sharing id 7, three in a row for each, under limits
// of 1 KiB that rotate every few lines of 200 to 800 bytes. Single records are a message
// object's records; batches hold the same content in their packed form.
TEST_F(RecordBatch, BatchesCutAnywhereWriteTheBytesAndRotationPointsOfSingleRecords)
{
    constexpr int records = 14;
    const sourcekeyref keys[3] = {app_, other_, make_sourcekey(8, v1234, L"Other")};
    settings_.set_limit(7, {1, 3});
    settings_.set_limit(8, {1, 2});
    // Record i: every kind of value, texts of varying length.
    const SYSTEMTIME time{2026, 12, 0, 6, 7, 8, 9, 10};
    const auto text = [](int i) { return std::wstring(i * 173 % 300 + 2, static_cast<wchar_t>(L'a' + i)) + L"\n"; };
    const auto posted = [&](int i) {
        auto r = std::make_unique<logrecord>(0x10u << i % 3);
        r->time = time;
        r->firstid = static_cast<std::uint32_t>(-i);
        r->line = i;
        r->function.reset(new wchar_t[2]{L'f'});
        r->arguments = {make_counted<const intargument<std::int64_t>>(-i, 10, 0),
                        make_counted<const intargument<std::uint32_t>>(i, 16, 8),
                        make_counted<const realargument<double>>(i / 3.0), make_counted<const textargument>("\x81"),
                        make_counted<const wtextargument>(text(i).c_str())};
        return std::make_unique<postedrecord>(postedrecord{keys[i / 3 % 3], std::move(r), &counters_});
    };
    const auto add = [&](recordbatch& batch, int i) {
        batch.add_record(keys[i / 3 % 3], counters_, 0x10u << i % 3, time, static_cast<std::uint32_t>(-i), 0, nullptr, i,
                         L"f");
        batch.add_signed(-i);
        batch.add_unsigned(i, 16, 8);
        batch.add_real(i / 3.0);
        batch.add_oem("\x81");
        batch.add_wide(text(i));
    };
    // The files written for every record, in two batches cut before record cut, or as single
    // records (between empty batches, which write nothing), in a directory of their own.
    int runs = 0;
    const auto written = [&](int cut, bool single) {
        const std::wstring directory = logs_.path() + L"\\run" + std::to_wstring(runs++);
        settings_.set_log_path(directory.c_str());
        {
            const writerthread writer(settings_);
            for (const auto& [first, last] : {std::pair{0, cut}, std::pair{cut, records}}) {
                auto batch = std::make_unique<recordbatch>();
                for (int i = first; i < last; ++i)
                    single ? writer.commit(posted(i)) : add(*batch, i);
                writer.commit(std::move(batch));
            }
        }
        std::map<std::wstring, std::vector<unsigned char>> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
            if (entry.is_regular_file())
                files[entry.path().wstring().substr(directory.size())] = read_file_bytes(entry.path().wstring());
        return files;
    };
    const auto single = written(0, true);
    ASSERT_EQ(single.size(), 5u);  // rotated files among them
    for (int cut = 0; cut < records; ++cut)
        EXPECT_EQ(written(cut, false), single) << "cut before record " << cut;
}

// A close is seen once the next record of a source whose file stays open (nine) is written.
TEST_F(WriterThread, CloseMessagesCloseTheNamedFilesOnly)
{
    const auto eight = make_sourcekey(8, v1234, L"App"), nine = make_sourcekey(9, v1234, L"App");
    for (const auto& key : {app_, other_, eight, nine})
        commit(key, L"first");
    ASSERT_TRUE(writer_->post(WM_LOGCLOSEID, 0, 7));
    commit(nine, L"second");
    ASSERT_TRUE(wait_until([&] { return texts(nine).size() == 2; }));
    EXPECT_FALSE(is_open(path(app_)));
    EXPECT_FALSE(is_open(path(other_)));
    EXPECT_TRUE(is_open(path(eight)));

    commit(app_, L"second");  // opened again
    ASSERT_TRUE(writer_->post(WM_LOGCLOSESOURCE, std::make_unique<closerequest>(eight)));
    // other_ has no entry: only the request is freed.
    ASSERT_TRUE(writer_->post(WM_LOGCLOSESOURCE, std::make_unique<closerequest>(other_)));
    commit(nine, L"third");
    ASSERT_TRUE(wait_until([&] { return texts(nine).size() == 3; }));
    EXPECT_FALSE(is_open(path(eight)));
    EXPECT_TRUE(is_open(path(app_)));
}

// An open file keeps its directory until every file is closed; a source whose id's directory
// cannot be made (a file stands in its place) loses its records until it can be, its next
// record trying again. (The log
// directory itself is made as it is needed, but not its parent: see RecordBatch and
// EveryCommittedRecordIsCountedWrittenOrDroppedByItsCause.)
TEST_F(WriterThread, RecordsGoWhereTheLogDirectoryIsOnceItCanBeUsed)
{
    const auto nine = make_sourcekey(9, v1234, L"App");
    const std::wstring moved = logs_.path() + L"\\moved", blocker = moved + L"\\CA9";
    const auto texts_in = [&](std::uint32_t id) { return log_texts(log_directory(moved, id) + L"App-1.2.3.4.TXT"); };
    commit(app_, L"old");
    ASSERT_TRUE(wait_until([&] { return texts(app_).size() == 1; }));  // the file stays open
    ASSERT_TRUE(settings_.set_log_path(moved.c_str()));
    commit(app_, L"old too");
    ASSERT_TRUE(writer_->post(WM_LOGCLOSESOURCE, 0, 0));
    ASSERT_TRUE(::CreateDirectoryW(moved.c_str(), nullptr));
    ASSERT_TRUE(std::ofstream(std::filesystem::path(blocker)));
    commit(nine, L"new");
    commit(app_, L"new");
    // Once app_'s record is there, nine's has found no file, and its entry stays without one.
    ASSERT_TRUE(wait_until([&] { return texts_in(7) == std::vector<std::wstring>{L"new"}; }));
    EXPECT_EQ(texts(app_), (std::vector<std::wstring>{L"old", L"old too"}));
    ASSERT_TRUE(::DeleteFileW(blocker.c_str()));
    commit(nine, L"retried");
    writer_.reset();
    EXPECT_EQ(texts_in(9), std::vector<std::wstring>{L"retried"});
}

// Held without FILE_SHARE_DELETE, file 1 can be neither renamed (3 files kept) nor deleted
// (2 kept): the current file grows until it is let go, and the next record rotates. A size or
// file count of 0 means no limit.
TEST_F(WriterThread, RotationBlockedByAHeldFileIsRetriedWhileWritingGoesOn)
{
    // Lines longer than 1 KiB: with a limit of 1 KiB every record after a file's first rotates.
    // The leading digits of the lines of files 0 to 2 afterwards, a '|' between files.
    const auto numbered = [&](const sourcekeyref& key, int first, int last) {
        for (int i = first; i <= last; ++i)
            commit(key, std::to_wstring(i) + std::wstring(600, L'.'));
        flush();
        std::wstring digits;
        for (unsigned file = 0; file < 3; ++file) {
            digits += file ? L"|" : L"";
            for (const std::wstring& text : texts(key, file))
                digits += text[0];
        }
        return digits;
    };
    const struct { std::uint32_t id; limitrecord limit; const wchar_t* before; const wchar_t* held; const wchar_t* after; }
        cases[] = {{7, {1, 3}, L"2|1|0", L"234|1|", L"5|234|1"}, {8, {1, 2}, L"2|1|", L"234|1|", L"5|234|"},
                   {9, {0, 3}, L"012||", nullptr, nullptr}, {10, {1, 0}, L"012||", nullptr, nullptr}};
    for (const auto& c : cases) {
        const auto key = make_sourcekey(c.id, v1234, L"App");
        settings_.set_limit(c.id, c.limit);
        EXPECT_EQ(numbered(key, 0, 2), c.before);
        if (!c.held)
            continue;
        uniquehandle reader(
            ::CreateFileW(path(key, 1).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_EQ(numbered(key, 3, 4), c.held);
        reader.reset();
        EXPECT_EQ(numbered(key, 5, 5), c.after);
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
        commit(app_, std::wstring(23, L't'));  // 48 code units of header, 23 of text and a CR LF
    writer_.reset();
    EXPECT_EQ(read_file_bytes(path(app_, 2)).size(), 1146u);
    EXPECT_EQ(read_file_bytes(path(app_, 1)).size(), 1024u);  // and file 0 the ninth line
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
    const auto commit_records = [&](int singles, int batched) {
        for (int i = 0; i < singles; ++i)
            commit(app_, L"");
        auto batch = std::make_unique<recordbatch>();
        for (int i = 0; i < batched; ++i)
            batch->add_record(app_, counters_, 0x10, SYSTEMTIME{}, 0, 0, nullptr, 0, nullptr);
        writer_->commit(std::move(batch));
    };
    commit_records(49, 1);
    flush(false);
    EXPECT_EQ(texts(app_).size(), 50u);
    EXPECT_FALSE(is_open(path(app_)));
    commit_records(1, 2);
    flush();  // a second suspension only answers
    commit_records(0, 1);
    flush();
    ASSERT_TRUE(settings_.set_log_path((logs_.path() + L"\\missing\\logs").c_str()));
    ASSERT_TRUE(writer_->post(WM_LOGCLOSESOURCE, 0, 0));
    commit_records(2, 2);
    const postcalls real = std::exchange(post_calls, {[](DWORD, UINT, WPARAM, LPARAM) { return FALSE; }, [](DWORD) {}});
    commit_records(1, 3);
    post_calls = real;
    flush();
    const countersnapshot c = read_counters(counters_);
    EXPECT_EQ(c.committed, 62u);
    EXPECT_EQ(c.written, 51u);
    EXPECT_EQ(c.bytes, read_file_bytes(path(app_)).size() - 2);  // one byte-order mark
    EXPECT_EQ(c.suspended, 3u);
    EXPECT_EQ(c.nofile, 4u);
    EXPECT_EQ(c.refused, 4u);
}

TEST_F(WriterThread, WrittenRecordsOfTheForwardedLevelsAreQueuedForForwardingUntilTheQueueIsFull)
{
    forwardqueue queue(3, 200);  // code units of lines
    writer_.emplace(settings_, &queue);
    commit(app_, L"off");
    flush();
    queue.set_levels(0x10);
    auto batch = std::make_unique<recordbatch>();
    batch->add_record(app_, counters_, 0x10, SYSTEMTIME{2026, 12, 0, 6, 7, 8, 9, 10}, 1, 2, L"f.c", 3, L"fn");
    batch->add_wide(L"batched");
    batch->add_record(app_, counters_, 0x20, SYSTEMTIME{}, 0, 0, nullptr, 0, nullptr);
    writer_->commit(std::move(batch));
    commit(app_, L"posted");
    commit(app_, std::wstring(100, L'l'));  // beyond the units left
    commit(app_, L"third");
    commit(app_, L"full");
    flush();
    writer_.reset();
    forwardrecords taken;
    queue.take_all(taken);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0]->text, L"2026/12/06|07:08:09.010|INF|1/2|f.c,3|fn|batched\r\n");
    EXPECT_EQ(taken[0]->file, L"f.c");
    EXPECT_EQ(taken[0]->function, L"fn");
    EXPECT_EQ(taken[0]->key.get(), app_.get());
    EXPECT_EQ(taken[0]->counters, &counters_);
    EXPECT_FALSE(taken[1]->file);
    EXPECT_TRUE(taken[1]->text.ends_with(L"|posted\r\n"));
    EXPECT_TRUE(taken[2]->text.ends_with(L"|third\r\n"));
    EXPECT_EQ(read_counters(counters_).forwardfull, 2u);
    EXPECT_EQ(read_counters(counters_).written, 7u);
}

} // namespace
} // namespace kvt::test
