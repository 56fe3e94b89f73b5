// Four client processes of four threads log to a mix of sources while the administrator
// switches levels off and on, shrinks and grows limits and moves the log directory;
// afterwards the files alone must show every record a client made exactly once, whole and in
// its thread's order, in file sets that obey the limits. And a stop writes any backlog.
//
// Every record is fully determined by (client, thread, sequence number): its source, level
// and text come from a hash of the three, so the checker rebuilds the expected line from the
// ids the line carries. Only which records were made (a level switched off refuses them)
// comes back from the clients, each in a result file of its own.
//
// Before the load, a client is killed while it holds a source the load clients use, one of
// its own, and half-built messages. The server cannot tell that a client has died; only
// COM's distributed garbage collection releases the references the client held. On Windows
// that happens once the client has missed its pings, minutes later: each half-built message
// then gets its last Release, which commits it, its sources are released, and the server
// stops as usual when nothing else holds it. Wine (8.0) has no such collection: the
// references stay, nothing half-built is written, and the server runs until it is ended by
// hand. The test checks what holds on both within its seconds: the others are served,
// nothing half-built is written, and the server stays up after every live client has let
// go. It then ends the server itself, so it runs as its own ctest entry, which restarts the
// Wine session after it (a killed COM server leaves a stale class registration behind).
//
// This program is also the client program of these tests: started with a role's switch, it
// plays that role instead of running tests.

#include "support/log_checks.h"
#include "support/processes.h"
#include "support/server_fixture.h"
#include "writer/log_files.h"

#include <kvtlog/client.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <regex>
#include <thread>
#include <vector>

