#include "load/client_roles.h"
#include "load/load_check.h"
#include "load/load_plan.h"
#include "load/log_paths.h"
#include "load/running_server.h"
#include "support/temp_directory.h"

#include <functional>
#include <vector>

namespace kvt::test::load {

namespace {

constexpr DWORD files_kept = 255;  // so that no rotation deletes a record the check looks for
constexpr DWORD large_kib = 24;
constexpr DWORD small_kib = 3;
constexpr DWORD ids[] = {0, 1, 2};

class LoadTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(next_directory(), S_OK);
        for (DWORD id : ids) {
            ASSERT_EQ(service_->SetLimit(id, large_kib, files_kept), S_OK);
            ASSERT_EQ(control_->SetLevel(id, 0x7F), S_OK);
        }
        ASSERT_EQ(service_->SetDefaultLimit(large_kib, files_kept), S_OK);
    }

    // Starts the four client processes; they log as soon as they run.
    std::vector<unique_handle> start_clients()
    {
        std::vector<unique_handle> processes;
        for (unsigned c = 0; c < clients; ++c) {
            processes.push_back(start_self(load_client_switch, std::to_wstring(c) + L" " + block_name_));
            EXPECT_TRUE(processes.back()) << "client " << c << " did not start";
        }
        return processes;
    }

    // Writing is suspended between the two epoch changes: a commit that saw the same even
    // epoch before and after its Release lay wholly outside the window.
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
        directories_.push_back(log_directory_ + L"\\logs" + std::to_wstring(directories_.size()));
        return control_->SetLogPath(directories_.back().c_str());
    }

    HRESULT set_limits(DWORD kib)
    {
        for (DWORD id : ids) {
            if (const HRESULT hr = service_->SetLimit(id, kib, files_kept); FAILED(hr))
                return hr;
        }
        return service_->SetDefaultLimit(kib, files_kept);
    }

    // What the administrator does, in turn, while the clients log: levels switched off and on
    // (a mask without level bits closes the id's files), limits shrunk (closing the files,
    // whose next record then rotates them) and grown again, new log directories, suspensions.
    std::vector<std::function<HRESULT()>> administration()
    {
        return {
            [&] { return service_->SetLimit(1, small_kib, files_kept); },
            [&] { return control_->SetLevel(2, 0); },
            [&] { return suspend_window(); },
            [&] { return control_->SetLevel(1, 0x0F); },
            [&] { return next_directory(); },
            [&] { return control_->SetLevel(2, 0x7F); },
            [&] { return set_limits(small_kib); },
            [&] { return service_->SetLimit(1, large_kib, files_kept); },
            [&] { return control_->SetLevel(1, 0x7F); },
            [&] { return suspend_window(); },
            [&] { return set_limits(large_kib); },
            [&] { return control_->SetLevel(0, 0x80); },
            [&] { return control_->SetLevel(0, 0x7F); },
        };
    }

    const std::wstring block_name_ = L"kvtlog-load-" + std::to_wstring(::GetCurrentProcessId());
    const block_view block_{block_name_, block_view::create};
    std::vector<std::wstring> directories_;
};

TEST_F(LoadTest, EveryRecordCommittedOutsideASuspensionIsWrittenOnceWholeAndInOrder)
{
    ASSERT_TRUE(block_);
    const std::vector<unique_handle> processes = start_clients();
    std::vector<HANDLE> handles;
    for (const unique_handle& p : processes)
        handles.push_back(p.get());
    const auto steps = administration();
    size_t step = 0;
    const ULONGLONG start = ::GetTickCount64();
    while (::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, 30) == WAIT_TIMEOUT &&
           ::GetTickCount64() - start < 90000) {
        EXPECT_EQ(steps[step % steps.size()](), S_OK) << "administration step " << step % steps.size();
        ++step;
    }
    for (size_t c = 0; c < processes.size(); ++c) {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(processes[c].get(), &code);
        EXPECT_EQ(code, 0u) << "client " << c;
        if (code == STILL_ACTIVE)
            ::TerminateProcess(processes[c].get(), 1);  // or the server would wait for it
    }
    EXPECT_EQ(block_->failures.load(), 0) << "last unexpected HRESULT 0x" << std::hex << block_->last_failure.load();
    std::printf("%zu administration steps, %zu log directories, %llu ms\n", step, directories_.size(),
                ::GetTickCount64() - start);

    // The writer finishes its queue before the process ends, so the files are complete then.
    ASSERT_EQ(stop_server(), 0u);
    const load_verdict verdict = check_load(*block_, directories_, {small_kib, large_kib});
    std::printf("%u records required, %u committed around a suspension (%u of them written)\n", verdict.required,
                verdict.optional, verdict.optional_written);
    for (size_t i = 0; i < verdict.faults.size() && i < 20; ++i)
        ADD_FAILURE() << verdict.faults[i];
    EXPECT_TRUE(verdict.faults.empty()) << verdict.faults.size() << " faults";
    EXPECT_GT(verdict.required, 0u);
    EXPECT_GT(verdict.optional, verdict.optional_written) << "no suspension dropped a record: the windows were empty";
}

