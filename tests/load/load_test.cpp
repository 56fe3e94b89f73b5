// Four client processes of four threads log to a mix of sources while the administrator
// changes levels, limits and the log directory and suspends writing; afterwards the files
// alone must show every record committed outside a suspension exactly once, whole and in
// its thread's order, in file sets that obey the limits. And a stop writes any backlog.

#include "load/load_plan.h"
#include "load/running_server.h"
#include "processes.h"

#include <functional>
#include <regex>
#include <vector>

namespace kvt::test::load {

namespace {

constexpr DWORD files_kept = 255;  // so that no rotation deletes a record the check looks for
constexpr DWORD large_kib = 24;
constexpr DWORD small_kib = 3;
constexpr DWORD ids[] = {0, 1, 2};

// Reads the files of a run, log directory after log directory in the order they were in
// force, and lists every fault it finds.
class checker {
public:
    explicit checker(const sharedblock& block) : block_(block)
    {
        std::fill(&last_seq_[0][0][0], &last_seq_[0][0][0] + std::size(last_seq_) * clients * threads, -1);
    }

    // Each source's files, oldest first: -k down to -1, then the current file. Every number
    // from 1 to k must be there; the current file may be missing when the log directory
    // changed between a rotation and the reopening that follows it.
    void read_directory(const std::wstring& logs)
    {
        for (unsigned s = 0; s < source_count; ++s) {
            const auto path = [&](unsigned k) { return log_file_path(logs, sources[s].id, sources[s].name, sources[s].version, k); };
            unsigned highest = 0, count = 0;
            for (unsigned k = 1; k <= files_kept; ++k)
                if (file_exists(path(k)))
                    highest = k, ++count;
            if (count != highest || highest >= files_kept)
                faults.push_back(L"gaps or too many files in the file set of " + path(0));
            for (unsigned k = highest; k > 0; --k)
                read_file(path(k), s, true);
            read_file(path(0), s, false);
        }
    }

    // A file may pass its limit by the one line written before the check; a rotated file had
    // reached the limit in force when it was rotated.
    void check_sizes_and_outcomes()
    {
        for (const auto& [path, bytes, rotated] : sizes_)
            if (bytes > large_kib * 1024 + longest_line_ + 2 || (rotated && bytes < small_kib * 1024))
                faults.push_back(path + L" holds " + std::to_wstring(bytes) + L" bytes");
        for (unsigned c = 0; c < clients; ++c)
            for (unsigned t = 0; t < threads; ++t)
                for (unsigned seq = 0; seq < records; ++seq) {
                    const unsigned seen = seen_[c][t][seq];
                    const outcome o = block_.outcomes[c][t][seq];
                    required += o == outcome::required;
                    optional += o == outcome::optional;
                    optional_written += o == outcome::optional && seen == 1;
                    if (o == outcome::required ? seen != 1 : o == outcome::optional ? seen > 1 : seen != 0)
                        faults.push_back(record_name(c, t, seq) + L" (outcome " + std::to_wstring(static_cast<int>(o)) +
                                         L") found " + std::to_wstring(seen) + L" times");
                }
    }

    std::vector<std::wstring> faults;  // one text per fault found
    unsigned required = 0, optional = 0, optional_written = 0;

private:
    static std::wstring record_name(unsigned c, unsigned t, unsigned seq)
    {
        return L"record " + std::to_wstring(seq) + L" of client " + std::to_wstring(c) + L" thread " + std::to_wstring(t);
    }

    void read_file(const std::wstring& path, unsigned s, bool rotated)
    {
        if (!rotated && !file_exists(path))
            return;
        sizes_.push_back({path, read_file_bytes(path).size(), rotated});
        for (const std::wstring& line : read_log_lines(path)) {
            longest_line_ = std::max(longest_line_, 2 * (line.size() + 2));
            if (!check_line(line, s))
                faults.push_back(L"garbled line in " + path + L": " + line.substr(0, 200));
        }
    }