namespace kvt::test {
namespace {

// 4 x 4 x 80 records: well below the 10,000 posted messages a Windows thread queue holds,
// so even a writer far behind never makes a post fail.
constexpr unsigned clients = 4, threads = 4, records = 80;
constexpr DWORD files_kept = 255;  // so that no rotation deletes a record the check looks for
constexpr DWORD large_kib = 24, small_kib = 3;
constexpr DWORD ids[] = {0, 1, 2};

struct sourcespec { DWORD id; DWORD version[4]; const wchar_t* name; };

// Two names under one id, one name in two versions, source id 0 (directory GE) and the
// default source id used as an ordinary one; and the killed client's own source.
constexpr sourcespec sources[] = {
    {1, {1, 0, 0, 0}, L"alpha"}, {1, {1, 0, 0, 0}, L"beta"},  {2, {2, 1, 0, 7}, L"gamma"},
    {2, {2, 2, 0, 0}, L"gamma"}, {0, {0, 0, 0, 1}, L"delta"}, {0xFFFFFFFF, {3, 0, 0, 0}, L"omega"},
};
constexpr unsigned source_count = std::size(sources);
constexpr sourcespec victim_source{1, {1, 0, 0, 0}, L"victim"};

// File number k of the source's set under the log directory.
std::wstring log_file(const std::wstring& logs, const sourcespec& s, unsigned k)
{
    const std::uint32_t version[4] = {s.version[0], s.version[1], s.version[2], s.version[3]};
    return log_directory(logs, s.id) + log_file_name(*make_sourcekey(s.id, version, s.name), k).value();
}

ComPtr<ILogSource> create_source(ILogService& service, const sourcespec& s)
{
    ComPtr<ILogSource> source;
    return SUCCEEDED(service.CreateSource(s.id, s.name, s.version, IID_PPV_ARGS(&source))) ? source : nullptr;
}

// The record's source, its levels (mask and text: DEBUG with ERROR must name both), and the
// wide and narrow texts it appends, 0 to 120 letters behind the wide one. It is logged with
// SetIds(client << 8 | thread, seq) and SetLocation("C:\load\client.cpp", seq, "log_thread").
struct recordplan {
    unsigned source;
    DWORD level;
    const wchar_t* levels;
    std::wstring head;
    std::string tail;
};

recordplan plan(unsigned client, unsigned thread, unsigned seq)
{
    std::uint64_t h = (std::uint64_t{client} << 40 | std::uint64_t{thread} << 32 | seq) + 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
    h ^= h >> 31;
    constexpr struct { DWORD mask; const wchar_t* text; } levels[] = {
        {0x02, L"ERR"}, {0x04, L"WRN"}, {0x10, L"INF"}, {0x20, L"DBG"}, {0x22, L"ERR,DBG"}};
    const auto& level = levels[(h >> 8) % std::size(levels)];
    recordplan p{static_cast<unsigned>(h % source_count), level.mask, level.text,
                 L"c" + std::to_wstring(client) + L"t" + std::to_wstring(thread) + L"s" + std::to_wstring(seq) + L":", {}};
    for (unsigned i = 0, length = (h >> 16) % 121; i < length; ++i)
        p.tail += static_cast<char>('a' + (h >> (i % 48) ^ i) % 26);
    return p;
}

// One client thread. Most records go through sources the thread keeps; every seventh through
// a source made for it and let go right after, so sources end and files close while others
// write. A call that answers anything but S_OK (or S_FALSE for a level that is off) is
// remembered in failure.
void log_thread(ILogService& service, unsigned client, unsigned thread, bool (&made)[records], std::atomic<long>& failure)
{
    const kvtlog::apartment apartment;
    ComPtr<ILogSource> kept[source_count];
    for (unsigned seq = 0; seq < records; ++seq) {
        const recordplan p = plan(client, thread, seq);
        if (!kept[p.source])
            kept[p.source] = create_source(service, sources[p.source]);
        const ComPtr<ILogSource> source = seq % 7 == 0 ? create_source(service, sources[p.source]) : kept[p.source];
        ComPtr<ILogMessage> message;
        const HRESULT hr = source ? source->CreateMessage(p.level, IID_PPV_ARGS(&message)) : E_POINTER;
        for (const HRESULT result : {hr == S_FALSE ? S_OK : hr, message ? message->SetIds(client << 8 | thread, seq) : S_OK,
                                     message ? message->SetLocation("C:\\load\\client.cpp", seq, "log_thread") : S_OK,
                                     message ? message->AddWString(p.head.c_str()) : S_OK,
                                     message ? message->AddString(p.tail.c_str()) : S_OK})
            if (result != S_OK)
                failure = result;
        made[seq] = message != nullptr;
    }
}

// A load client process: four threads logging through one activation of the service. Which
// records were made goes to the result file; the exit code is 0, or the last HRESULT that
// was not as expected, or 2 when there is no result.
int run_load_client(unsigned client, const wchar_t* result_file)
{
    const kvtlog::apartment apartment;
    ComPtr<ILogService> service;
    if (client >= clients || FAILED(activate_service(service)))
        return 2;
    bool made[threads][records] = {};
    std::atomic<long> failure{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&, t] { log_thread(*service.Get(), client, t, made[t], failure); });
    for (std::thread& w : workers)
        w.join();
    const uniquehandle file(::CreateFileW(result_file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return ::WriteFile(file.get(), made, sizeof made, &written, nullptr) && written == sizeof made ? failure.load() : 2;
}

// The victim: the source it shares with the load clients and one of its own, half-built
// messages on both, the one on its own source after it has let go of the source's pointer.
// It sets the ready event once it holds them, and waits to be killed.
int run_victim(const wchar_t* ready_event)
{
    const kvtlog::apartment apartment;
    ComPtr<ILogService> service;
    ComPtr<ILogSource> shared, own;
    ComPtr<ILogMessage> messages[3];
    if (FAILED(activate_service(service)) || !(shared = create_source(*service.Get(), sources[0])) ||
        !(own = create_source(*service.Get(), victim_source)))
        return 4;
    for (int i = 0; i < 3; ++i)
        if (FAILED((i % 2 ? own : shared)->CreateMessage(0x02, IID_PPV_ARGS(&messages[i]))) ||
            FAILED(messages[i]->AddWString(L"half-built")))
            return 5;
    own.Reset();
    const uniquehandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready_event));
    return ready && ::SetEvent(ready.get()) ? ::Sleep(INFINITE), 0 : 6;
}

// Reads the clients' results and the files of a run, log directory after log directory in
// the order they were in force, and lists every fault it finds.
class checker {
public:
    void read_results(unsigned client, const std::wstring& path)
    {
        const std::vector<unsigned char> bytes = read_file_bytes(path);
        if (bytes.size() != sizeof made_[client])
            faults.push_back(L"no result from client " + std::to_wstring(client));
        std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof made_[client]), &made_[client][0][0]);
    }

    // Each source's files, oldest first: -k down to -1, then the current file. Every number
    // from 1 to k must be there; the current file may be missing when the log directory
    // changed between a rotation and the reopening that follows it. A file may pass its
    // limit by the one line written before the check (no line takes 512 bytes); a rotated
    // file had reached the limit in force when it was rotated.
    void read_directory(const std::wstring& logs)
    {
        for (unsigned s = 0; s < source_count; ++s) {
            unsigned highest = 0, count = 0;
            for (unsigned k = 1; k <= files_kept; ++k)
                if (file_exists(log_file(logs, sources[s], k)))
                    highest = k, ++count;
            if (count != highest || highest >= files_kept)
                faults.push_back(L"gaps or too many files in the file set of " + log_file(logs, sources[s], 0));
            for (unsigned k = highest + 1; k-- > 0;) {
                const std::wstring path = log_file(logs, sources[s], k);
                const std::size_t bytes = read_file_bytes(path).size();
                if (bytes > large_kib * 1024 + 512 || (k > 0 && bytes < small_kib * 1024))
                    faults.push_back(path + L" holds " + std::to_wstring(bytes) + L" bytes");
                for (const std::wstring& line : read_log_lines(path))
                    if (!check_line(line, s))
                        faults.push_back(L"garbled line in " + path + L": " + line.substr(0, 200));
            }
        }
    }

    // Every record made is found once, every record refused never.
    void check_outcomes()
    {
        for (unsigned c = 0; c < clients; ++c)
            for (unsigned t = 0; t < threads; ++t)
                for (unsigned seq = 0; seq < records; ++seq)
                    if (made += made_[c][t][seq]; seen_[c][t][seq] != made_[c][t][seq])
                        faults.push_back(record_name(c, t, seq) + (made_[c][t][seq] ? L" (made)" : L" (refused)") +
                                         L" found " + std::to_wstring(seen_[c][t][seq]) + L" times");
    }

    std::vector<std::wstring> faults;  // one text per fault found
    unsigned made = 0;