// A writer kept busy by rotations: every record is larger than the limit, so each one
// rotates a file set of dozens of older files, which takes the writer far longer than the
// client needs to commit the record. 40 records stay far below the 10,000 posted messages a
// Windows thread queue holds, so no post fails on Windows either (Wine has no such quota).
class StopTest : public ServerTest {
protected:
    static constexpr DWORD id = 5;
    static constexpr DWORD version[4] = {1, 0, 0, 0};
    static constexpr unsigned older_files = 30;
    static constexpr unsigned count = 40;

    std::wstring path(unsigned index) const { return log_file_path(log_directory_, id, L"backlog", version, index); }

    // Files -1 to -older_files, so that every rotation shifts them all.
    void make_older_files()
    {
        ASSERT_TRUE(::CreateDirectoryW(id_directory(log_directory_, id).c_str(), nullptr));
        for (unsigned k = 1; k <= older_files; ++k) {
            const unique_file file(::CreateFileW(path(k).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
            ASSERT_TRUE(file);
        }
    }

    // The record numbers in the lines of one file.
    std::vector<int> numbers_in(unsigned index) const
    {
        std::vector<int> numbers;
        for (const std::wstring& line : read_log_lines(path(index))) {
            const size_t at = line.find(L"|backlog ");
            numbers.push_back(at == std::wstring::npos ? -1 : std::stoi(line.substr(at + 9)));
        }
        return numbers;
    }

    // The newest record on disk: the last line of the current file, which exists except for
    // the moment of a rotation.
    int newest_written() const
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::vector<int> numbers = numbers_in(0);
            if (!numbers.empty())
                return numbers.back();
            ::Sleep(1);
        }
        return -1;
    }
};

TEST_F(StopTest, StopWritesEveryRecordCommittedBeforeIt)
{
    make_older_files();
    ASSERT_EQ(service_->SetLimit(id, 1, files_kept), S_OK);
    ComPtr<ILogSource> source = create_source(id, L"backlog", version);
    ASSERT_TRUE(source);
    const std::string filler(600, 'x');
    for (unsigned n = 0; n < count; ++n) {
        ComPtr<ILogMessage> message;
        ASSERT_EQ(source->CreateMessage(0x10, IID_ILogMessage, reinterpret_cast<void**>(message.GetAddressOf())), S_OK);
        ASSERT_EQ(message->AddWString((L"backlog " + std::to_wstring(n) + L" ").c_str()), S_OK);
        ASSERT_EQ(message->AddString(filler.c_str()), S_OK);
    }
    const int newest_at_stop = newest_written();
    source.Reset();
    ASSERT_EQ(stop_server(), 0u);

    ASSERT_LT(newest_at_stop + 10, static_cast<int>(count)) << "no backlog formed: the check would prove nothing";
    std::vector<int> written;
    for (unsigned k = count - 1; k > 0; --k) {
        for (int n : numbers_in(k))
            written.push_back(n);
    }
    for (int n : numbers_in(0))
        written.push_back(n);
    std::vector<int> expected(count);
    for (unsigned n = 0; n < count; ++n)
        expected[n] = static_cast<int>(n);
    EXPECT_EQ(written, expected) << newest_at_stop + 1 << " records were on disk when the server was released";
}

} // namespace

} // namespace kvt::test::load