    bool check_line(const std::wstring& line, unsigned s)
    {
        static const std::wregex form(LR"(\d{4}/\d\d/\d\d\|\d\d:\d\d:\d\d\.\d{3}\|([A-Z,]*)\|(\d{1,4})/(\d{1,2})\|(.*))");
        std::wsmatch m;
        if (!std::regex_match(line, m, form))
            return false;
        const unsigned first = std::stoul(m[2]), c = first >> 8, t = first & 0xFF, seq = std::stoul(m[3]);
        if (c >= clients || t >= threads || seq >= records)
            return false;
        const recordplan p = plan(c, t, seq);
        if (p.source != s || m[1] != p.levels ||
            m[4] != L"client.cpp," + std::to_wstring(seq) + L"|log_thread|" + p.head + std::wstring(p.tail.begin(), p.tail.end()))
            return false;
        ++seen_[c][t][seq];
        int& last = last_seq_[s][c][t];
        if (static_cast<int>(seq) <= last)
            faults.push_back(L"out of thread order: " + record_name(c, t, seq) + L" after " + std::to_wstring(last));
        last = static_cast<int>(seq);
        return true;
    }

    struct sizedfile {
        std::wstring path;
        size_t bytes;
        bool rotated;
    };
    const sharedblock& block_;
    std::vector<sizedfile> sizes_;
    size_t longest_line_ = 0;
    unsigned char seen_[clients][threads][records] = {};
    int last_seq_[source_count][clients][threads];
};

class LoadTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(next_directory(), S_OK);
        ASSERT_EQ(set_limits(large_kib), S_OK);
        for (DWORD id : ids)
            ASSERT_EQ(control_->SetLevel(id, 0x7F), S_OK);
    }

    // Writing is suspended between the two epoch changes.
    HRESULT suspend_window()
    {
        ++block_->epoch;
        const HRESULT suspended = control_->Suspend(TRUE);
        ::Sleep(20);
        const HRESULT resumed = control_->Suspend(FALSE);
        ++block_->epoch;
        return FAILED(suspended) ? suspended : resumed;
    }

    HRESULT next_directory()
    {
        directories_.push_back(logs_.path() + L"\\logs" + std::to_wstring(directories_.size()));
        return control_->SetLogPath(directories_.back().c_str());
    }

    HRESULT set_limits(DWORD kib)
    {
        for (DWORD id : ids)
            if (const HRESULT hr = service_->SetLimit(id, kib, files_kept); FAILED(hr))
                return hr;
        return service_->SetDefaultLimit(kib, files_kept);
    }

    // What the administrator does, in turn, while the clients log: levels switched off and on
    // (a mask without level bits closes the id's files), limits shrunk (closing the files,
    // whose next record then rotates them) and grown again, new log directories, suspensions.
    std::vector<std::function<HRESULT()>> administration()
    {
        return {
            [&] { return service_->SetLimit(1, small_kib, files_kept); }, [&] { return control_->SetLevel(2, 0); },
            [&] { return suspend_window(); },                             [&] { return control_->SetLevel(1, 0x0F); },
            [&] { return next_directory(); },                             [&] { return control_->SetLevel(2, 0x7F); },
            [&] { return set_limits(small_kib); },                        [&] { return service_->SetLimit(1, large_kib, files_kept); },
            [&] { return control_->SetLevel(1, 0x7F); },                  [&] { return suspend_window(); },
            [&] { return set_limits(large_kib); },                        [&] { return control_->SetLevel(0, 0x80); },
            [&] { return control_->SetLevel(0, 0x7F); },
        };
    }

    const std::wstring block_name_ = L"kvtlog-load-" + std::to_wstring(::GetCurrentProcessId());
    const blockview block_{block_name_, true};
    std::vector<std::wstring> directories_;
};