private:
    static std::wstring record_name(unsigned c, unsigned t, unsigned seq)
    {
        return L"record " + std::to_wstring(seq) + L" of client " + std::to_wstring(c) + L" thread " + std::to_wstring(t);
    }

    // The line must be the one its ids plan, in the planned source's files, after the
    // thread's earlier records there.
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
        if (seq < next_seq_[s][c][t])
            faults.push_back(L"out of thread order: " + record_name(c, t, seq));
        next_seq_[s][c][t] = seq + 1;
        return true;
    }

    unsigned char made_[clients][threads][records] = {};
    unsigned char seen_[clients][threads][records] = {};
    unsigned next_seq_[source_count][clients][threads] = {};
};

using LoadTest = heldservice;

TEST_F(LoadTest, EveryRecordMadeIsWrittenOnceWholeAndInOrderWhileAKilledClientKeepsTheServerUp)
{
    std::vector<std::wstring> directories;
    const auto next_directory = [&] {
        directories.push_back(logs_.path() + L"\\logs" + std::to_wstring(directories.size()));
        return control_->SetLogPath(directories.back().c_str());
    };
    const auto set_limits = [&](DWORD kib) {
        for (DWORD id : ids)
            if (const HRESULT hr = service_->SetLimit(id, kib, files_kept); FAILED(hr))
                return hr;
        return service_->SetDefaultLimit(kib, files_kept);
    };
    // What the administrator does, in turn, while the clients log: levels switched off and on
    // (a mask without level bits closes the id's files), limits shrunk (closing the files,
    // whose next record then rotates them) and grown again, new log directories.
    const std::function<HRESULT()> steps[] = {
        [&] { return service_->SetLimit(1, small_kib, files_kept); }, [&] { return control_->SetLevel(2, 0); },
        [&] { return control_->SetLevel(1, 0x0F); },                  next_directory,
        [&] { return control_->SetLevel(2, 0x7F); },                  [&] { return set_limits(small_kib); },
        [&] { return service_->SetLimit(1, large_kib, files_kept); }, [&] { return control_->SetLevel(1, 0x7F); },
        [&] { return set_limits(large_kib); },                        [&] { return control_->SetLevel(0, 0x80); },
        [&] { return control_->SetLevel(0, 0x7F); },
    };
    ASSERT_EQ(next_directory(), S_OK);
    ASSERT_EQ(set_limits(large_kib), S_OK);
    for (DWORD id : ids)
        ASSERT_EQ(control_->SetLevel(id, 0x7F), S_OK);

    const std::wstring ready_name = L"kvtlog-victim-" + std::to_wstring(::GetCurrentProcessId());
    const uniquehandle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
    const uniquehandle victim = start_process(this_program(), L"--victim " + ready_name);
    const HANDLE both[] = {ready.get(), victim.get()};
    ASSERT_EQ(::WaitForMultipleObjects(2, both, FALSE, 30000), WAIT_OBJECT_0) << "the victim did not get ready";
    ASSERT_TRUE(::TerminateProcess(victim.get(), 9));
    ASSERT_EQ(::WaitForSingleObject(victim.get(), 10000), WAIT_OBJECT_0);

    const auto result_file = [&](unsigned client) { return logs_.path() + L"\\made" + std::to_wstring(client); };
    std::vector<uniquehandle> processes;
    std::vector<HANDLE> handles;
    for (unsigned c = 0; c < clients; ++c) {
        processes.push_back(start_process(this_program(), L"--load-client " + std::to_wstring(c) + L" " + result_file(c)));
        ASSERT_TRUE(processes.back()) << "client " << c << " did not start";
        handles.push_back(processes.back().get());
    }
    size_t step = 0;
    const ULONGLONG start = ::GetTickCount64();
    for (; ::WaitForMultipleObjects(clients, handles.data(), TRUE, 30) == WAIT_TIMEOUT && ::GetTickCount64() - start < 90000; ++step)
        EXPECT_EQ(steps[step % std::size(steps)](), S_OK) << "administration step " << step % std::size(steps);
    for (unsigned c = 0; c < clients; ++c) {
        EXPECT_EQ(exit_code(handles[c]), 0u) << "client " << c << ", an HRESULT or 2 for no result";
        ::TerminateProcess(handles[c], 1);  // one still running would keep the server up
    }

    // Once Suspend has returned, everything posted before is in the files.
    wait_for_writer(control_.Get());
    EXPECT_EQ(stop_server(2000), STILL_ACTIVE) << "the server stopped although the dead client's references remain";
    ::TerminateProcess(server_.get(), 1);
    ::WaitForSingleObject(server_.get(), 10000);
    server_.reset();
    checker check;
    for (unsigned c = 0; c < clients; ++c)
        check.read_results(c, result_file(c));
    for (const std::wstring& directory : directories)
        check.read_directory(directory);
    check.check_outcomes();
    for (size_t i = 0; i < check.faults.size() && i < 20; ++i)
        ADD_FAILURE() << check.faults[i];
    EXPECT_TRUE(check.faults.empty()) << check.faults.size() << " faults";
    EXPECT_GT(check.made, 0u);
    EXPECT_LT(check.made, clients * threads * records) << "no level was off while the clients logged";
    EXPECT_FALSE(file_exists(log_file(directories.front(), victim_source, 0)));
}

