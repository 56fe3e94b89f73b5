// Randomised and hostile inputs through the real server's interfaces, from another process:
// texts to parse, source names no file system accepts, location texts of 10,000 characters,
// texts of a megabyte, narrow texts of any bytes, version numbers at the extremes. The server
// answers each as its interfaces promise, never stops, and goes on logging for a control
// source after every case. The inputs come from a fixed seed, named in every failure.

#include "load/running_server.h"
#include "support/random_text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kvt::test {

namespace {

constexpr std::size_t megabyte = 1 << 20;
constexpr wchar_t separators[] = L" \t,;";
constexpr wchar_t blanks[] = L" \t";

struct levelword {
    const wchar_t* name;
    const wchar_t* abbreviation;
    DWORD bit;
};
constexpr levelword level_words[] = {
    {L"FATAL", L"FTL", 0x01}, {L"ERROR", L"ERR", 0x02}, {L"WARNING", L"WRN", 0x04}, {L"EVENT", L"EVT", 0x08},
    {L"INFO", L"INF", 0x10},  {L"DEBUG", L"DBG", 0x20}, {L"TRACE", L"TRC", 0x40},
};

struct parsecase {
    std::wstring text;
    HRESULT hr;
    DWORD value;  // ParseLevels: always checked; ParseSourceId: with S_OK only
};

std::wstring repeated(const std::wstring& piece, std::size_t length)
{
    std::wstring text;
    while (text.size() < length)
        text += piece;
    return text;
}

class HostileInput : public ServerTest {
protected:
    static constexpr DWORD control_id = 30;

    void SetUp() override
    {
        ServerTest::SetUp();
        if (!HasFatalFailure())
            control_source_ = create_source(control_id, L"control");
    }

    void TearDown() override
    {
        control_source_.Reset();
        ServerTest::TearDown();
    }

    // After a test's cases the control source, made before them, still logs.
    void expect_control_logs()
    {
        log(control_source_.Get(), L"after the cases");
        wait_for_writer();
        EXPECT_EQ(log_texts(log_file_path(logs_.path(), control_id, L"control", default_version)),
                  std::vector<std::wstring>{L"after the cases"});
    }

    // Level names in either spelling and letter case between runs of separators, sometimes
    // with a word that names no level (it holds a digit).
    parsecase level_text()
    {
        parsecase c{random_.pick(separators, random_.number(0, 2)), S_OK, 0};
        for (std::uint32_t n = random_.number(0, 6), k = 0; k < n; ++k) {
            if (k)
                c.text += random_.pick(separators, random_.number(1, 3));
            if (random_.chance(0.1)) {
                c.text += random_.pick(L"aXz09-_.!#\u00E4\u00DF\u20AC\u0130", random_.number(0, 6)) + random_.pick(L"0123456789", 1);
                c.hr = E_INVALIDARG;
            } else {
                const levelword& w = level_words[random_.number(0, 6)];
                c.text += random_.mixed_case(random_.chance(0.5) ? w.name : w.abbreviation);
                c.value |= c.hr == S_OK ? w.bit : 0;
            }
        }
        c.text += random_.pick(separators, random_.number(0, 2));
        return c;
    }

    // Source id texts with blanks, letter case and leading zeros, and texts that are not quite one.
    parsecase source_id_text()
    {
        const std::uint32_t id = random_.chance(0.3) ? 0xFFFFFFFF - random_.number(0, 9) : random_.number(1, 99999);
        const std::wstring ca = random_.mixed_case(L"ca") + std::wstring(random_.number(0, 4), L'0');
        const std::wstring before = random_.pick(blanks, random_.number(0, 3)), after = random_.pick(blanks, random_.number(0, 3));
        const std::wstring junk = random_.pick(L"x-+.\u3000\u0660\n\x01", 1);
        switch (random_.number(0, 7)) {
        case 0: return {before + random_.mixed_case(L"ge") + after, S_OK, 0};
        case 1: return {before + ca + L"0" + after, E_INVALIDARG, 0};
        case 2: return {ca + std::to_wstring(4294967296ull + random_.number(0, 1u << 30)), E_INVALIDARG, 0};
        case 3: return {ca + L" " + std::to_wstring(id), E_INVALIDARG, 0};
        case 4: return {before + ca + std::to_wstring(id) + junk + after, E_INVALIDARG, 0};
        case 5: return {junk + ca + std::to_wstring(id), E_INVALIDARG, 0};
        case 6: return {random_.mixed_case(L"ge") + std::to_wstring(id % 10), E_INVALIDARG, 0};
        default: return {before + ca + std::to_wstring(id) + after, S_OK, id};
        }
    }