TEST_F(LoadTest, EveryRecordCommittedOutsideASuspensionIsWrittenOnceWholeAndInOrder)
{
    ASSERT_TRUE(block_);
    std::vector<uniquehandle> processes;
    std::vector<HANDLE> handles;
    for (unsigned c = 0; c < clients; ++c) {
        processes.push_back(start_self(load_client_switch, std::to_wstring(c) + L" " + block_name_));
        ASSERT_TRUE(processes.back()) << "client " << c << " did not start";
        handles.push_back(processes.back().get());
    }
    const auto steps = administration();
    size_t step = 0;
    const ULONGLONG start = ::GetTickCount64();
    for (; ::WaitForMultipleObjects(clients, handles.data(), TRUE, 30) == WAIT_TIMEOUT && ::GetTickCount64() - start < 90000; ++step)
        EXPECT_EQ(steps[step % steps.size()](), S_OK) << "administration step " << step % steps.size();
    for (unsigned c = 0; c < clients; ++c) {
        EXPECT_EQ(exit_code(processes[c]), 0u) << "client " << c;
        ::TerminateProcess(processes[c].get(), 1);  // one still running would keep the server up
    }
    EXPECT_EQ(block_->failures.load(), 0) << "last unexpected HRESULT 0x" << std::hex << block_->last_failure.load();
    std::printf("%zu administration steps, %zu log directories\n", step, directories_.size());

    // The writer finishes its queue before the process ends, so the files are complete then.
    ASSERT_EQ(stop_server(), 0u);
    checker check(*block_);
    for (const std::wstring& directory : directories_)
        check.read_directory(directory);
    check.check_sizes_and_outcomes();
    std::printf("%u records required, %u committed around a suspension (%u of them written)\n", check.required,
                check.optional, check.optional_written);
    for (size_t i = 0; i < check.faults.size() && i < 20; ++i)
        ADD_FAILURE() << check.faults[i];
    EXPECT_TRUE(check.faults.empty()) << check.faults.size() << " faults";
    EXPECT_GT(check.required, 0u);
    EXPECT_GT(check.optional, check.optional_written) << "no suspension dropped a record: the windows were empty";
}

// A writer kept busy by rotations: every record is larger than the 1 KiB limit, so each one
// shifts a file set of dozens of older files, which takes the writer far longer than the
// client needs to commit the record.
class StopTest : public ServerTest {};

TEST_F(StopTest, StopWritesEveryRecordCommittedBeforeIt)
{
    constexpr DWORD id = 5, version[4] = {1, 0, 0, 0};
    constexpr int older_files = 30, count = 40;
    const auto path = [&](unsigned k) { return log_file_path(logs_.path(), id, L"backlog", version, k); };
    const auto numbers_in = [&](unsigned k) {
        std::vector<int> numbers;
        for (const std::wstring& line : read_log_lines(path(k))) {
            const size_t at = line.find(L"|backlog ");
            numbers.push_back(at == std::wstring::npos ? -1 : std::stoi(line.substr(at + 9)));
        }
        return numbers;
    };
    ASSERT_TRUE(::CreateDirectoryW(id_directory(logs_.path(), id).c_str(), nullptr));
    for (int k = 1; k <= older_files; ++k)
        ASSERT_TRUE(uniquehandle(::CreateFileW(path(k).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    ASSERT_EQ(service_->SetLimit(id, 1, files_kept), S_OK);
    ComPtr<ILogSource> source = create_source(id, L"backlog", version);
    ASSERT_TRUE(source);
    for (int n = 0; n < count; ++n) {
        ComPtr<ILogMessage> message;
        ASSERT_EQ(source->CreateMessage(0x10, IID_ILogMessage, &message), S_OK);
        ASSERT_EQ(message->AddWString((L"backlog " + std::to_wstring(n) + L" ").c_str()), S_OK);
        ASSERT_EQ(message->AddString(std::string(600, 'x').c_str()), S_OK);
    }
    // The newest record on disk: the last line of the current file, missing only for the
    // moment of a rotation.
    std::vector<int> at_stop;
    for (int attempt = 0; attempt < 100 && at_stop.empty(); ++attempt, ::Sleep(1))
        at_stop = numbers_in(0);
    const int newest_at_stop = at_stop.empty() ? -1 : at_stop.back();
    source.Reset();
    ASSERT_EQ(stop_server(), 0u);

    ASSERT_LT(newest_at_stop + 10, count) << "no backlog formed: the check would prove nothing";
    std::vector<int> written, expected;
    for (unsigned k = count; k-- > 0;)
        for (int n : numbers_in(k))
            written.push_back(n);
    for (int n = 0; n < count; ++n)
        expected.push_back(n);
    EXPECT_EQ(written, expected) << newest_at_stop + 1 << " records were on disk when the server was released";
}

} // namespace

} // namespace kvt::test::load
