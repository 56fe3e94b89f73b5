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
#include <source_location>
#include <map>
#include <numeric>
#include <random>
#include <regex>
#include <thread>
#include <tuple>
#include <vector>

namespace kvt::test {
namespace {

// 4 x 4 x 80 records: well below the 10,000 posted messages a Windows thread queue holds,
// so even a writer far behind never makes a post fail.
constexpr unsigned clients = 4, threads = 4, records = 80;
constexpr DWORD files_kept = 255;  // so that no rotation deletes a record the check looks for
constexpr DWORD large_kib = 24, small_kib = 3;

struct sourcespec { DWORD id; DWORD version[4]; const wchar_t* name; };

// Two names under one id, one name in two versions, source id 0 (directory GE) and the
// default source id used as an ordinary one; and the killed client's own source.
constexpr sourcespec sources[] = {
    {1, {1, 0, 0, 0}, L"alpha"}, {1, {1, 0, 0, 0}, L"beta"},  {2, {2, 1, 0, 7}, L"gamma"},
    {2, {2, 2, 0, 0}, L"gamma"}, {0, {0, 0, 0, 1}, L"delta"}, {0xFFFFFFFF, {3, 0, 0, 0}, L"omega"},
};
constexpr unsigned source_count = std::size(sources);
constexpr sourcespec victim_source{1, {1, 0, 0, 0}, L"victim"};
// The source through whose channel the victim writes crashed_records before it is killed.
constexpr sourcespec crashed_source{3, {1, 0, 0, 0}, L"crashed"};
constexpr unsigned crashed_records = 500;

// Where every load record is made: its file, line and function are on every line.
const std::source_location made_at = std::source_location::current();

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

// The record's source, its level mask, the wide and narrow texts it appends (0 to 120
// letters behind the wide one), and the line it makes behind the date and time: it is
// logged with the ids (client << 8 | thread, seq) at made_at, and DEBUG with ERROR must name
// both levels.
struct recordplan { unsigned source; DWORD level; std::wstring head; std::string tail; std::wstring line; };

recordplan plan(unsigned client, unsigned thread, unsigned seq)
{
    const std::uint64_t h = std::mt19937_64(std::uint64_t{client} << 16 | thread << 8 | seq)();
    constexpr struct { DWORD mask; const wchar_t* text; } levels[] = {
        {0x02, L"ERR"}, {0x04, L"WRN"}, {0x10, L"INF"}, {0x20, L"DBG"}, {0x22, L"ERR,DBG"}};
    const auto& level = levels[(h >> 8) % std::size(levels)];
    recordplan p{static_cast<unsigned>(h % source_count), level.mask,
                 L"c" + std::to_wstring(client) + L"t" + std::to_wstring(thread) + L"s" + std::to_wstring(seq) + L":",
                 {}, {}};
    for (unsigned i = 0, length = (h >> 16) % 121; i < length; ++i)
        p.tail += static_cast<char>('a' + (h >> (i % 48) ^ i) % 26);
    const std::string_view function = made_at.function_name();
    p.line = level.text + (L"|" + std::to_wstring(client << 8 | thread) + L"/" + std::to_wstring(seq)) +
             L"|load_test.cpp," + std::to_wstring(made_at.line()) + L"|" + std::wstring(function.begin(), function.end()) +
             L"|" + p.head + std::wstring(p.tail.begin(), p.tail.end());
    return p;
}

// The last failure the client library reported in this process.
std::atomic<long> failure{0};
void remember(HRESULT hr, const char*) { failure = hr; }

kvtlog::source open_source(const kvtlog::service& service, const sourcespec& s)
{
    return kvtlog::source(service, s.id, s.name, {s.version[0], s.version[1], s.version[2], s.version[3]});
}

// A load client process: four threads logging through the client library, so through the
// process's channel. Most records go through sources the thread keeps; every seventh
// through a source opened for it and let go right after, so sources end and files close
// while others write. Which records were made goes to the result file; the exit code is 0,
// or the last failure the library reported, or 2 when there is no result.
int run_load_client(unsigned client, const wchar_t* result_file)
{
    const kvtlog::apartment apartment;
    const kvtlog::service service(remember);
    if (client >= clients || !service)
        return 2;
    bool made[threads][records] = {};
    std::vector<std::jthread> workers;
    for (unsigned thread = 0; thread < threads; ++thread)
        workers.emplace_back([&, thread] {
            const kvtlog::apartment apartment;
            kvtlog::source kept[source_count];
            for (unsigned seq = 0; seq < records; ++seq) {
                const recordplan p = plan(client, thread, seq);
                if (!kept[p.source])
                    kept[p.source] = open_source(service, sources[p.source]);
                const kvtlog::source source = seq % 7 ? kept[p.source] : open_source(service, sources[p.source]);
                if (auto m = source(kvtlog::level(p.level), made_at)) {
                    m.ids(client << 8 | thread, seq) << p.head << p.tail;
                    made[thread][seq] = true;
                }
            }
        });
    workers.clear();  // joins them
    const uniquehandle file(::CreateFileW(result_file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return ::WriteFile(file.get(), made, sizeof made, &written, nullptr) && written == sizeof made ? failure.load() : 2;
}

// The victim: the source it shares with the load clients and one of its own, half-built
// messages on both, the one on its own source after it has let go of the source's pointer;
// and crashed_records written through its channel. It sets the ready event once it holds
// them, and waits to be killed.
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
    const kvtlog::service library;
    const kvtlog::source crashed = open_source(library, crashed_source);
    for (unsigned n = 0; n < crashed_records; ++n)
        crashed.info() << n;
    const uniquehandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready_event));
    return ready && ::SetEvent(ready.get()) ? ::Sleep(INFINITE), 0 : 6;
}

// One call of the administrator: a new log directory ('d'), an id's level mask ('v') or size
// limit ('l'), or the default size limit ('L').
struct adminstep { char call; DWORD id = 0, value = 0; };

// Before the clients start: a first log directory, every level on, the large limit.
constexpr adminstep setup[] = {{'d'}, {'v', 0, 0x7F}, {'v', 1, 0x7F}, {'v', 2, 0x7F}, {'l', 0, large_kib},
                               {'l', 1, large_kib}, {'l', 2, large_kib}, {'L', 0, large_kib}};

// In turn while the clients log: levels switched off and on (a mask without level bits
// closes the id's files), limits shrunk (closing the files, whose next record then rotates
// them) and grown again, new log directories.
constexpr adminstep churn[] = {
    {'l', 1, small_kib}, {'v', 2, 0},         {'v', 1, 0x0F},      {'d'},               {'v', 2, 0x7F},
    {'l', 0, small_kib}, {'l', 2, small_kib}, {'L', 0, small_kib}, {'l', 1, large_kib}, {'v', 1, 0x7F},
    {'l', 0, large_kib}, {'l', 2, large_kib}, {'L', 0, large_kib}, {'v', 0, 0x80},      {'v', 0, 0x7F},
};

using LoadTest = heldservice;

TEST_F(LoadTest, EveryRecordMadeIsWrittenOnceWholeAndInOrderWhileAKilledClientKeepsTheServerUp)
{
    std::vector<std::wstring> directories;  // in the order they were in force
    const auto apply = [&](const adminstep& step) {
        if (step.call == 'd')
            directories.push_back(logs_.path() + L"\\logs" + std::to_wstring(directories.size()));
        return step.call == 'd'   ? control_->SetLogPath(directories.back().c_str())
               : step.call == 'v' ? control_->SetLevel(step.id, step.value)
               : step.call == 'l' ? service_->SetLimit(step.id, step.value, files_kept)
                                  : service_->SetDefaultLimit(step.value, files_kept);
    };
    for (const adminstep& step : setup)
        ASSERT_EQ(apply(step), S_OK) << step.call << step.id;

    const std::wstring ready_name = L"kvtlog-victim-" + std::to_wstring(::GetCurrentProcessId());
    const uniquehandle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
    const uniquehandle victim = start_process(this_program(), L"--victim " + ready_name);
    const HANDLE both[] = {ready.get(), victim.get()};
    ASSERT_EQ(::WaitForMultipleObjects(2, both, FALSE, 30000), WAIT_OBJECT_0) << "the victim did not get ready";
    ASSERT_TRUE(::TerminateProcess(victim.get(), 9));
    ASSERT_EQ(::WaitForSingleObject(victim.get(), 10000), WAIT_OBJECT_0);

    const auto result_file = [&](unsigned client) { return logs_.path() + L"\\made" + std::to_wstring(client); };
    uniquehandle processes[clients];
    HANDLE handles[clients];
    for (unsigned c = 0; c < clients; ++c) {
        processes[c] = start_process(this_program(), L"--load-client " + std::to_wstring(c) + L" " + result_file(c));
        ASSERT_TRUE(processes[c]) << "client " << c << " did not start";
        handles[c] = processes[c].get();
    }
    const ULONGLONG deadline = ::GetTickCount64() + 90000;
    for (size_t step = 0;
         ::WaitForMultipleObjects(clients, handles, TRUE, 30) == WAIT_TIMEOUT && ::GetTickCount64() < deadline; ++step)
        EXPECT_EQ(apply(churn[step % std::size(churn)]), S_OK) << "administration step " << step % std::size(churn);
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

    // Now the files alone. Each source's files, oldest first: -k down to -1, then the current
    // file. Every number from 1 to k must be there; the current file may be missing when the
    // log directory changed between a rotation and the reopening that follows it. A file may
    // pass its limit by the one line written before the check (no line takes 512 bytes); a
    // rotated file had reached the limit in force when it was rotated. Every line must be the
    // one its ids plan, in the planned source's files, after the thread's earlier records there.
    static const std::wregex form(LR"(\d{4}/\d\d/\d\d\|\d\d:\d\d:\d\d\.\d{3}\|[A-Z,]*\|(\d{1,4})/(\d{1,2})\|.*)");
    std::vector<std::wstring> faults;
    std::map<std::tuple<unsigned, unsigned, unsigned>, int> found;      // by (client, thread, seq)
    std::map<std::tuple<unsigned, unsigned, unsigned>, unsigned> next;  // seq due next, by (source, client, thread)
    for (const std::wstring& logs : directories)
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
                for (const std::wstring& line : read_log_lines(path)) {
                    std::wsmatch m;
                    const bool parsed = std::regex_match(line, m, form);
                    const unsigned first = parsed ? std::stoul(m[1]) : ~0u, c = first >> 8, t = first & 0xFF;
                    const unsigned seq = parsed ? std::stoul(m[2]) : 0;
                    const recordplan p = plan(c, t, seq);
                    if (c >= clients || t >= threads || seq >= records || p.source != s || line.substr(24) != p.line)
                        faults.push_back(L"garbled line in " + path + L": " + line.substr(0, 200));
                    else if (++found[{c, t, seq}]; seq < std::exchange(next[{s, c, t}], seq + 1))
                        faults.push_back(L"out of thread order in " + path + L": " + line.substr(0, 200));
                }
            }
        }
    // Every record made is found once, every record refused never.
    unsigned made = 0;
    for (unsigned c = 0; c < clients; ++c) {
        std::vector<unsigned char> result = read_file_bytes(result_file(c));  // none: the client's exit code says so
        result.resize(threads * records);
        made += std::accumulate(result.begin(), result.end(), 0u);
        for (unsigned i = 0; i < threads * records; ++i)
            if (const int times = found[{c, i / records, i % records}]; times != result[i])
                faults.push_back(plan(c, i / records, i % records).head + (result[i] ? L" made" : L" refused") +
                                 L", found " + std::to_wstring(times) + L" times");
    }
    EXPECT_EQ(faults.size(), 0u) << ::testing::PrintToString(faults);  // the first 32 of them
    EXPECT_GT(made, 0u);
    EXPECT_LT(made, clients * threads * records) << "no level was off while the clients logged";
    EXPECT_FALSE(file_exists(log_file(directories.front(), victim_source, 0)));
    std::size_t crashed_lines = 0;
    for (const std::wstring& logs : directories)
        for (unsigned k = 0; k < files_kept; ++k)
            crashed_lines += read_log_lines(log_file(logs, crashed_source, k)).size();
    EXPECT_EQ(crashed_lines, crashed_records) << "records in the killed client's channel";
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
    std::vector<std::wstring> at_stop;
    for (int attempt = 0; attempt < 100 && at_stop.empty(); ++attempt, ::Sleep(1))
        at_stop = log_texts(log_file(logs_.path(), backlog, 0));
    const int newest_at_stop = at_stop.empty() ? -1 : std::stoi(at_stop.back());
    source.Reset();
    ASSERT_EQ(stop_server(), 0u);

    ASSERT_LT(newest_at_stop + 10, count) << "no backlog formed: the check would prove nothing";
    std::vector<int> written, expected(count);
    std::iota(expected.begin(), expected.end(), 0);
    for (unsigned k = count; k-- > 0;)
        for (const std::wstring& text : log_texts(log_file(logs_.path(), backlog, k)))
            written.push_back(std::stoi(text));
    EXPECT_EQ(written, expected) << newest_at_stop + 1 << " records were on disk when the server was released";
}

} // namespace
} // namespace kvt::test

int main(int argc, char** argv)
{
    const auto widen = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
    if (argc == 4 && argv[1] == std::string("--load-client"))
        return kvt::test::run_load_client(static_cast<unsigned>(std::stoul(argv[2])), widen(argv[3]).c_str());
    if (argc == 3 && argv[1] == std::string("--victim"))
        return kvt::test::run_victim(widen(argv[2]).c_str());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
