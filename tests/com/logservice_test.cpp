#include "service_fixture.h"

#include <functional>

namespace kvt::test {
namespace {

using ServiceTest = servicetest;

TEST_F(ServiceTest, EachObjectAnswersIUnknownWithItsOneIdentity)
{
    const ComPtr<ILogSource> app = source(7, L"app");
    const ComPtr<ILogMessage> m = message(app.Get(), 2);
    const std::pair<IUnknown*, IUnknown*> objects[] = {
        {service_.Get(), service_.Get()}, {control_.Get(), service_.Get()}, {app.Get(), app.Get()}, {m.Get(), m.Get()}};
    for (const auto& [object, identity] : objects) {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(object->QueryInterface(IID_PPV_ARGS(&unknown)), S_OK);
        EXPECT_EQ(unknown.Get(), identity);
    }
    EXPECT_NE(static_cast<void*>(control_.Get()), static_cast<void*>(service_.Get()));
}

// One call after another, each with its answer and the out values it left. Every refused
// request leaves its out pointer null; a source's name is checked before the interface.
TEST_F(ServiceTest, EveryMethodAnswersWithItsResultAndOutValues)
{
    IClassFactory* const f = &*factory_;
    ILogService* const s = service_.Get();
    ILogControl* const c = control_.Get();
    const ComPtr<ILogSource> app = source(7, L"app");
    const ComPtr<ILogMessage> m = message(app.Get(), 2);
    const DWORD* const v = test_version;
    DWORD a, b;
    boolean strip;
    ULONG_PTR reserved;
    LPWSTR text;
    void* object;
    const wchar_t* const none = L"<null>";
    using call = std::function<std::pair<HRESULT, std::wstring>()>;
    const struct { call run; HRESULT result; std::wstring outs; } script[] = {
        {[&] {
             EXPECT_EQ(::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, settings_key_path, nullptr), ERROR_SUCCESS);
             const auto missing = answer(c->GetLogPath(reinterpret_cast<LPWSTR*>(&object)), object);
             write_default_settings(logs_.path());  // for the calls below
             return missing;
         },
         HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), none},
        {[&] { return answer(s->GetDefaultLimit(&a, &b), a, b); }, S_OK, L"2048 3"},
        {[&] { return answer(s->SetLimit(7, 100, 256)); }, E_INVALIDARG, L""},
        {[&] { return answer(s->GetLimit(7, &a, &b), a, b); }, S_OK, L"2048 3"},
        {[&] { return answer(s->SetLimit(7, 100, 255)); }, S_OK, L""},
        {[&] { return answer(s->GetLimit(7, &a, &b), a, b); }, S_OK, L"100 255"},
        {[&] { return answer(s->SetDefaultLimit(4096, 2)); }, S_OK, L""},
        {[&] { return answer(s->SetStripPaths(FALSE)); }, S_FALSE, L""},
        {[&] { return answer(s->SetStripPaths(TRUE)); }, S_OK, L""},
        {[&] { return answer(s->GetStripPaths(&strip), strip); }, S_OK, L"1"},
        {[&] { return answer(c->GetDefaultLevel(&a), a); }, S_OK, L"4294967295"},
        {[&] { return answer(c->SetLevel(7, 0x3F)); }, S_OK, L""},
        {[&] { return answer(c->GetLevel(7, &a), a); }, S_OK, L"63"},
        {[&] { return answer(c->SetDefaultLevel(0x7F)); }, S_OK, L""},
        {[&] { return answer(c->GetLogPath(&text), text); }, S_OK, logs_.path()},
        {[&] { return answer(c->SetLogPath(nullptr)); }, S_OK, L""},
        {[&] { return answer(c->Reserved1(&reserved), reserved); }, E_NOTIMPL, L"0"},
        {[&] { return answer(c->Reserved2()); }, E_NOTIMPL, L""},
        {[&] { return answer(c->ParseSourceId(L"  ca007\t", &a), a); }, S_OK, L"7"},
        {[&] { return answer(c->ParseSourceId(L"CA4294967296", &a), a); }, E_INVALIDARG, L"0"},
        {[&] { return answer(c->ParseSourceId(nullptr, &a), a); }, E_INVALIDARG, L"0"},
        {[&] { return answer(c->FormatSourceId(4294967295, &text), text); }, S_OK, L"CA4294967295"},
        {[&] { return answer(c->ParseLevels(L"error, Warning;trc", &a), a); }, S_OK, L"70"},
        {[&] { return answer(c->ParseLevels(nullptr, &a), a); }, S_OK, L"0"},
        {[&] { return answer(c->ParseLevels(L"ERROR,LOUD", &a), a); }, E_INVALIDARG, L"2"},
        {[&] { return answer(c->FormatLevels(0x100, &text), text); }, S_OK, L""},
        {[&] { return answer(c->FormatLevels(0x7F, &text), text); }, S_OK,
         L"FATAL,ERROR,WARNING,EVENT,INFO,DEBUG,TRACE"},
        {[&] { return answer(f->QueryInterface(IID_ILogService, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(f->CreateInstance(s, IID_ILogService, &object), object); }, CLASS_E_NOAGGREGATION, none},
        {[&] { return answer(f->CreateInstance(nullptr, IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(c->QueryInterface(IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(s->CreateSource(7, nullptr, v, IID_ILogMessage, &object), object); }, E_INVALIDARG, none},
        {[&] { return answer(s->CreateSource(7, L"app", v, IID_IUnknown, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(app->QueryInterface(IID_ILogService, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(app->CreateMessage(2, IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
        {[&] { return answer(m->QueryInterface(IID_ILogSource, &object), object); }, E_NOINTERFACE, none},
    };
    for (std::size_t row = 0; row < std::size(script); ++row) {
        a = b = 99, strip = 9, reserved = 99, text = nullptr, object = &object;
        EXPECT_EQ(script[row].run(), std::pair(script[row].result, script[row].outs)) << "row " << row;
    }
}

} // namespace
} // namespace kvt::test

namespace kvt::test {
namespace {

// Which setting changes make the writer close a source's open file: only those that switch
// the source's id off, shrink its limit, or move the log directory.
TEST_F(ServiceTest, OnlyChangesThatAffectAnOpenFileCloseIt)
{
    const struct {
        const wchar_t* change;
        std::function<HRESULT(ILogService*, ILogControl*)> make;
        bool closes;
    } cases[] = {
        {L"SetLevel(7, 0)", [](auto, auto c) { return c->SetLevel(7, 0); }, true},
        {L"SetLevel(7, 0x80)", [](auto, auto c) { return c->SetLevel(7, 0x80); }, true},
        {L"SetLevel(7, ERROR)", [](auto, auto c) { return c->SetLevel(7, 2); }, false},
        {L"SetDefaultLevel(0)", [](auto, auto c) { return c->SetDefaultLevel(0); }, false},
        {L"SetLevel(8, 0)", [](auto, auto c) { return c->SetLevel(8, 0); }, false},
        {L"SetLimit(7, smaller)", [](auto s, auto) { return s->SetLimit(7, 1024, 3); }, true},
        {L"SetLimit(7, larger)", [](auto s, auto) { return s->SetLimit(7, 4096, 3); }, false},
        {L"SetDefaultLimit(smaller)", [](auto s, auto) { return s->SetDefaultLimit(512, 3); }, false},
        {L"SetLogPath(same)", [this](auto, auto c) { return c->SetLogPath(logs_.path().c_str()); }, false},
    };
    // Every record before a mark is handled once the mark's line is in its closed file.
    const std::wstring file = file_of(7, L"Kept"), marks = file_of(0xFFFFFFF0, L"marks");
    std::size_t marked = 0;
    const auto settle = [&] {
        log(source(0xFFFFFFF0, L"marks").Get(), L"mark");
        ++marked;
        return wait_until([&] { return read_log_lines(marks).size() == marked && !is_open(marks); });
    };
    for (const auto& c : cases) {
        ASSERT_EQ(control_->SetLevel(7, 0xFFFFFFFF), S_OK);
        const ComPtr<ILogSource> kept = source(7, L"Kept");
        log(kept.Get(), L"open");
        ASSERT_TRUE(settle());
        ASSERT_TRUE(is_open(file)) << c.change;
        EXPECT_EQ(c.make(service_.Get(), control_.Get()), S_OK) << c.change;
        ASSERT_TRUE(settle());
        EXPECT_EQ(!is_open(file), c.closes) << c.change;
    }
}

} // namespace
} // namespace kvt::test
