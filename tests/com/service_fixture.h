#pragma once
// What the COM object tests share: the multithreaded apartment, default settings in a
// scratch registry pointing at a fresh log directory, a test shutdown event, and a class
// factory with the service it holds. Tests reach the objects only through interfaces.

#include "com/logfactory.h"
#include "com/server_lock.h"
#include "support/log_checks.h"
#include "support/scratch_registry.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <utility>

namespace kvt::test {

using Microsoft::WRL::ComPtr;

// Every source of these tests has this version.
inline constexpr DWORD test_version[4] = {1, 2, 3, 4};

// COM's server lock count, read without letting it reach zero through the product code.
inline ULONG server_lock_count()
{
    const ULONG raised = ::CoAddRefServerProcess();
    ::CoReleaseServerProcess();
    return raised - 1;
}

// How the method tables show out values: numbers in decimal, a text as handed out (then
// freed) or "<null>" for none, an interface pointer as "<object>" or "<null>".
template <class T> std::wstring shown(T number) { return std::to_wstring(+number); }
inline std::wstring shown(LPWSTR text)
{
    const std::wstring copy = text ? text : L"<null>";
    ::CoTaskMemFree(text);
    return copy;
}
inline std::wstring shown(void* object) { return object ? L"<object>" : L"<null>"; }

// A call's HRESULT with its out values, read after the call, joined by spaces.
template <class... Outs>
std::pair<HRESULT, std::wstring> answer(HRESULT result, const Outs&... outs)
{
    std::wstring text = (std::wstring() + ... + (L" " + shown(outs)));
    return {result, text.erase(0, 1)};
}

class servicetest : public ::testing::Test {
protected:
    servicetest()
    {
        EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        write_default_settings(logs_.path());
        set_shutdown_event(shutdown_.get());
        factory_.emplace();
        EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ILogService, &service_), S_OK);
        EXPECT_EQ(service_.As(&control_), S_OK);
    }
    ~servicetest() override
    {
        control_.Reset();
        service_.Reset();
        factory_.reset();
        set_shutdown_event(nullptr);
        ::CoUninitialize();
    }

    ComPtr<ILogSource> source(DWORD id, const wchar_t* name)
    {
        ComPtr<ILogSource> source;
        EXPECT_EQ(service_->CreateSource(id, name, test_version, IID_ILogSource, &source), S_OK);
        return source;
    }
    ComPtr<ILogMessage> message(ILogSource* source, DWORD level)
    {
        ComPtr<ILogMessage> message;
        EXPECT_EQ(source->CreateMessage(level, IID_ILogMessage, &message), S_OK);
        return message;
    }
    // Commits one ERROR message holding text.
    void log(ILogSource* source, const wchar_t* text) { EXPECT_EQ(message(source, 2)->AddWString(text), S_OK); }

    // The file of source id 7's source of that name.
    std::wstring file_of(const wchar_t* name) const { return logs_.path() + L"\\CA7\\" + name + L"-1.2.3.4.TXT"; }

    // Waits until the writer has handled everything posted so far, without closing other
    // files: a new source's file (under logs, else the test's directory) is closed after its
    // record once the source is released.
    bool wait_for_queue(const std::wstring& logs = {})
    {
        const std::wstring name = L"queue" + std::to_wstring(++queued_);
        log(source(0xFFFFFFF0, name.c_str()).Get(), L"last");
        const std::wstring file = (logs.empty() ? logs_.path() : logs) + L"\\CA4294967280\\" + name + L"-1.2.3.4.TXT";
        return wait_until([&] { return file_exists(file) && !is_open(file); });
    }

    scratchregistry registry_;
    tempdirectory logs_;
    uniquehandle shutdown_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::optional<logfactory> factory_;
    ComPtr<ILogService> service_;
    ComPtr<ILogControl> control_;
    unsigned queued_ = 0;
};

} // namespace kvt::test