    randomtext random_;
    const ::testing::ScopedTrace seed_trace_{__FILE__, __LINE__, "KVT_TEST_SEED=" + std::to_string(random_.seed())};
    ComPtr<ILogSource> control_source_;
};

TEST_F(HostileInput, ParsersAnswerEachTextAsItsWordsSay)
{
    std::vector<parsecase> levels = {
        {repeated(L"info;", megabyte), S_OK, 0x10},
        {repeated(L" ,\t;", megabyte), S_OK, 0},
        {std::wstring(megabyte, L'E'), E_INVALIDARG, 0},
        {L"error," + std::wstring(megabyte, L'x'), E_INVALIDARG, 0x02},
    };
    std::vector<parsecase> ids = {
        {std::wstring(megabyte, L' ') + L"CA7" + std::wstring(megabyte, L'\t'), S_OK, 7},
        {L"ca" + std::wstring(megabyte, L'0') + L"7", S_OK, 7},
        {L"CA" + std::wstring(megabyte, L'9'), E_INVALIDARG, 0},
        {L"CA18446744073709551623", E_INVALIDARG, 0},  // 2^64 + 7: no wrap-around
        {L"", E_INVALIDARG, 0},
        {L"CA", E_INVALIDARG, 0},
    };
    for (int i = 0; i < 300; ++i) {
        levels.push_back(level_text());
        ids.push_back(source_id_text());
    }
    for (const parsecase& c : levels) {
        DWORD mask = 0xDEADBEEF;
        EXPECT_EQ(control_->ParseLevels(c.text.c_str(), &mask), c.hr) << testing::PrintToString(c.text.substr(0, 80));
        EXPECT_EQ(mask, c.value) << testing::PrintToString(c.text.substr(0, 80));
    }
    for (const parsecase& c : ids) {
        DWORD id = 0;
        EXPECT_EQ(control_->ParseSourceId(c.text.c_str(), &id), c.hr) << testing::PrintToString(c.text.substr(0, 80));
        EXPECT_EQ(id, c.hr == S_OK ? c.value : id) << testing::PrintToString(c.text.substr(0, 80));
    }
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(control_->ParseLevels(nullptr, &value), S_OK);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(control_->ParseSourceId(nullptr, &value), E_INVALIDARG);
    expect_control_logs();
}

// Names of 0 to 300 characters, half of them with characters that file names may not hold
// (never "..", so no name leads out of the log directory). A record of a name that makes a
// valid, short enough path must be in its file; the others are dropped, but every call
// answers S_OK all the same.
TEST_F(HostileInput, AnySourceNameIsAcceptedAndValidOnesGetTheirFiles)
{
    constexpr DWORD id = 31;
    const std::wstring valid = L"abcdefghij0123456789_- \u00E4\u03C9\u20AC\u4E2D";
    const std::wstring any = valid + L"\\/:*?\"<>|.\t\x01\x1F%";
    for (int i = 0; i < 60; ++i) {
        const bool plain = i % 2 == 0;
        std::wstring name = random_.pick(plain ? valid : any, i == 0 ? 0 : random_.number(0, 300));
        for (std::size_t dots; (dots = name.find(L"..")) != std::wstring::npos;)
            name[dots] = L'x';
        const std::wstring marker = L"name " + std::to_wstring(i);
        log(create_source(id, name.c_str()).Get(), marker.c_str());
        const std::wstring path = log_file_path(logs_.path(), id, name, default_version);
        // Under Wine a file name is stored on the host's file system, which holds at most 255
        // bytes of UTF-8 in a name; Windows holds 255 UTF-16 units. Check names within both.
        const std::wstring file = log_file_name(name, default_version);
        if (plain && path.size() < MAX_PATH &&
            ::WideCharToMultiByte(CP_UTF8, 0, file.c_str(), static_cast<int>(file.size()), nullptr, 0, nullptr, nullptr) <= 255) {
            wait_for_writer();
            EXPECT_TRUE(has_line_ending(read_log_lines(path), marker)) << "name of " << name.size() << " characters";
        }
    }
    expect_control_logs();
}

// A file with directories is cut to its last component; a header longer than 1023
// characters is left out of the line; the megabyte texts arrive whole.
TEST_F(HostileInput, LongLocationsAndMegabyteTextsArriveWhole)
{
    const std::string directories = "C:\\" + std::string(5000, 'd') + "/" + std::string(2000, 'e') + "\\";
    const std::string file(2997, 'f'), function(10000, 'g'), narrow(megabyte, 'n');
    // Lone surrogates too: nothing on the way checks that the text is well-formed UTF-16.
    const std::wstring wide = random_.pick(std::wstring{L'w', 0x00E4, 0x4E2D, 0xD800, 0xDFFF, L'|', 0x20AC}, megabyte);
    ASSERT_EQ(service_->SetLimit(32, 0, 0), S_OK);  // no rotation between the two lines
    const ComPtr<ILogSource> huge = create_source(32, L"huge");
    {
        ComPtr<ILogMessage> message;
        ASSERT_EQ(huge->CreateMessage(0x10, IID_ILogMessage, &message), S_OK);
        ASSERT_EQ(message->SetLocation((directories + file).c_str(), 77, function.c_str()), S_OK);
        LPWSTR text = nullptr;
        ASSERT_EQ(message->GetFile(&text), S_OK);
        EXPECT_EQ(std::wstring(text), std::wstring(file.begin(), file.end()));
        ::CoTaskMemFree(text);
        ASSERT_EQ(message->GetFunction(&text), S_OK);
        EXPECT_EQ(std::wstring(text).size(), function.size());
        ::CoTaskMemFree(text);
        EXPECT_EQ(message->AddString(narrow.c_str()), S_OK);
        EXPECT_EQ(message->AddWString(wide.c_str()), S_OK);
    }
    log(huge.Get(), wide.c_str());
    wait_for_writer();
    const std::vector<std::wstring> lines = lines_of(32, L"huge");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0] == std::wstring(narrow.begin(), narrow.end()) + wide) << "a line without header";
    EXPECT_TRUE(lines[1].ends_with(L"|" + wide)) << "a line with header";
    expect_control_logs();
}

