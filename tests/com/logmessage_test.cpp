#include "service_fixture.h"
#include "writer/writer_thread.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <new>
#include <vector>

// Counts the blocks of operator new that are not yet freed, to show that nothing leaks.
namespace {
std::atomic<long> live_blocks{0};
}

void* operator new(std::size_t size)
{
    if (void* p = ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1)) {
        ++live_blocks;
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    live_blocks -= p != nullptr;
    ::HeapFree(::GetProcessHeap(), 0, p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace kvt::test {
namespace {

using MessageTest = servicetest;

TEST_F(MessageTest, EveryAppendKindSetLocationAndSetIdsReachTheSourcesFile)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    {
        const ComPtr<ILogMessage> m = message(source(7, L"road").Get(), 0x12);
        const HRESULT results[] = {
            m->AddBool(2), m->AddUInt8(255), m->AddInt8(-128), m->AddChar('c'), m->AddWChar(L'w'),
            m->AddUInt16(65535), m->AddInt16(-32768), m->AddUInt32(4294967295u), m->AddInt32(INT_MIN),
            m->AddULong(7), m->AddLong(-7), m->AddUInt64(UINT64_MAX), m->AddInt64(INT64_MIN),
            m->AddFloat(1.5f), m->AddDouble(-0.25), m->AddHex32(255), m->AddHex64(255),
            m->AddString("narrow"), m->AddWString(L"wide"), m->AddString(nullptr), m->AddWString(nullptr),
            m->AddErrorCode(0x20001234), m->AddResultCode(0x20001234),
            m->SetLocation("C:\\src\\dir/file.cpp", 42, "main"), m->SetIds(0xFFFFFFFF, 5)};
        EXPECT_EQ(std::vector<HRESULT>(std::begin(results), std::end(results)), std::vector<HRESULT>(25, S_OK));
    }
    wait_for_writer(control_.Get());
    const std::vector<std::wstring> lines = read_log_lines(file_of(L"road"));
    ASSERT_EQ(lines.size(), 1u);
    const int year = std::stoi(lines[0]);  // of the local time: this one, or the next if it has just turned
    EXPECT_TRUE(year == now.wYear || year == now.wYear + 1) << lines[0];
    EXPECT_EQ(lines[0].substr(24), L"ERR,INF|-1/5|file.cpp,42|main|" L"true" L"255" L"-128" L"c" L"w" L"65535"
                                   L"-32768" L"4294967295" L"-2147483648" L"7" L"-7" L"18446744073709551615"
                                   L"-9223372036854775808" L"1.500000e+000" L"-2.500000e-001" L"000000FF"
                                   L"00000000000000FF" L"narrow" L"wide" L"(null)" L"(null)"
                                   L"20001234 (No message defined for the code)"
                                   L"20001234 (No message defined for the code)");
}

// The getters answer level, ids, file, line and function; SetLocation keeps the last path
// component and replaces earlier values.
TEST_F(MessageTest, GettersAnswerWhatWasSet)
{
    const ComPtr<ILogMessage> m = message(source(7, L"app").Get(), 0x21);
    const auto state = [&] {  // the getters' out values; each getter answers S_OK
        DWORD level = 99, first = 99, second = 99, line = 99;
        LPWSTR file = nullptr, function = nullptr;
        EXPECT_EQ(m->GetLevel(&level) | m->GetFirstId(&first) | m->GetSecondId(&second) | m->GetFile(&file) |
                      m->GetLine(&line) | m->GetFunction(&function), S_OK);
        return answer(S_OK, level, first, second, file, line, function).second;
    };
    EXPECT_EQ(state(), L"33 0 0 <null> 0 <null>");
    wchar_t u = 0;  // 0x81 of the OEM code page: u with diaeresis in 437 and 850
    ::MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, "\x81", 1, &u, 1);
    const struct { const char* file; const char* function; std::wstring state; } locations[] = {
        {"\x81.c", "\x81", L"33 0 0 " + std::wstring(1, u) + L".c 12 " + std::wstring(1, u)},
        {"C:\\src\\dir/file.cpp", "f", L"33 0 0 file.cpp 12 f"}, {"dir/sub\\x.h", "", L"33 0 0 x.h 12 "},
        {"plain.c", "g", L"33 0 0 plain.c 12 g"}, {"dir\\", nullptr, L"33 0 0  12 <null>"},
        {nullptr, "h", L"33 0 0 <null> 12 h"}, {"", nullptr, L"33 0 0  12 <null>"}};
    for (const auto& l : locations) {
        EXPECT_EQ(m->SetLocation(l.file, 12, l.function), S_OK);
        EXPECT_EQ(state(), l.state);
    }
    EXPECT_EQ(m->SetIds(3, 4), S_OK);
    EXPECT_EQ(state(), L"33 3 4  12 <null>");
}

// A writer queue that refuses every post: each sender frees its payload
// (the message's record, the source's close request) and Suspend answers E_FAIL.
TEST_F(MessageTest, APayloadThatCannotBePostedIsFreedByItsSender)
{
    log(source(7, L"first").Get(), L"first");  // the id's level and counters stay cached
    wait_for_writer(control_.Get());
    const long live = live_blocks;
    const postcalls real = std::exchange(post_calls, {[](DWORD, UINT, WPARAM, LPARAM) { return FALSE; }, [](DWORD) {}});
    log(source(7, L"refused").Get(), L"lost");
    EXPECT_EQ(live_blocks, live);
    EXPECT_EQ(control_->Suspend(TRUE), E_FAIL);
    EXPECT_EQ(control_->Suspend(FALSE), E_FAIL);
    post_calls = real;
    wait_for_writer(control_.Get());
    EXPECT_FALSE(file_exists(file_of(L"refused")));
}

} // namespace
} // namespace kvt::test
