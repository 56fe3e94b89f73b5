#pragma once
// What the COM object tests share: the multithreaded apartment, default settings in a
// scratch registry pointing at a fresh log directory, a test shutdown event, and a class
// factory with the service it holds. Tests reach the objects only through interfaces.

#include "com/logfactory.h"
#include "com/server_lock.h"
#include "support/scratch_registry.h"
#include "support/temp_directory.h"
#include "support/wait_for_writer.h"
#include "win/unique_resource.h"
#include "writer/sourcekey.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <optional>
#include <string>

namespace kvt::test {

using Microsoft::WRL::ComPtr;

// Every source of these tests has this version.
inline constexpr DWORD test_version[4] = {1, 2, 3, 4};

struct multithreaded_apartment {
    multithreaded_apartment() { EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    ~multithreaded_apartment() { ::CoUninitialize(); }
};

// COM's server lock count, read without letting it reach zero through the product code.
inline ULONG server_lock_count()
{
    const ULONG raised = ::CoAddRefServerProcess();
    ::CoReleaseServerProcess();
    return raised - 1;
}

inline bool is_set(HANDLE event) { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// True while some handle (the writer's) keeps the file open.
inline bool is_open(const std::wstring& path)
{
    const unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// Polls the condition for up to five seconds.
template <class Condition>
bool wait_until(Condition condition)
{
    for (int i = 0; i < 100; ++i, ::Sleep(50))
        if (condition())
            return true;
    return false;
}

// Waits until the writer has closed the file after opening it. The writer creates a file
// when it first opens it, so a file that exists and is not open has been closed.
inline bool wait_until_closed(const std::wstring& path)
{
    return wait_until([&] { return file_exists(path) && !is_open(path); });
}

// A log line's text behind its six header fields.
inline std::wstring message_text(const std::wstring& line)
{
    std::size_t start = 0;
    for (int bar = 0; bar < 6; ++bar)
        start = line.find(L'|', start) + 1;
    return line.substr(start);
}

class service_test : public ::testing::Test {
protected:
    service_test()
    {
        write_default_settings(logs_.path());
        set_shutdown_event(shutdown_.get());
        factory_.emplace();
        EXPECT_EQ(factory_->CreateInstance(nullptr, IID_ILogService, &service_), S_OK);
        EXPECT_EQ(service_.As(&control_), S_OK);
    }

    ~service_test() override
    {
        control_.Reset();
        service_.Reset();
        factory_.reset();
        set_shutdown_event(nullptr);
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

    std::wstring file_of(DWORD id, const std::wstring& name) const
    {
        return logs_.path() + L"\\" + source_id_text(id) + L"\\" + name + L"-1.2.3.4.TXT";
    }

    void wait_for_writer() { test::wait_for_writer(control_.Get()); }

    // Waits until the writer has handled everything posted so far, without closing other
    // files: a new source's file closes only after all of that.
    bool wait_for_queue()
    {
        const std::wstring sentinel = L"sentinel" + std::to_wstring(++sentinels_);
        log(source(sentinel_id, sentinel.c_str()).Get(), L"last");
        return wait_until_closed(file_of(sentinel_id, sentinel));
    }

    multithreaded_apartment apartment_;
    scratch_registry registry_;
    temp_directory logs_;
    unique_handle shutdown_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::optional<logfactory> factory_;
    ComPtr<ILogService> service_;
    ComPtr<ILogControl> control_;

private:
    static constexpr DWORD sentinel_id = 0xFFFFFFF0;
    int sentinels_ = 0;
};

} // namespace kvt::test
