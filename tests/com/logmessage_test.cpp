#include "service_fixture.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace kvt::test {
namespace {

using MessageTest = service_test;

std::wstring date_of_today()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t text[16];
    swprintf(text, 16, L"%04d/%02d/%02d|", now.wYear, now.wMonth, now.wDay);
    return text;
}

TEST_F(MessageTest, EveryAppendKindSetLocationAndSetIdsReachTheSourcesFile)
{
    struct append { std::function<HRESULT(ILogMessage*)> call; const wchar_t* text; };
    const append appends[] = {
        {[](ILogMessage* m) { return m->AddBool(2); }, L"true"},
        {[](ILogMessage* m) { return m->AddUInt8(255); }, L"255"},
        {[](ILogMessage* m) { return m->AddInt8(-128); }, L"-128"},
        {[](ILogMessage* m) { return m->AddChar('c'); }, L"c"},
        {[](ILogMessage* m) { return m->AddWChar(L'w'); }, L"w"},
        {[](ILogMessage* m) { return m->AddUInt16(65535); }, L"65535"},
        {[](ILogMessage* m) { return m->AddInt16(-32768); }, L"-32768"},
        {[](ILogMessage* m) { return m->AddUInt32(4294967295u); }, L"4294967295"},
        {[](ILogMessage* m) { return m->AddInt32(INT_MIN); }, L"-2147483648"},
        {[](ILogMessage* m) { return m->AddULong(7); }, L"7"},
        {[](ILogMessage* m) { return m->AddLong(-7); }, L"-7"},
        {[](ILogMessage* m) { return m->AddUInt64(UINT64_MAX); }, L"18446744073709551615"},
        {[](ILogMessage* m) { return m->AddInt64(INT64_MIN); }, L"-9223372036854775808"},
        {[](ILogMessage* m) { return m->AddFloat(1.5f); }, L"1.500000e+000"},
        {[](ILogMessage* m) { return m->AddDouble(-0.25); }, L"-2.500000e-001"},
        {[](ILogMessage* m) { return m->AddHex32(255); }, L"000000FF"},
        {[](ILogMessage* m) { return m->AddHex64(255); }, L"00000000000000FF"},
        {[](ILogMessage* m) { return m->AddString("narrow"); }, L"narrow"},
        {[](ILogMessage* m) { return m->AddWString(L"wide"); }, L"wide"},
        {[](ILogMessage* m) { return m->AddString(nullptr); }, L"(null)"},
        {[](ILogMessage* m) { return m->AddWString(nullptr); }, L"(null)"},
        {[](ILogMessage* m) { return m->AddErrorCode(0x20001234); }, L"20001234 (No message defined for the code)"},
        {[](ILogMessage* m) { return m->AddResultCode(0x20001234); }, L"20001234 (No message defined for the code)"},
    };
    const std::wstring today = date_of_today();
    std::wstring expected;
    {
        const ComPtr<ILogMessage> m = message(source(7, L"road").Get(), 0x12);
        for (const append& a : appends) {
            EXPECT_EQ(a.call(m.Get()), S_OK) << a.text;
            expected += a.text;
        }
        EXPECT_EQ(m->SetLocation("C:\\src\\dir/file.cpp", 42, "main"), S_OK);
        EXPECT_EQ(m->SetIds(0xFFFFFFFF, 5), S_OK);
    }
    wait_for_writer();
    const std::vector<std::wstring> lines = read_log_lines(file_of(7, L"road"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with(today) || lines[0].starts_with(date_of_today())) << lines[0];
    EXPECT_EQ(lines[0].substr(24), L"ERR,INF|-1/5|file.cpp,42|main|" + expected);
}

TEST_F(MessageTest, FreshMessageAnswersItsLevelZerosAndNulls)
{
    const ComPtr<ILogMessage> m = message(source(7, L"app").Get(), 0x21);
    DWORD value = 99;
    EXPECT_EQ(m->GetLevel(&value), S_OK);
    EXPECT_EQ(value, 0x21u);
    for (auto get : {&ILogMessage::GetFirstId, &ILogMessage::GetSecondId, &ILogMessage::GetLine}) {
        value = 99;
        EXPECT_EQ((m.Get()->*get)(&value), S_OK);
        EXPECT_EQ(value, 0u);
    }
    for (auto get : {&ILogMessage::GetFile, &ILogMessage::GetFunction}) {
        LPWSTR text = reinterpret_cast<LPWSTR>(&text);
        EXPECT_EQ((m.Get()->*get)(&text), S_OK);
        EXPECT_EQ(text, nullptr);
    }
    for (auto reserved : {&ILogMessage::Reserved1, &ILogMessage::Reserved2, &ILogMessage::Reserved3,
                          &ILogMessage::Reserved4})
        EXPECT_EQ((m.Get()->*reserved)(), E_NOTIMPL);
    ComPtr<IUnknown> identity;
    EXPECT_EQ(m.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(m.Get()));
    void* out = &out;
    EXPECT_EQ(m->QueryInterface(IID_ILogSource, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

std::wstring take(LPWSTR text)
{
    const std::wstring copy = text ? text : L"<null>";
    ::CoTaskMemFree(text);
    return copy;
}

TEST_F(MessageTest, SetLocationKeepsTheLastPathComponentAndReplacesEarlierValues)
{
    const ComPtr<ILogMessage> m = message(source(7, L"app").Get(), 2);
    struct row { const char* file; const char* function; const wchar_t* stored_file; const wchar_t* stored_function; };
    for (const row& r : {row{"C:\\src\\dir/file.cpp", "f", L"file.cpp", L"f"}, row{"dir/sub\\x.h", "", L"x.h", L""},
                         row{"plain.c", "g", L"plain.c", L"g"}, row{"dir\\", nullptr, L"", L"<null>"},
                         row{nullptr, "h", L"<null>", L"h"}, row{"", nullptr, L"", L"<null>"}}) {
        EXPECT_EQ(m->SetLocation(r.file, 12, r.function), S_OK);
        LPWSTR file = nullptr, function = nullptr;
        EXPECT_EQ(m->GetFile(&file), S_OK);
        EXPECT_EQ(m->GetFunction(&function), S_OK);
        EXPECT_EQ(take(file), r.stored_file);
        EXPECT_EQ(take(function), r.stored_function);
    }
    DWORD line = 0;
    EXPECT_EQ(m->GetLine(&line), S_OK);
    EXPECT_EQ(line, 12u);
}

TEST_F(MessageTest, ErrorCodeTextIsOneLineWithoutFinalFullStop)
{
    {
        const ComPtr<ILogMessage> m = message(source(7, L"app").Get(), 2);
        EXPECT_EQ(m->AddErrorCode(ERROR_FILE_NOT_FOUND), S_OK);
        EXPECT_EQ(m->AddWString(L"|"), S_OK);
        EXPECT_EQ(m->AddResultCode(ERROR_FILE_NOT_FOUND), S_OK);
    }
    wait_for_writer();
    const std::vector<std::wstring> lines = read_log_lines(file_of(7, L"app"));
    ASSERT_EQ(lines.size(), 1u);
    const std::wstring text = message_text(lines[0]);
    const std::wstring error = text.substr(0, text.find(L'|'));
    EXPECT_EQ(text, error + L"|" + error);
    EXPECT_TRUE(error.starts_with(L"00000002 (")) << error;
    EXPECT_TRUE(error.ends_with(L")") && !error.ends_with(L".)") && !error.ends_with(L" )")) << error;
    EXPECT_EQ(error.find(L"No message"), std::wstring::npos) << error;
}

TEST_F(MessageTest, AppendsFromManyThreadsAreAllKept)
{
    constexpr int threads = 8, appends = 50;
    {
        const ComPtr<ILogMessage> m = message(source(7, L"app").Get(), 2);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&] {
                for (int i = 0; i < appends; ++i)
                    EXPECT_EQ(m->AddWChar(L'x'), S_OK);
            });
        for (std::thread& w : workers)
            w.join();
    }
    wait_for_writer();
    const std::vector<std::wstring> lines = read_log_lines(file_of(7, L"app"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(message_text(lines[0]), std::wstring(threads * appends, L'x'));
}

} // namespace
} // namespace kvt::test
