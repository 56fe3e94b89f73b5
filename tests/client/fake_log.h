#pragma once
// In-process stand-ins for the service's source and message objects. They record every call
// the client library makes as "Method(arguments)" and answer as the test tells them, so a
// test sees exactly which methods a statement reached and how often.

#include "kvtlog.h"

#include <atomic>
#include <string>
#include <vector>

namespace kvt::test {

struct call_log {
    std::vector<std::wstring> calls;
    DWORD enabled = 0x7F;               // levels CreateMessage makes a message for
    HRESULT create_result = S_OK;       // CreateMessage's answer for an enabled level
    HRESULT append_result = S_OK;       // the answer of every other ILogMessage method
};

// Counts references as COM objects do; deletes itself at zero.
template <class Interface>
class fake_object : public Interface {
public:
    explicit fake_object(call_log& log) : log_(log) {}
    virtual ~fake_object() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG n = --count_;
        if (n == 0)
            delete this;
        return n;
    }

protected:
    HRESULT record(const wchar_t* method, const std::wstring& arguments, HRESULT result)
    {
        log_.calls.push_back(std::wstring(method) + L"(" + arguments + L")");
        return result;
    }

    call_log& log_;

private:
    std::atomic<ULONG> count_{1};
};

class fake_message final : public fake_object<ILogMessage> {
public:
    using fake_object::fake_object;

    HRESULT STDMETHODCALLTYPE AddBool(boolean v) override { return add(L"AddBool", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddUInt8(BYTE v) override { return add(L"AddUInt8", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddInt8(signed char v) override { return add(L"AddInt8", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddChar(CHAR v) override { return add(L"AddChar", std::wstring(1, wchar_t(v))); }
    HRESULT STDMETHODCALLTYPE AddWChar(WCHAR v) override { return add(L"AddWChar", std::wstring(1, v)); }
    HRESULT STDMETHODCALLTYPE AddUInt16(USHORT v) override { return add(L"AddUInt16", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddInt16(SHORT v) override { return add(L"AddInt16", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddUInt32(DWORD v) override { return add(L"AddUInt32", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddInt32(LONG v) override { return add(L"AddInt32", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddULong(ULONG v) override { return add(L"AddULong", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddLong(LONG v) override { return add(L"AddLong", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddUInt64(ULONGLONG v) override { return add(L"AddUInt64", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddInt64(LONGLONG v) override { return add(L"AddInt64", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddFloat(float v) override { return add(L"AddFloat", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddDouble(double v) override { return add(L"AddDouble", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddHex32(DWORD v) override { return add(L"AddHex32", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddHex64(ULONGLONG v) override { return add(L"AddHex64", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddString(LPCSTR v) override { return add(L"AddString", narrow(v)); }
    HRESULT STDMETHODCALLTYPE AddWString(LPCWSTR v) override { return add(L"AddWString", v ? v : L"null"); }
    HRESULT STDMETHODCALLTYPE Reserved1() override { return add(L"Reserved1", L""); }
    HRESULT STDMETHODCALLTYPE Reserved2() override { return add(L"Reserved2", L""); }
    HRESULT STDMETHODCALLTYPE AddResultCode(DWORD v) override { return add(L"AddResultCode", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE AddErrorCode(DWORD v) override { return add(L"AddErrorCode", std::to_wstring(v)); }
    HRESULT STDMETHODCALLTYPE SetIds(DWORD a, DWORD b) override
    {
        return add(L"SetIds", std::to_wstring(a) + L"," + std::to_wstring(b));
    }
    HRESULT STDMETHODCALLTYPE GetFirstId(DWORD*) override { return add(L"GetFirstId", L""); }
    HRESULT STDMETHODCALLTYPE GetSecondId(DWORD*) override { return add(L"GetSecondId", L""); }
    HRESULT STDMETHODCALLTYPE SetLocation(LPCSTR file, DWORD line, LPCSTR function) override
    {
        return add(L"SetLocation", narrow(file) + L"," + std::to_wstring(line) + L"," + narrow(function));
    }
    HRESULT STDMETHODCALLTYPE GetLevel(DWORD*) override { return add(L"GetLevel", L""); }
    HRESULT STDMETHODCALLTYPE GetFile(LPWSTR*) override { return add(L"GetFile", L""); }
    HRESULT STDMETHODCALLTYPE GetFunction(LPWSTR*) override { return add(L"GetFunction", L""); }
    HRESULT STDMETHODCALLTYPE GetLine(DWORD*) override { return add(L"GetLine", L""); }
    HRESULT STDMETHODCALLTYPE Reserved3() override { return add(L"Reserved3", L""); }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return add(L"Reserved4", L""); }

private:
    static std::wstring narrow(const char* text) { return text ? std::wstring(text, text + strlen(text)) : L"null"; }
    HRESULT add(const wchar_t* method, const std::wstring& value) { return record(method, value, log_.append_result); }
};

class fake_source final : public fake_object<ILogSource> {
public:
    using fake_object::fake_object;

    HRESULT STDMETHODCALLTYPE CreateMessage(DWORD level, REFIID, void** out) override
    {
        *out = nullptr;
        const HRESULT hr = (level & log_.enabled) ? log_.create_result : S_FALSE;
        if (hr == S_OK)
            *out = static_cast<ILogMessage*>(new fake_message(log_));
        return record(L"CreateMessage", std::to_wstring(level), hr);
    }
};

} // namespace kvt::test
