#include "service_fixture.h"

#include "kvtlog/record_builder.h"
#include "kvtlog/ring_writer.h"

#include <functional>

namespace kvt::test {
namespace {

using namespace kvtlog::wire;

using ServiceTest = servicetest;

// COM's identity of an object: its IUnknown pointer.
IUnknown* identity(IUnknown* object)
{
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(object->QueryInterface(IID_PPV_ARGS(&unknown)), S_OK);
    return unknown.Get();
}

// One call after another, each with its answer and the out values it left. Every refused
// request leaves its out pointer null; a source's name is checked before the interface. The
// setters answer a registry failure as its Win32 code. (GetStripPaths shows in the paths that
// SetLocation strips, in the message tests.)
TEST_F(ServiceTest, EveryMethodAnswersWithItsResultAndOutValues)
{
    IClassFactory* const f = &*factory_;
    ILogService* const s = service_.Get();
    ILogControl* const c = control_.Get();
    const ComPtr<ILogSource> app = source(7, L"app");
    const ComPtr<ILogMessage> m = message(app.Get(), 2);
    ComPtr<ILogAdmin> admin;
    EXPECT_EQ(service_.As(&admin), S_OK);
    ILogAdmin* const ad = admin.Get();
    DWORD a, b, d;
    LogForwardState state;
    LPWSTR text;
    void* object;
    const DWORD* const v = test_version;
    const wchar_t* const none = L"<null>";
    const HRESULT not_found = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const auto remove = [](const wchar_t* key) {  // a key under Settings, or for null its directory value
        const std::wstring path = std::wstring(settings_key_path) + L"\\" + (key ? key : L"");
        EXPECT_EQ(key ? ::RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str())
                      : ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, settings_key_path, nullptr), ERROR_SUCCESS);
    };
    const struct { std::function<decltype(answer(S_OK))()> run; HRESULT result; std::wstring outs; } script[] = {
        {[&] { remove(nullptr); return answer(c->GetLogPath(reinterpret_cast<LPWSTR*>(&object)), object); }, not_found,
         none},
        {[&] { return answer(c->SetLogPath(L"C:\\Logs")); }, not_found, L""},
        {[&] { write_default_settings(logs_.path()); return answer(S_OK); }, S_OK, L""},  // for the rows below
        {[&] { return answer(S_OK, identity(c) == s, identity(app.Get()) == app.Get(), identity(m.Get()) == m.Get(),
                             static_cast<void*>(c) != static_cast<void*>(s)); }, S_OK, L"1 1 1 1"},
        {[&] { return answer(s->SetLimit(7, 100, 256)); }, E_INVALIDARG, L""},
        {[&] { return answer(s->GetLimit(7, &a, &b), a, b); }, S_OK, L"2048 3"},
        {[&] { EXPECT_EQ(s->SetLimit(7, 100, 255), S_OK); return answer(s->GetLimit(7, &a, &b), a, b); }, S_OK,
         L"100 255"},
        {[&] { EXPECT_EQ(s->SetDefaultLimit(4096, 2), S_OK); return answer(s->GetDefaultLimit(&a, &b), a, b); }, S_OK,
         L"4096 2"},
        {[&] { EXPECT_EQ(c->SetLevel(7, 0x3F), S_OK); return answer(c->GetLevel(7, &a), a); }, S_OK, L"63"},
        {[&] { EXPECT_EQ(c->SetDefaultLevel(0x7F), S_OK); return answer(c->GetDefaultLevel(&a), a); }, S_OK, L"127"},
        {[&] { return answer(c->GetLogPath(&text), text); }, S_OK, logs_.path()},
        {[&] { return answer(c->SetLogPath(nullptr)); }, S_OK, L""},
        {[&] { return answer(c->ParseSourceId(nullptr, &a), a); }, E_INVALIDARG, L"0"},
        {[&] { return answer(c->FormatSourceId(4294967295, &text), text); }, S_OK, L"CA4294967295"},
        {[&] { return answer(c->ParseLevels(L" \t;fatal,ERROR;wArNiNg event\t\tInfo,,debug;trace, ", &a), a); }, S_OK,
         L"127"},
        {[&] { return answer(c->ParseLevels(L"FtL ErR;wrn,EVT inf dbg trc", &a), a); }, S_OK, L"127"},
        {[&] { return answer(c->ParseLevels(L"error, Warning;trc", &a), a); }, S_OK, L"70"},
        {[&] { return answer(c->ParseLevels(L"", &a), a); }, S_OK, L"0"},
        {[&] { return answer(c->ParseLevels(nullptr, &a), a); }, S_OK, L"0"},
        {[&] { return answer(c->ParseLevels(L"ERROR,LOUD,FATAL", &a), a); }, E_INVALIDARG, L"2"},
        {[&] { return answer(c->ParseLevels((L"info" + std::wstring(100000, L';')).c_str(), &a), a); }, S_OK, L"16"},
        {[&] { return answer(c->FormatLevels(0x100, &text), text); }, S_OK, L""},
        {[&] { return answer(c->FormatLevels(0x41, &text), text); }, S_OK, L"FATAL,TRACE"},
        {[&] { return answer(c->FormatLevels(0xFFFFFFFF, &text), text); }, S_OK,
         L"FATAL,ERROR,WARNING,EVENT,INFO,DEBUG,TRACE"},
        {[&] { return answer(ad->SetForwarding(L"h", 65536, 1, 1)); }, E_INVALIDARG, L""},
        {[&] { return answer(ad->SetForwarding(L"h", 1, 24, 1)); }, E_INVALIDARG, L""},
        {[&] { EXPECT_EQ(ad->SetForwarding(L"127.0.0.1", 9, 16, 3), S_OK);
               return answer(ad->GetForwarding(&text, &a, &b, &d, &state), text, a, b, d); }, S_OK, L"127.0.0.1 9 16 3"},
        {[&] { EXPECT_EQ(ad->SetForwarding(L"", 9, 99, 3), S_OK);
               return answer(ad->GetForwarding(&text, &a, &b, &d, &state), text, a, b, d); }, S_OK, L"<null> 0 1 127"},
        {[&] { return answer(f->QueryInterface(IID_ILogService, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(f->CreateInstance(s, IID_ILogService, &object), object); }, CLASS_E_NOAGGREGATION, none},
        {[&] { return answer(f->CreateInstance(nullptr, IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(c->QueryInterface(IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(s->CreateSource(7, nullptr, v, IID_ILogMessage, &object), object); }, E_INVALIDARG, none},
        {[&] { return answer(s->CreateSource(7, L"app", v, IID_IUnknown, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(app->QueryInterface(IID_ILogService, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(app->CreateMessage(2, IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(m->QueryInterface(IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
        {[&] { remove(L"Level"); return answer(c->SetLevel(9, 1)); }, not_found, L""},
        {[&] { remove(L"Limit"); return answer(s->SetLimit(9, 1, 1)); }, not_found, L""},
    };
    for (std::size_t row = 0; row < std::size(script); ++row) {
        a = b = 99, text = nullptr, object = &object;
        EXPECT_EQ(script[row].run(), std::pair(script[row].result, script[row].outs)) << "row " << row;
    }
}

// Which setting changes make the writer close a source's open file: only those that switch
// the source's id off, shrink its limit, or move the log directory.
TEST_F(ServiceTest, OnlyChangesThatAffectAnOpenFileCloseIt)
{
    const std::wstring moved = logs_.path() + L"\\moved";
    const struct { const wchar_t* change; std::function<HRESULT()> make; bool closes; } cases[] = {
        {L"SetLevel(7, 0)", [&] { return control_->SetLevel(7, 0); }, true},
        {L"SetLevel(7, 0x80)", [&] { return control_->SetLevel(7, 0x80); }, true},
        {L"SetLevel(7, ERROR)", [&] { return control_->SetLevel(7, 2); }, false},
        {L"SetDefaultLevel(0)", [&] { return control_->SetDefaultLevel(0); }, false},
        {L"SetLevel(8, 0)", [&] { return control_->SetLevel(8, 0); }, false},
        {L"SetLimit(7, smaller)", [&] { return service_->SetLimit(7, 1024, 3); }, true},
        {L"SetLimit(7, larger)", [&] { return service_->SetLimit(7, 4096, 3); }, false},
        {L"SetDefaultLimit(smaller)", [&] { return service_->SetDefaultLimit(512, 3); }, false},
        {L"SetLogPath(same)", [&] { return control_->SetLogPath(logs_.path().c_str()); }, false},
        {L"SetLogPath(other)", [&] { return control_->SetLogPath(moved.c_str()); }, true},  // the last
    };
    const std::wstring file = file_of(L"Kept");
    for (const auto& row : cases) {
        ASSERT_EQ(control_->SetLevel(7, 0xFFFFFFFF), S_OK);
        const ComPtr<ILogSource> kept = source(7, L"Kept");
        log(kept.Get(), L"open");
        ASSERT_TRUE(wait_for_queue());
        ASSERT_TRUE(is_open(file)) << row.change;
        EXPECT_EQ(row.make(), S_OK) << row.change;
        ASSERT_TRUE(wait_for_queue(&row == std::end(cases) - 1 ? moved : logs_.path()));
        EXPECT_EQ(!is_open(file), row.closes) << row.change;
    }
}

// One table of statements, each made through the message methods into one source's file and
// through a channel into another's: the lines are the same but for their time. The channel's
// handles come into this process, as into any client's.
TEST_F(ServiceTest, StatementsThroughAChannelGiveTheLinesOfTheMessageMethods)
{
    ComPtr<ILogChannel> channels;
    ASSERT_EQ(service_.As(&channels), S_OK);
    DWORD id = 0, slot = 0;
    ULONGLONG ring = 0, levels = 0, wake = 0;
    ASSERT_EQ(channels->OpenChannel(::GetCurrentProcessId(), 0, &id, &ring, &levels, &wake), S_OK);
    ASSERT_EQ(channels->AddChannelSource(id, 7, L"channel", test_version, &slot), S_OK);
    ringwriter writer;
    const auto handle = [](ULONGLONG h) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(h)); };
    ASSERT_TRUE(writer.open(handle(ring), handle(levels), handle(wake)));

    using com = void (*)(ILogMessage*);
    using wire = void (*)(recordbuilder&);
    const struct { DWORD level; com by_com; wire by_channel; } statements[] = {
        {0x12,
         [](ILogMessage* m) {
             m->SetLocation("C:\\src\\dir/file.cpp", 42, "main"), m->SetIds(0xFFFFFFFF, 5), m->AddBool(2), m->AddUInt8(255),
             m->AddInt8(-128), m->AddChar('c'), m->AddWChar(L'w'), m->AddUInt16(65535), m->AddInt16(-32768),
             m->AddUInt32(4294967295u), m->AddInt32(INT_MIN), m->AddULong(7), m->AddLong(-7), m->AddUInt64(UINT64_MAX),
             m->AddInt64(INT64_MIN), m->AddFloat(1.5f), m->AddDouble(-0.25), m->AddHex32(255), m->AddHex64(255);
         },
         [](recordbuilder& r) {
             r.set_location("C:\\src\\dir/file.cpp", 42, "main"), r.set_ids(0xFFFFFFFF, 5), r.add_bool(true), r.add_unsigned(255),
             r.add_signed(-128), r.add_char('c'), r.add_wchar(L'w'), r.add_unsigned(65535), r.add_signed(-32768),
             r.add_unsigned(4294967295u), r.add_signed(INT_MIN), r.add_unsigned(7), r.add_signed(-7), r.add_unsigned(UINT64_MAX),
             r.add_signed(INT64_MIN), r.add_real(1.5f), r.add_real(-0.25), r.add_hex32(255), r.add_hex64(255);
         }},
        {0x01,
         [](ILogMessage* m) {
             m->AddString(nullptr), m->AddWString(nullptr), m->AddBool(0), m->AddString("oem \x81\x9c line\nend"),
             m->AddWString(L"wide\r\nline\n"), m->AddErrorCode(0x20001234), m->AddResultCode(5);
         },
         [](recordbuilder& r) {
             r.add_string(nullptr), r.add_wstring(nullptr), r.add_bool(false), r.add_string("oem \x81\x9c line\nend"),
             r.add_wstring(L"wide\r\nline\n"), r.add_error_code(0x20001234), r.add_error_code(5);
         }},
        {0x40, [](ILogMessage* m) { m->SetLocation("", 0, nullptr), m->AddString(""), m->AddWString(L""); },
         [](recordbuilder& r) { r.set_location("", 0, nullptr), r.add_string(""), r.add_wstring(L""); }},
        {0x7F, [](ILogMessage*) {}, [](recordbuilder&) {}},
    };
    const ComPtr<ILogSource> by_com = source(7, L"com");
    for (const auto& s : statements) {
        s.by_com(message(by_com.Get(), s.level).Get());
        alignas(8) std::byte buffer[1024];
        recordbuilder record(buffer, static_cast<std::uint16_t>(slot), s.level);
        s.by_channel(record);
        EXPECT_TRUE(writer.write(record.record()));
    }
    // Both sources are of id 7: every record is written once its counters say so.
    ComPtr<ILogAdmin> admin;
    ASSERT_EQ(service_.As(&admin), S_OK);
    ASSERT_TRUE(wait_until([&] {
        DWORD found = 0;
        LogCounters c{};
        return admin->GetCounters(7, &found, &c) == S_OK && c.written == 2 * std::size(statements);
    }));
    wait_for_writer(control_.Get());
    // Texts with line ends make several lines of one statement; only a header has a time.
    const auto untimed = [](const std::wstring& line) { return line.size() < 24 ? line : line.substr(24); };
    const std::vector<std::wstring> expected = read_log_lines(file_of(L"com")), lines = read_log_lines(file_of(L"channel"));
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(untimed(lines[i]), untimed(expected[i])) << i;
}

} // namespace
} // namespace kvt::test