// Narrow texts of any bytes but NUL, CR and LF come out as the OEM code page converts them.
TEST_F(HostileInput, NarrowTextsOfAnyBytesAreConvertedFromTheOemCodePage)
{
    const ComPtr<ILogSource> narrow = create_source(33, L"narrow");
    std::vector<std::wstring> expected;
    for (int i = 0; i < 40; ++i) {
        std::string bytes(random_.number(1, 200), 'x');
        for (char& b : bytes)
            b = static_cast<char>(random_.number(1, 255));
        std::replace_if(bytes.begin(), bytes.end(), [](char b) { return b == '\n' || b == '\r'; }, 'x');
        const int length = ::MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, bytes.c_str(), -1, nullptr, 0);
        std::wstring converted(length > 0 ? length : 1, L'\0');
        ::MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, bytes.c_str(), -1, converted.data(), length);
        converted.pop_back();
        ComPtr<ILogMessage> message;
        ASSERT_EQ(narrow->CreateMessage(0x10, IID_ILogMessage, &message), S_OK);
        EXPECT_EQ(message->SetLocation(nullptr, 0, bytes.c_str()), S_OK);
        LPWSTR function = nullptr;
        EXPECT_EQ(message->GetFunction(&function), S_OK);
        EXPECT_EQ(std::wstring(function ? function : L"(null)"), converted);
        ::CoTaskMemFree(function);
        EXPECT_EQ(message->AddString(bytes.c_str()), S_OK);
        expected.push_back(L"|" + converted + L"|" + converted);
    }
    wait_for_writer();
    const std::vector<std::wstring> lines = lines_of(33, L"narrow");
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].ends_with(expected[i])) << i;
    expect_control_logs();
}

// Each version number is written into the file name as a signed decimal.
TEST_F(HostileInput, VersionNumbersAtTheExtremesNameTheirFiles)
{
    const DWORD versions[][4] = {
        {0, 0, 0, 0},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        {0x7FFFFFFF, 0x80000000, 1, 0xFFFFFFFE},
        {0x80000000, 0x7FFFFFFF, 0xFFFFFFFF, 0},
    };
    for (const auto& version : versions)
        log(create_source(34, L"extreme", version).Get(), L"extreme");
    wait_for_writer();
    for (const auto& version : versions)
        EXPECT_EQ(lines_of(34, L"extreme", version).size(), 1u) << testing::PrintToString(log_file_name(L"extreme", version));
    expect_control_logs();
}

} // namespace

} // namespace kvt::test