// A writer kept busy by rotations: every record is larger than the 1 KiB limit, so each one
// shifts a file set of dozens of older files, which takes the writer far longer than the
// client needs to commit the record. The newest record on disk when the server is let go is
// the last line of the current file, missing only for the moment of a rotation.
using StopTest = heldservice;

TEST_F(StopTest, StopWritesEveryRecordCommittedBeforeIt)
{
    constexpr int count = 40;
    const sourcespec backlog{5, {1, 0, 0, 0}, L"backlog"};
    const auto numbers_in = [&](unsigned k) {
        std::vector<int> numbers;
        for (const std::wstring& text : log_texts(log_file(logs_.path(), backlog, k)))
            numbers.push_back(std::stoi(text));
        return numbers;
    };
    ASSERT_TRUE(::CreateDirectoryW(log_directory(logs_.path(), backlog.id).c_str(), nullptr));
    for (unsigned k = 1; k <= 30; ++k)
        ASSERT_TRUE(uniquehandle(::CreateFileW(log_file(logs_.path(), backlog, k).c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_NEW, 0, nullptr)));
    ASSERT_EQ(service_->SetLimit(backlog.id, 1, files_kept), S_OK);
    ComPtr<ILogSource> source = create_source(*service_.Get(), backlog);
    ASSERT_TRUE(source);
    for (int n = 0; n < count; ++n) {
        ComPtr<ILogMessage> message;
        ASSERT_EQ(source->CreateMessage(0x10, IID_PPV_ARGS(&message)), S_OK);
        ASSERT_EQ(message->AddWString((std::to_wstring(n) + L" " + std::wstring(600, L'x')).c_str()), S_OK);
    }
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
} // namespace kvt::test

int main(int argc, char** argv)
{
    const auto widen = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
    if (argc == 4 && std::strcmp(argv[1], "--load-client") == 0)
        return kvt::test::run_load_client(static_cast<unsigned>(std::stoul(argv[2])), widen(argv[3]).c_str());
    if (argc == 3 && std::strcmp(argv[1], "--victim") == 0)
        return kvt::test::run_victim(widen(argv[2]).c_str());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
